// The installation service nxsvc.exe under Wine: one task in the foreground
// (/once) over packages on the network drive Y:, and the registered service
// started, stopped and stopping itself through the service control manager.
// Every script leaves a marker file when it runs.
#include "testutil.h"
#include "drive.h"
#include "policy_cases.h"
#include "service_sim.h"
#include "sharelayout.h"
#include "smbenv.h"
#include <wincrypt.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace {

const char* const kOld = "2020-01-01 00:00:00";

struct Pkg {
    const char* name;
    const char* path;  // null: Y:\pkg\T\<name>\1.0\Install.cmd
    const char* body;  // after the marker line; null: no script written
    const char* comp = "T";  // as the section names it
    const char* vers = "1.0";
    const char* listed = nullptr;  // the list's path text, when not path
};

class Service : public tu::ShareTest {
protected:
    void SetUp() override
    {
        tu::ShareTest::SetUp();
        if (HasFatalFailure()) return;
        bin = tu::exe_dir();
        tu::reg_set_str(NX_KEY, "uncp", "\\\\demo\\packages");
        tu::reg_set_str(NX_KEY, "ndrv", "Y:");
        log_at = tu::read_file(bin + "\\" SVC_LOG_FILE).size();
    }

    void TearDown() override
    {
        remove_service();
        // A console the service started.
        if (HWND w = nxd::console()) {
            nxd::post_command(w, CMD_EXIT);
            EXPECT_TRUE(nxd::wait_gone(15000));
        }
        for (auto& f : extra_files) {
            DeleteFileA(f.c_str());
            RemoveDirectoryA(f.substr(0, f.rfind('\\')).c_str());  // only when empty
        }
        tu::ShareTest::TearDown();
    }

    std::string svc_log() { return tu::read_file(bin + "\\" SVC_LOG_FILE).substr(log_at); }
    std::string marker(const char* name) { return dir + "\\" + name + ".ran"; }
    static std::string path_of(const Pkg& p)
    {
        return p.path ? p.path : std::string("Y:\\pkg\\T\\") + p.name + "\\1.0\\Install.cmd";
    }

    // Scripts where they can be written, and the list as the console saves
    // it, marked as not yet taken by the service.
    void put_list(const std::string& list, const std::vector<Pkg>& pkgs)
    {
        std::string text;
        for (const Pkg& p : pkgs) {
            std::string path = path_of(p);
            if (p.body && path.compare(0, 2, "\\\\") != 0) {
                std::string folder = path.substr(0, path.rfind('\\'));
                tu::make_dirs(folder);
                ASSERT_TRUE(tu::write_file(path, "@echo off\r\necho ran>\"" + marker(p.name) + "\"\r\n" + p.body + "\r\n"));
                ASSERT_TRUE(tu::write_file(folder + "\\beside.txt", "beside\r\n"));
                if (path[0] == 'C') extra_files.push_back(path);
            }
            text += std::string("[") + p.comp + " " + p.name + "]\r\ncomp=" + p.comp + "\r\nname=" + p.name +
                    "\r\npath=" + (p.listed ? p.listed : path) + "\r\nvers=" + p.vers + "\r\n\r\n";
        }
        ASSERT_TRUE(tu::write_file(list, text));
        tu::reg_set_str(NX_KEY_PKGS, SVC_LIST_SEEN, "0");
    }

    bool sc(const std::string& args) { return tu::run_program("sc " + args, 30000) == 0; }

    DWORD state()
    {
        SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE s = scm ? OpenServiceA(scm, SVC_NAME, SERVICE_QUERY_STATUS) : nullptr;
        SERVICE_STATUS st = {};
        DWORD r = s && QueryServiceStatus(s, &st) ? st.dwCurrentState : 0;
        if (s) CloseServiceHandle(s);
        if (scm) CloseServiceHandle(scm);
        return r;
    }

    void remove_service()
    {
        if (!state()) return;
        if (state() != SERVICE_STOPPED) sc(std::string("stop ") + SVC_NAME);
        tu::wait_until([&] { return state() == SERVICE_STOPPED; }, 15000);
        sc(std::string("delete ") + SVC_NAME);
    }

    std::string bin;
    size_t log_at = 0;
    std::vector<std::string> extra_files;
};

using tu::reg_number;
using tu::reg_text;

// One task over a saved list, none of it assigned: each package's result in
// the registry, its marker, and the log line that says why. The user
// chooses, the share decides: a path in the list never runs, a package
// that is not on the share as the list spells it changes no record, and a
// package chosen twelve times runs once.
TEST_F(Service, OnceInstallsTheSavedListByTheRules)
{
    tu::reg_set_dword(NX_KEY, "tmax", 6);
    std::string child = dir + "\\child.ran";  // no blanks: unquoted in the line below
    std::string outlives = "start \"\" /b cmd /c \"ping -n 3 127.0.0.1 >nul & echo ran>" + child + "\"\r\nexit /b 0";
    // started outside the job on purpose: not waited for, not ended
    std::string leaves = "\"" + bin + "\\nx_breakaway.exe\" ping -n 60 127.0.0.1\r\nexit /b %errorlevel%";
    for (const char* done : {"Done", "Kept", "Old"}) svc_sim::record_install("T", done, "1.0", 0, kOld);
    svc_sim::record_install("P", "Mandatory", "1.0", 0, kOld);
    svc_sim::record_started("T", "Waits", "1.0");
    svc_sim::set_dword(svc_sim::result_key("T", "Waits"), SVC_RES_TRIES, 2);
    svc_sim::set_dword(svc_sim::result_key("T", "Waits"), SVC_RES_WAIT, 1);
    // A folder's short name is another spelling of it.
    tu::make_dirs("Y:\\pkg\\T\\Long Package Name\\1.0");
    char alias[MAX_PATH] = "";
    GetShortPathNameA("Y:\\pkg\\T\\Long Package Name", alias, sizeof alias);
    std::string short_name = strrchr(alias, '\\') ? strrchr(alias, '\\') + 1 : "LONGPA~1";
    ASSERT_TRUE(tu::write_file("Y:\\pkg\\T\\Long Package Name\\1.0\\Install.cmd", "exit /b 0\r\n"));
    const char* never = "-";
    struct Row {
        Pkg pkg;
        long long code, exit, tries;  // -1000: absent
        bool ran;
        const char* log;
    } rows[] = {
        {{"Ok", nullptr, "exit /b 0"}, 0, 0, -1000, true, "Install (Y:\\pkg\\T\\Ok\\1.0\\Install.cmd) OK ... code 0"},
        // by the share's UNC path, in its own folder
        {{"Beside", nullptr, "if not exist beside.txt exit /b 2"}, 0, 0, -1000, true,
         "Install (Y:\\pkg\\T\\Beside\\1.0\\Install.cmd) GO ... \\\\demo\\packages\\pkg\\T\\Beside\\1.0\\Install.cmd"},
        // returns at once; its child ends before the result is recorded
        {{"Outlives", nullptr, outlives.c_str()}, 0, 0, -1000, true,
         "Install (Y:\\pkg\\T\\Outlives\\1.0\\Install.cmd) OK ... code 0"},
        // returns 0 at once; its child runs past "tmax" and is ended there
        {{"Forever", nullptr, "start \"\" /b ping -n 60 127.0.0.1\r\nexit /b 0"}, 0, 0, -1000, true,
         "Script (\\\\demo\\packages\\pkg\\T\\Forever\\1.0\\Install.cmd) MSG ... ended 1 processes the script left running"},
        {{"Leaves", nullptr, leaves.c_str()}, 0, 0, -1000, true, "Install (Y:\\pkg\\T\\Leaves\\1.0\\Install.cmd) OK ... code 0, "},
        // what it writes, past the bound: the newest kept beside the log
        {{"Talks", nullptr, "set L=a line of a script that talks a lot, long lines so that four hundred of them pass the bound\r\n"
                            "set L=%L%%L%%L%%L%%L%%L%%L%%L%\r\nfor /l %%i in (1,1,400) do @echo line %%i of %L%\r\n"
                            "echo to stderr 1>&2\r\nexit /b 0"}, 0, 0, -1000, true, "script-T-Talks-1.0.log) OK ... "},
        // "!" would be expanded on the command line
        {{"Ba!ng", nullptr, "exit /b 0"}, -1000, -1000, -1000, false,
         "Install (Y:\\pkg\\T\\Ba!ng\\1.0\\Install.cmd) not assigned and T \\ Ba!ng 1.0 is no package folder: a character"},
        {{"Fails", nullptr, "exit /b 1"}, -1000, 1, 1, true, "Install (Y:\\pkg\\T\\Fails\\1.0\\Install.cmd) ended after "},
        {{"Reboot", nullptr, "exit /b 3010"}, 3010, 3010, -1000, true, "Install (Y:\\pkg\\T\\Reboot\\1.0\\Install.cmd) OK ... code 3010"},
        // past "tmax", with a child process of its own
        {{"Slow", nullptr, "ping -n 60 127.0.0.1 >nul"}, -1000, 1460, 1, true,
         "Install (Y:\\pkg\\T\\Slow\\1.0\\Install.cmd) time-out after 6 s, failed: 1460"},
        {{"Done", nullptr, "exit /b 0"}, 0, -1000, -1000, false, "Install (Y:\\pkg\\T\\Done\\1.0\\Install.cmd) SKIP ... installed already"},
        // failed twice before: waits one more task
        {{"Waits", nullptr, "exit /b 0"}, -1000, -1000, 2, false,
         "Install (Y:\\pkg\\T\\Waits\\1.0\\Install.cmd) WAIT ... failed 2 times, next try in 1 tasks"},
        // the list's path is never run: the share's script for that package is
        {{"Victim", nullptr, "exit /b 0", "T", "1.0", "Y:\\pkg\\T\\Victim\\1.0\\hostname.exe"}, 0, 0, -1000, true,
         "Install (Y:\\pkg\\T\\Victim\\1.0\\hostname.exe) not assigned; the list's path is not run, the share's is: "
         "\\\\demo\\packages\\pkg\\T\\Victim\\1.0\\Install.cmd"},
        // refused: nothing runs, nothing is recorded
        {{"Elsewhere", "C:\\elsewhere\\Install.cmd", "exit /b 0"}, -1000, -1000, -1000, false,
         "Install (C:\\elsewhere\\Install.cmd) \\\\demo\\packages\\pkg\\T\\Elsewhere not found: 2, refused: 161"},
        {{"Kept", "C:\\nothing.cmd", nullptr}, 0, -1000, -1000, false, "Install (C:\\nothing.cmd) SKIP ... installed already"},
        {{"Mandatory", "Y:\\pkg\\T\\Harmless\\1.0\\Install.cmd", "exit /b 0", "P", "2.0"}, 0, -1000, -1000, false,
         "Install (Y:\\pkg\\T\\Harmless\\1.0\\Install.cmd) \\\\demo\\packages\\pkg\\P not found: 2, refused: 161"},
        {{"Old", nullptr, nullptr, "T", "9.9"}, 0, -1000, -1000, false,
         "Install (Y:\\pkg\\T\\Old\\1.0\\Install.cmd) \\\\demo\\packages\\pkg\\T\\Old not found: 2, refused: 161"},
        {{"Dot", nullptr, "exit /b 0", "T", "1.0."}, -1000, -1000, -1000, false,
         "Install (Y:\\pkg\\T\\Dot\\1.0\\Install.cmd) not assigned and T \\ Dot 1.0. is no package folder: a trailing dot"},
        {{"Case", nullptr, "exit /b 0", "t"}, -1000, -1000, -1000, false, "the share spells \"t\" as \"T\", refused: 161"},
        {{short_name.c_str(), nullptr, nullptr}, -1000, -1000, -1000, false, "\" as \"Long Package Name\", refused: 161"},
        {{"Cr", "Y:\\pkg\\T\\Cr\r2020-01-01 00:00:00\tInstall (Y:\\pkg\\forged) OK ... code 0", nullptr}, -1000, -1000, -1000,
         false, "Install (Y:\\pkg\\T\\Cr<0D>2020-01-01 00:00:00<09>Install (Y:\\pkg\\forged) OK ... code 0) \\\\demo"},
        // started a restart itself: the next package waits
        {{"Restarts", nullptr, "exit /b 1641"}, 1641, 1641, -1000, true, "Restart () MSG ... started by a package"},
        {{"After", nullptr, "exit /b 0"}, -1000, -1000, -1000, false, never},
    };
    std::vector<Pkg> pkgs;
    for (auto& r : rows) pkgs.push_back(r.pkg);
    for (size_t i = 0; i < pkgs.size(); i++)
        if (strcmp(pkgs[i].name, "Fails") == 0) {
            Pkg fails = pkgs[i];
            pkgs.insert(pkgs.begin() + i, 11, fails);  // twelve times
            break;
        }
    put_list(pub + "\\" SVC_LIST_FILE, pkgs);
    ASSERT_FALSE(HasFatalFailure());

    ASSERT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 60000, bin.c_str()), 0);
    std::string log = svc_log();
    for (auto& r : rows) {
        SCOPED_TRACE(r.pkg.name);
        std::string key = svc_sim::result_key(r.pkg.comp, r.pkg.name);
        EXPECT_EQ(reg_number(key, SVC_RES_CODE), r.code);
        EXPECT_EQ(reg_number(key, SVC_RES_EXIT), r.exit);
        EXPECT_EQ(reg_number(key, SVC_RES_TRIES), r.tries);
        EXPECT_EQ(tu::file_exists(marker(r.pkg.name)), r.ran);
        if (r.log == never)
            EXPECT_EQ(reg_text(key, SVC_RES_VERS), "<none>");
        else
            EXPECT_NE(log.find(r.log), std::string::npos) << log;
    }
    for (const char* kept : {"Done", "Kept", "Old"}) EXPECT_EQ(reg_text(svc_sim::result_key("T", kept), SVC_RES_TIME), kOld);
    EXPECT_EQ(reg_text(svc_sim::result_key("P", "Mandatory"), SVC_RES_VERS), "1.0");
    EXPECT_EQ(reg_number(svc_sim::result_key("T", "Waits"), SVC_RES_WAIT), 0);
    EXPECT_EQ(log.find("\tInstall (Y:\\pkg\\forged)"), std::string::npos);
    EXPECT_TRUE(tu::file_exists(child)) << "the result was recorded before the script's child ended";
    // Only the process that left the job on purpose is still there.
    std::vector<DWORD> pings = tu::find_processes("ping.exe");
    EXPECT_EQ(pings.size(), 1u) << "the slow script's child outlived it, or the one started outside its job did not";
    for (DWORD pid : pings) TerminateProcess(OpenProcess(PROCESS_TERMINATE, FALSE, pid), 0);
    std::string said = tu::read_file(bin + "\\script-T-Talks-1.0.log");
    EXPECT_EQ(said.rfind("[cut: the script wrote ", 0), 0u) << said.substr(0, 200);
    EXPECT_LE(said.size(), 262144u + 100);
    EXPECT_NE(said.find("line 400 of"), std::string::npos);
    EXPECT_NE(said.find("to stderr"), std::string::npos);
    EXPECT_EQ(said.find("line 1 of"), std::string::npos);
    // As saved, without pkg_find; nothing under way any more; no console
    // after a package restarts the machine.
    EXPECT_NE(log.find("ReadList (" + pub + "\\" SVC_LIST_FILE ") OK ... 34 packages, saved by the console"),
              std::string::npos);
    EXPECT_NE(log.find("Task (1) 11 repeated packages, each runs once"), std::string::npos);
    EXPECT_EQ(log.find("pkg_find ()"), std::string::npos);
    EXPECT_EQ(log.find("Console ("), std::string::npos);
    EXPECT_NE(log.find("Check () OK ... 6 exit codes in "), std::string::npos);
    for (const char* v : {SVC_NOW_COMP, SVC_NOW_NAME, SVC_NOW_VERS, SVC_NOW_INFO}) EXPECT_EQ(reg_text(NX_KEY_PKGS, v), "<none>");
}

// Lists and drives a user can set up against the service: each task runs
// nothing of them, records nothing, ends (the service goes on), and the log
// says why. A run killed earlier left its published package behind, and a
// link planted where pkg_find writes is not written through.
TEST_F(Service, RunsNothingAUserSetsUp)
{
    std::string section = "[T Big]\r\ncomp=T\r\nname=Big\r\npath=Y:\\pkg\\T\\Big\\1.0\\Install.cmd\r\nvers=1.0\r\n\r\n";
    std::string many;
    for (int i = 0; i <= SVC_LIST_SECTIONS; i++) many += section;
    tu::make_dirs("Y:\\pkg");  // the share's package folder is there
    struct Row { const char* what; std::string list; const char *ndrv, *log; bool pkg_find = false; int self = 1;
                 const char* user = ""; } rows[] = {
        {"larger than the bound", std::string(SVC_LIST_BYTES, '\n') + section, "Y:", "more than 1048576 bytes, refused"},
        {"more sections than the bound", many, "Y:", "more than 1000 packages, refused"},
        {"ndrv a local disk", "", "X:", "X: is not a network drive"},
        // kept read-only, so pkg_find cannot replace it: never read back
        {"a list pkg_find cannot replace", section, "Y:", "pkg_find () failed: 3", true},
        {"self-service off", section, "Y:", "not assigned, and self-service is off (self 0), refused: 161", false, 0},
        // not the computer's account instead (Wine refuses any account: 1222)
        {"the share refuses the configured account", "", "X:", "the share refused the configured account (", false, 1,
         "someone"},
    };
    std::string victim = dir + "\\victim.txt", planted = pub + "\\" SVC_REPORT_FILE;
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        log_at = tu::read_file(bin + "\\" SVC_LOG_FILE).size();
        tu::reg_set_str(NX_KEY, "ndrv", r.ndrv);
        tu::reg_set_dword(NX_KEY, "self", r.self);
        tu::reg_set_str(NX_KEY, "user", r.user);
        svc_sim::publish_progress("T", "Killed", "1.0", "installing ... 5 s");
        // The script where ndrv points, so only the drive's check keeps it from running.
        put_list(pub + "\\" SVC_LIST_FILE, {{"Big", r.list.empty() ? "X:\\pkg\\T\\Big\\1.0\\Install.cmd" : nullptr, "exit /b 0"}});
        ASSERT_TRUE(r.list.empty() || tu::write_file(pub + "\\" SVC_LIST_FILE, r.list));
        if (r.pkg_find) {
            tu::make_dirs("Y:\\cfg");
            ASSERT_TRUE(tu::write_file("Y:\\cfg\\Assignment.ini", tu::get_env("Computername") + "=Base\r\n"));
            ASSERT_TRUE(tu::write_file("Y:\\cfg\\Base.ini", "[T Other]\r\ncomp=T\r\nname=Other\r\npath=Y:\\pkg\\T\\Other\\"
                                                             "1.0\\Install.cmd\r\nvers=1.0\r\n"));
            tu::reg_set_str(NX_KEY_PKGS, SVC_LIST_SEEN, "");
            SetFileAttributesA((pub + "\\" SVC_LIST_FILE).c_str(), FILE_ATTRIBUTE_READONLY);
        }
        ASSERT_TRUE(tu::write_file(victim, "victim"));
        DeleteFileA(planted.c_str());
        ASSERT_TRUE(CreateHardLinkA(planted.c_str(), victim.c_str(), nullptr));

        EXPECT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 60000, bin.c_str()), 0);
        SetFileAttributesA((pub + "\\" SVC_LIST_FILE).c_str(), FILE_ATTRIBUTE_NORMAL);
        std::string log = svc_log();
        EXPECT_NE(log.find(r.log), std::string::npos) << log;
        EXPECT_NE(log.find("Task (1) OK ... 0 installed, 0 failed"), std::string::npos) << log;
        EXPECT_FALSE(tu::file_exists(marker("Big")));
        EXPECT_EQ(reg_text(svc_sim::result_key("T", "Big"), SVC_RES_VERS), "<none>");
        EXPECT_NE(reg_text(NX_KEY_PKGS, SVC_LIST_SEEN), "0");  // not taken again
        for (const char* v : {SVC_NOW_COMP, SVC_NOW_NAME, SVC_NOW_VERS, SVC_NOW_INFO})
            EXPECT_EQ(reg_text(NX_KEY_PKGS, v), "<none>");
        EXPECT_EQ(tu::read_file(victim), "victim");
    }
}

// What keeps packages waiting for a later task instead of failing: a
// restart still pending, and the Windows Installer busy with another
// install, whether seen before the script or in its result (1618).
TEST_F(Service, PackagesWaitForARestartAndABusyInstaller)
{
    // pending: the restart value before the task, "now" accepted 5 s ago,
    // "0" not accepted, "1" requested before the system started; installer:
    // its mutex owned (1) or only held open (2) by this process during the
    // task; ran, waiting: package names or null.
    struct Row {
        const char *what, *pending;
        int installer;
        std::vector<Pkg> pkgs;
        const char *ran, *waiting, *log;
    } rows[] = {
        {"restart accepted, within its grace", "now", 0, {{"A", nullptr, "exit /b 0"}}, nullptr, nullptr,
         "Restart () MSG ... pending since"},
        {"restart not accepted yet: asked again", "0", 0, {{"A", nullptr, "exit /b 0"}}, nullptr, nullptr,
         "packages wait, asked again"},
        {"restart happened since", "1", 0, {{"A", nullptr, "exit /b 0"}}, "A", nullptr,
         "Restart () OK ... the system has started since"},
        {"installer busy before the script", nullptr, 1, {{"A", nullptr, "exit /b 0"}, {"B", nullptr, "exit /b 0"}},
         nullptr, "A", "Install (Y:\\pkg\\T\\A\\1.0\\Install.cmd) WAIT ... the Windows Installer is busy (1618)"},
        {"installer mutex open elsewhere, owned by nobody", nullptr, 2, {{"A", nullptr, "exit /b 0"}}, "A", nullptr,
         "Install (Y:\\pkg\\T\\A\\1.0\\Install.cmd) OK ... code 0"},
        {"installer busy in the script's result", nullptr, 0,
         {{"A", nullptr, "exit /b 1618"}, {"B", nullptr, "exit /b 0"}}, "A", "A",
         "Install (Y:\\pkg\\T\\A\\1.0\\Install.cmd) WAIT ... the Windows Installer is busy (1618)"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        tu::reg_delete_tree(HKEY_LOCAL_MACHINE, NX_KEY_PKGS);
        for (const char* n : {"A", "B"}) DeleteFileA(marker(n).c_str());
        if (r.pending) {  // seconds since 1601
            FILETIME ft;
            GetSystemTimeAsFileTime(&ft);
            long long now = (long long)((((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime) / 10000000) - 5;
            tu::reg_set_str(NX_KEY_PKGS, SVC_RESTART_PENDING, std::to_string(strcmp(r.pending, "1") == 0 ? 1 : now) + " " +
                                                                  std::to_string(strcmp(r.pending, "now") == 0 ? now : 0));
        }
        put_list(pub + "\\" SVC_LIST_FILE, r.pkgs);
        ASSERT_FALSE(HasFatalFailure());
        log_at = tu::read_file(bin + "\\" SVC_LOG_FILE).size();
        HANDLE busy = r.installer ? CreateMutexA(nullptr, r.installer == 1, "Global\\_MSIExecute") : nullptr;
        EXPECT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 60000, bin.c_str()), 0);
        if (busy) CloseHandle(busy);
        std::string log = svc_log();
        EXPECT_NE(log.find(r.log), std::string::npos) << log;
        for (const char* n : {"A", "B"}) {
            bool ran = r.ran && strcmp(r.ran, n) == 0;
            EXPECT_EQ(tu::file_exists(marker(n)), ran) << n;
            if (!ran || r.waiting) {
                EXPECT_EQ(reg_text(svc_sim::result_key("T", n), SVC_RES_VERS), "<none>") << n;
            }
        }
        EXPECT_EQ(reg_text(NX_KEY_PKGS, SVC_WAITING), r.waiting ? std::string("Y:\\pkg\\T\\") + r.waiting + "\\1.0\\Install.cmd" : "<none>");
        // Kept while it has not happened, gone once it has.
        EXPECT_EQ(reg_text(NX_KEY_PKGS, SVC_RESTART_PENDING) != "<none>", r.pending && strcmp(r.pending, "1") != 0);
    }
}

// A window excluding now runs nothing and the status says until when; one
// including now runs. "tdef" and a 3010: the deadline in the registry and the
// status file (under Wine the one desktop is the user, whose failed
// WTSSendMessage question counts as "later").
TEST_F(Service, MaintenanceWindowAndRestartDeadline)
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    auto at = [&](int hours) {
        char hm[8];
        snprintf(hm, sizeof hm, "%02d:%02d", (t.wHour + hours + 24) % 24, t.wMinute);
        return std::string(hm);
    };
    char device[64] = "";
    GetEnvironmentVariableA("Computername", device, sizeof device);
    std::string status_path = std::string("Y:\\" SHARE_STATUS "\\") + device + ".ini";
    tu::make_dirs("Y:\\" SHARE_STATUS);
    struct Row { std::string mwin; const char* body; int tdef; bool ran; std::string log, status; } rows[] = {
        {at(1) + "-" + at(2), "exit /b 0", 0, false, "outside the maintenance window " + at(1) + "-" + at(2),
         "mwin=" + at(1)},
        {at(-1) + "-" + at(1), "exit /b 0", 0, true, "Install (Y:\\pkg\\T\\A\\1.0\\Install.cmd) OK ... code 0", "stat=installed"},
        {"25:00-02:00", "exit /b 0", 0, true, "Settings (mwin 25:00-02:00) not HH:MM-HH:MM, ignored: any time",
         "stat=installed"},
        {"", "exit /b 3010", 8, true, "MSG ... the users may put it off until then (tdef 8 h)", "boot=1"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.mwin);
        tu::reg_delete_tree(HKEY_LOCAL_MACHINE, NX_KEY_PKGS);
        DeleteFileA(marker("A").c_str());
        DeleteFileA(status_path.c_str());
        tu::reg_set_str(NX_KEY, "mwin", r.mwin);
        tu::reg_set_dword(NX_KEY, "tdef", r.tdef);
        put_list(pub + "\\" SVC_LIST_FILE, {{"A", nullptr, r.body}});
        ASSERT_FALSE(HasFatalFailure());
        log_at = tu::read_file(bin + "\\" SVC_LOG_FILE).size();
        EXPECT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 120000, bin.c_str()), 0);
        std::string log = svc_log(), status = tu::read_file(status_path);
        EXPECT_NE(log.find(r.log), std::string::npos) << log;
        EXPECT_EQ(tu::file_exists(marker("A")), r.ran);
        EXPECT_NE(status.find(r.status), std::string::npos) << status;
        // The deadline as the console shows it, kept while the restart is pending.
        std::string by = reg_text(NX_KEY_PKGS, SVC_RESTART_BY);
        EXPECT_EQ(by.size(), r.tdef ? 19u : 6u) << by;
        EXPECT_EQ(status.find("rdue=" + by) != std::string::npos, r.tdef != 0) << status;
        EXPECT_EQ(reg_text(NX_KEY_PKGS, SVC_RESTART_DEFER) != "<none>", r.tdef != 0);
        EXPECT_EQ(reg_text(NX_KEY_PKGS, SVC_RESTART_PENDING) != "<none>", r.tdef != 0);
    }
}

// nxsvc.exe /check here: each row through the service's own launch path,
// the share's rows by the configured share's UNC path.
TEST_F(Service, PlatformCheckPassesHere)
{
    tu::make_dirs("Y:\\" SHARE_STATUS);
    EXPECT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /check", 60000, bin.c_str()), 0);
    std::string log = svc_log();
    for (const char* row : {"Check (exit code 0) OK ... 0", "Check (exit code 1) OK ... 1", "Check (exit code 1603) OK ... 1603",
                            "Check (exit code 3010) OK ... 3010", "Check (exit code 1641) OK ... 1641",
                            "Check (exit code 1618) OK ... 1618", "Check (cmd of the system's bitness) OK ... ",
                            "Check (a process left running) OK ... 0, ended 1 at tmax",
                            "Check (by UNC path: runs in its own folder) OK ... 0",
                            "Check (by UNC path: no drive letter left) OK ... none", "Check (/check) END ... passed"})
        EXPECT_NE(log.find(row), std::string::npos) << row << "\n" << log;
    EXPECT_TRUE(tu::find_processes("ping.exe").empty());
}

// Group Policy over the product's key (tests/policy_cases.h): one task
// uses each policy value the rule takes, and logs each one it ignores.
TEST_F(Service, OnceUsesThePolicyValues)
{
    policy_set_all();
    ASSERT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 60000, bin.c_str()), 0);
    std::string log = svc_log(), fixed;
    const PolicyCase* c = policy_cases;
    std::string settings = std::string("Settings (uncp ") + c[0].used + ", ndrv " + c[1].used + ", user " + c[2].used +
                           ", stop " + c[4].used + ", tmax " + c[5].used + ", tmsg " + c[6].used + ", tsvc " +
                           c[7].used + ", twrb " + c[8].used + ") OK ...";
    EXPECT_NE(log.find(settings), std::string::npos) << settings << "\n" << log;
    for (int i = 0; i < SVC_SETTINGS; i++) {
        if (policy_fixed(i)) fixed += std::string(fixed.empty() ? "" : " ") + svc_settings[i].value;
        if (!c[i].odd) continue;
        std::string odd = std::string("Policy (") + svc_settings[i].value + ") " + c[i].odd + ", ignored ...";
        EXPECT_NE(log.find(odd), std::string::npos) << odd << "\n" << log;
    }
    EXPECT_NE(log.find("Policy (" + fixed + ") OK ..."), std::string::npos) << fixed << "\n" << log;
}

// A platform check that fails at the start (here its probe folder cannot
// be made): nothing is installed, and the device's status file says why.
TEST_F(Service, NothingRunsWhenThePlatformCheckFails)
{
    std::string blocker = bin + "\\check";
    ASSERT_TRUE(tu::write_file(blocker, "not a folder"));
    tu::make_dirs("Y:\\" SHARE_STATUS);
    put_list(pub + "\\" SVC_LIST_FILE, {{"Ok", nullptr, "exit /b 0"}});
    int r = tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 60000, bin.c_str());
    DeleteFileA(blocker.c_str());
    EXPECT_EQ(r, 1);
    // A fault that stays fails the second run as well.
    std::string log = svc_log();
    size_t once = log.find("Check () MSG ... failed once: probe folder: expected writable");
    EXPECT_NE(once, std::string::npos) << log;
    EXPECT_NE(log.find("Check () platform check failed: probe folder: expected writable", once), std::string::npos)
        << log;
    EXPECT_FALSE(tu::file_exists(marker("Ok")));
    char device[64] = "";
    GetEnvironmentVariableA("Computername", device, sizeof device);
    std::string status = tu::read_file(std::string("Y:\\" SHARE_STATUS "\\") + device + ".ini");
    EXPECT_NE(status.find("chck=platform check failed: probe folder"), std::string::npos) << status;
}

// The registered service: started, running, stopped within 10 s while a
// script runs (the script ends, its package is recorded failed); then
// with "stop" 1 it runs one task and stops itself. /install registers it
// as an administrator expects.
TEST_F(Service, RunsStopsAndStopsItselfUnderTheServiceManager)
{
    // Started by hand, it asks for administrator rights rather than being
    // virtualised.
    HMODULE exe = LoadLibraryExA((bin + "\\nxsvc.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC res = exe ? FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;  // RT_MANIFEST
    ASSERT_NE(res, nullptr);
    std::string manifest((const char*)LockResource(LoadResource(exe, res)), SizeofResource(exe, res));
    FreeLibrary(exe);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos);
    ASSERT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /install", 30000), 0);
    {
        SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE s = OpenServiceA(scm, SVC_NAME, SERVICE_QUERY_CONFIG);
        ASSERT_NE(s, nullptr);
        char buf[4096];
        DWORD need = 0;
        QUERY_SERVICE_CONFIGA* qc = (QUERY_SERVICE_CONFIGA*)buf;
        ASSERT_TRUE(QueryServiceConfigA(s, qc, sizeof buf, &need));
        EXPECT_EQ(qc->dwServiceType, (DWORD)SERVICE_WIN32_OWN_PROCESS);
        EXPECT_EQ(qc->dwStartType, (DWORD)SERVICE_AUTO_START);
        EXPECT_STREQ(qc->lpDisplayName, SVC_DISPLAY_NAME);
        EXPECT_EQ(std::string(qc->lpBinaryPathName), "\"" + bin + "\\nxsvc.exe\"");
        EXPECT_TRUE(!qc->lpServiceStartName[0] || _stricmp(qc->lpServiceStartName, "LocalSystem") == 0)
            << qc->lpServiceStartName;
        // The share is reached through the Workstation service: as the
        // service manager keeps it (Wine's QueryServiceConfig returns the
        // list with an empty first entry).
        char deps[64] = {};
        DWORD size = sizeof deps - 2;
        EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\" SVC_NAME, "DependOnService",
                               RRF_RT_REG_MULTI_SZ, nullptr, deps, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::string(deps, size), std::string("LanmanWorkstation\0\0", 19));
        CloseServiceHandle(s);
        CloseServiceHandle(scm);
    }
    // Its events' source, with the message table in nxsvc.exe.
    const char* source = "System\\CurrentControlSet\\Services\\EventLog\\Application\\" SVC_NAME;
    char file[MAX_PATH] = "";
    DWORD fsize = sizeof file;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, source, "EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                           file, &fsize),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(file), bin + "\\nxsvc.exe");
    ASSERT_EQ(tu::run_program("\"" + bin + "\\nxsvc.exe\" /uninstall", 30000), 0);
    EXPECT_EQ(state(), 0u);
    EXPECT_NE(RegGetValueA(HKEY_LOCAL_MACHINE, source, "EventMessageFile", RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);

    // The service reads the list of the machine's Public folder.
    wchar_t* w = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Public, 0, nullptr, &w)));
    char folder[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, w, -1, folder, sizeof folder, nullptr, nullptr);
    CoTaskMemFree(w);
    std::string list = std::string(folder) + "\\" SVC_LIST_FILE;
    extra_files.push_back(list);
    tu::reg_set_dword(NX_KEY, "tmax", 120);
    put_list(list, {{"Quick", nullptr, "exit /b 3010"}, {"Slow", nullptr, "ping -n 60 127.0.0.1 >nul"}});
    ASSERT_FALSE(HasFatalFailure());

    ASSERT_TRUE(sc(std::string("create ") + SVC_NAME + " binPath= \"\\\"" + bin + "\\nxsvc.exe\\\" /norestart\""));
    ASSERT_TRUE(sc(std::string("start ") + SVC_NAME));
    EXPECT_TRUE(tu::wait_until([&] { return state() == SERVICE_RUNNING; }, 10000)) << state();
    ASSERT_TRUE(tu::wait_until([&] { return reg_text(NX_KEY_PKGS, SVC_NOW_NAME) == "Slow"; }, 30000)) << svc_log();
    ASSERT_TRUE(sc(std::string("stop ") + SVC_NAME));
    EXPECT_TRUE(tu::wait_until([&] { return state() == SERVICE_STOPPED; }, 10000)) << state();
    std::string slow = svc_sim::result_key("T", "Slow");
    EXPECT_EQ(reg_number(svc_sim::result_key("T", "Quick"), SVC_RES_CODE), 3010);
    // The restart Quick needs is not asked for after the stop, and stays
    // pending for the next start; nothing is said to users.
    std::string stopped = svc_log();
    stopped = stopped.substr(stopped.find("Stop (1) GO ..."));
    EXPECT_NE(stopped.find("Restart () MSG ... not asked: the service stops; kept for its next start"), std::string::npos)
        << stopped;
    std::string pending = reg_text(NX_KEY_PKGS, SVC_RESTART_PENDING);
    EXPECT_EQ(pending.substr(pending.find(' ')), " 0") << pending;
    EXPECT_EQ(stopped.find("Console ("), std::string::npos) << stopped;
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, NX_KEY_PKGS, SVC_RESTART_PENDING);
    EXPECT_EQ(reg_text(slow, SVC_RES_VERS), "1.0");
    EXPECT_EQ(reg_number(slow, SVC_RES_CODE), -1000);
    EXPECT_EQ(reg_number(slow, SVC_RES_EXIT), 1223);
    EXPECT_TRUE(tu::find_processes("ping.exe").empty());

    // "stop" 1: one task, then the service stops by itself; started while
    // an msi installs, that task waits until the installer is done.
    tu::reg_set_dword(NX_KEY, "stop", 1);
    put_list(list, {{"Next", nullptr, "exit /b 0"}});
    auto tasks = [&] {
        std::string l = svc_log();
        size_t n = 0;
        for (size_t at = 0; (at = l.find("Task (1) GO", at)) != std::string::npos; at++) n++;
        return n;
    };
    size_t before = tasks();
    HANDLE busy = CreateMutexA(nullptr, TRUE, "Global\\_MSIExecute");
    ASSERT_TRUE(sc(std::string("start ") + SVC_NAME));
    EXPECT_TRUE(tu::wait_until([&] { return svc_log().find("Task () WAIT ... the Windows Installer is busy") != std::string::npos; }, 30000));
    EXPECT_EQ(tasks(), before);
    CloseHandle(busy);
    EXPECT_TRUE(tu::wait_until([&] { return state() == SERVICE_STOPPED; }, 30000)) << svc_log();
    EXPECT_EQ(reg_number(svc_sim::result_key("T", "Next"), SVC_RES_CODE), 0);
    // The console in the user's session shows the list the service installed.
    HWND con = nxd::wait_console(30000);
    ASSERT_NE(con, nullptr);
    EXPECT_TRUE(tu::wait_until([&] { return nxd::find_row(con, 0, "Next") >= 0; }, 15000)) << nxd::list_rows(con);
    EXPECT_EQ(nxd::list_image(con, nxd::find_row(con, 0, "Next")), 8);  // installed
    std::string log = svc_log();
    for (const char* line : {"NXSvc (service) RUN ...", "Stop (1) GO ...", "ended by the stop after ",
                             "Task (1) OK ... 1 installed, 0 failed, 0 skipped", "NXSvc () END ..."})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// nxsvc /sign with a certificate of the user's store, made by openssl (its
// key moved to a container of its own, as Wine needs to sign SHA-256): the
// signature verifies with openssl, and a device pinned to it installs.
TEST_F(Service, SignWritesAManifestOpensslVerifies)
{
    std::string work = smb::unix_dir() + "/signtest", u = "'" + work + "'";
    ASSERT_TRUE(smb::sh("rm -rf " + u + " && mkdir -p " + u + " && cd " + u +
                        " && openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=nxsigntest -days 30 -keyout k.pem "
                        "-out c.pem && openssl pkcs12 -export -in c.pem -inkey k.pem -passout pass:pw -certpbe "
                        "PBE-SHA1-3DES -keypbe PBE-SHA1-3DES -macalg sha1 -out t.pfx"));
    std::string pfx = smb::read_all(smb::win_path(work + "/t.pfx"));
    CRYPT_DATA_BLOB blob = {(DWORD)pfx.size(), (BYTE*)&pfx[0]};
    HCERTSTORE imported = PFXImportCertStore(&blob, L"pw", CRYPT_USER_KEYSET | CRYPT_EXPORTABLE);
    PCCERT_CONTEXT cert = imported ? CertEnumCertificatesInStore(imported, nullptr) : nullptr;
    ASSERT_NE(cert, nullptr);
    HCRYPTPROV from = 0, to = 0;
    HCRYPTKEY key = 0, moved = 0;
    DWORD key_usage = 0, n = 0;
    BOOL free_from = FALSE;
    ASSERT_TRUE(CryptAcquireCertificatePrivateKey(cert, 0, nullptr, &from, &key_usage, &free_from));
    ASSERT_TRUE(CryptGetUserKey(from, AT_KEYEXCHANGE, &key));
    CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &n);
    std::string kb(n, '\0');
    ASSERT_TRUE(CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, (BYTE*)&kb[0], &n));
    CryptAcquireContextW(&to, L"nxsigntest", MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_DELETEKEYSET);
    ASSERT_TRUE(CryptAcquireContextW(&to, L"nxsigntest", MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_NEWKEYSET));
    ASSERT_TRUE(CryptImportKey(to, (BYTE*)&kb[0], n, 0, CRYPT_EXPORTABLE, &moved));
    CRYPT_KEY_PROV_INFO info = {(LPWSTR)L"nxsigntest", (LPWSTR)MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 0, 0, nullptr,
                                AT_KEYEXCHANGE};
    HCERTSTORE my = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "My");
    PCCERT_CONTEXT added = nullptr;
    ASSERT_TRUE(my && CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, &added));
    ASSERT_TRUE(CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
    CertControlStore(my, CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
    BYTE sha1[20];
    DWORD cb = sizeof sha1;
    ASSERT_TRUE(CertGetCertificateContextProperty(added, CERT_SHA1_HASH_PROP_ID, sha1, &cb));
    std::string thumb;
    for (BYTE b : sha1) thumb += "0123456789abcdef"[b >> 4], thumb += "0123456789abcdef"[b & 15];

    // 1641: installed, and no console is started that would outlive the test
    put_list(pub + "\\" SVC_LIST_FILE, {{"Signed", nullptr, "exit /b 1641"}});
    tu::make_dirs("Y:\\cfg");
    ASSERT_TRUE(tu::write_file("Y:\\cfg\\packages.sha256", "# sequence 6\n"));
    int signed_rc = tu::run_program("\"" + bin + "\\nxsvc.exe\" /sign \\\\demo\\packages " + thumb, 60000, bin.c_str());
    std::string y = "'" + tu::get_env("NX_SHARE_Y") + "'";
    bool verifies = smb::sh("cd " + y + " && openssl cms -verify -binary -inform DER -in cfg/packages.sha256.p7s "
                            "-content cfg/packages.sha256 -CAfile " + u + "/c.pem -purpose any -out /dev/null");
    tu::reg_set_str(NX_KEY, "sign", thumb);
    int once_rc = tu::run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 60000, bin.c_str());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, NX_KEY, "sign");
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, NX_KEY, SVC_SIGN_SEQUENCE);
    CertDeleteCertificateFromStore(added);
    CertCloseStore(my, 0);
    CryptDestroyKey(moved);
    CryptDestroyKey(key);
    CryptReleaseContext(to, 0);
    if (free_from) CryptReleaseContext(from, 0);
    CertFreeCertificateContext(cert);
    CertCloseStore(imported, 0);
    EXPECT_EQ(signed_rc, 0);
    EXPECT_TRUE(verifies);
    EXPECT_EQ(once_rc, 0);
    std::string log = svc_log();
    EXPECT_NE(log.find("Sign (\\\\demo\\packages) OK ... sequence 7, 2 files, signer " + thumb), std::string::npos) << log;
    EXPECT_NE(log.find("Sign (\\\\demo\\packages\\cfg\\packages.sha256) OK ... sequence 7"), std::string::npos) << log;
    EXPECT_TRUE(tu::file_exists(marker("Signed"))) << log;
}

}  // namespace
