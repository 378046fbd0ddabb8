// nxsim: a stand-in for the installation service NXSvc, for the demo and the
// end-to-end tests only. Like the service it loads nxsvc.dll at run time,
// lets pkg_find rebuild the device package list, installs the listed
// packages in list order by running their scripts, publishes the package
// under way and its progress in the registry, records each result and
// starts the console. Its file name has nine characters so that the
// library's log lands beside it.
//
// usage: nxsim [/nofind] [/noinst] [/nostart] [/wait]
//   /nofind   install the list as it is (the console saved it); no pkg_find
//   /noinst   only pkg_find
//   /nostart  do not start nxwin.exe afterwards
//   /wait     wait until the console started at the end has ended
// Exit code: 0 done, 100 nxsvc.dll not loaded, 101 an export is missing.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "creg.h"
#include "log.h"
#include "service_contract.h"
#include "strutil.h"

typedef int(__cdecl* pkg_find_fn)(void);
typedef int(__cdecl* get_file_fn)(char*, char*);

static FILE* mlog;

// What the stand-in writes beside the contract's values: the script's own
// exit code (or the system error that kept it from running), so that a
// failure, which carries no "code", still tells why.
#define SIM_RES_EXIT "exit"
// A script that runs past "tmax" is ended; its result is this error.
enum { SIM_DEFAULT_TMAX = 600 };

struct Package {
    std::string comp, name, vers, path;
};

// Reads one line of any length; false at end of file.
static bool read_line(FILE* f, std::string* line)
{
    line->clear();
    char buf[NX_PATH];
    bool any = false;
    while (fgets(buf, sizeof buf, f)) {
        any = true;
        size_t n = strlen(buf);
        if (n && buf[n - 1] == '\n') {
            buf[n - 1] = 0;
            line->append(buf);
            return true;
        }
        line->append(buf);
    }
    return any;
}

// The device package list in section order. A section counts when it has
// all four keys; a value of 260 characters or more would not fit the
// service's buffers and drops its section.
static std::vector<Package> read_list(const char* path)
{
    std::vector<Package> list;
    FILE* f = fopen(path, "r");
    if (!f) {
        log_line(mlog, "Could not open %s!\n", path);
        return list;
    }
    Package cur;
    bool open = false, bad = false;
    auto commit = [&]() {
        if (open && !bad && !cur.comp.empty() && !cur.name.empty() && !cur.vers.empty() && !cur.path.empty())
            list.push_back(cur);
        else if (open && bad)
            log_line(mlog, "ReadList (%s) skipped: value too long\n", cur.name.substr(0, 64).c_str());
        cur = Package();
        open = bad = false;
    };
    std::string line;
    while (read_line(f, &line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            commit();
            open = true;
            continue;
        }
        static const char* const keys[4] = {"comp=", "name=", "vers=", "path="};
        std::string* fields[4] = {&cur.comp, &cur.name, &cur.vers, &cur.path};
        for (int k = 0; k < 4; k++) {
            if (line.compare(0, 5, keys[k]) != 0) continue;
            *fields[k] = line.substr(5);
            if (fields[k]->size() >= NX_PATH) bad = true;
        }
    }
    commit();
    fclose(f);
    log_line(mlog, "ReadList (%s) OK ...\n", path);
    return list;
}

static void delete_value(const char* key, const char* name)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
    RegDeleteValueA(h, name);
    RegCloseKey(h);
}

static void publish_info(CReg& reg, const char* text) { reg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO, text); }

// Runs "cmd /c <script>" in the script's folder, publishing the elapsed time
// once a second; ends the script (with everything it started) after tmax
// seconds. Returns true when the script ran to its end, with its exit code.
static bool run_script(CReg& reg, const Package& p, int tmax, DWORD* exit_code)
{
    char cmdline[NX_PATH + 32];
    snprintf(cmdline, sizeof cmdline, "cmd.exe /c \"%s\"", p.path.c_str());
    char folder[NX_PATH];
    copy_str(folder, p.path.c_str());
    char* slash = strrchr(folder, '\\');
    if (slash) *slash = 0;
    DWORD attr = GetFileAttributesA(folder);
    bool have_folder = slash && attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, cmdline, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        have_folder ? folder : nullptr, &si, &pi)) {
        *exit_code = GetLastError();
        log_line(mlog, "CreateProcess (%s) failed: %lu\n", cmdline, *exit_code);
        return false;
    }
    // A job, so that a time-out ends what the script started as well.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    bool in_job = job && AssignProcessToJobObject(job, pi.hProcess);
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);

    bool done = false;
    char info[NX_PATH];
    for (int s = 0;; s++) {
        fmt_str(info, "installing ... %d s", s);
        publish_info(reg, info);
        if (WaitForSingleObject(pi.hProcess, 1000) == WAIT_OBJECT_0) {
            done = true;
            break;
        }
        if (s + 1 >= tmax) break;
    }
    if (done) {
        GetExitCodeProcess(pi.hProcess, exit_code);
    } else {
        *exit_code = ERROR_TIMEOUT;
        log_line(mlog, "Install (%s) failed: time-out after %d s\n", p.path.c_str(), tmax);
        if (in_job)
            TerminateJobObject(job, ERROR_TIMEOUT);
        else
            TerminateProcess(pi.hProcess, ERROR_TIMEOUT);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    if (job) CloseHandle(job);
    return done;
}

// Installs one package unless the same version is recorded as installed.
// Returns 1 when the script ran and succeeded, 0 when it was skipped, -1
// when it failed.
static int install(CReg& reg, const Package& p, int tmax)
{
    char key[NX_PATH];
    if (fmt_str(key, SVC_RESULT_KEY, NX_KEY_PKGS, p.comp.c_str(), p.name.c_str())) {
        log_line(mlog, "Install (%s %s) failed: key too long\n", p.comp.c_str(), p.name.c_str());
        return -1;
    }
    const char* done_vers = reg.ReadStr(SVC_ROOT, key, SVC_RES_VERS);
    if (done_vers && p.vers == done_vers && svc_code_installed(reg.ReadNum(SVC_ROOT, key, SVC_RES_CODE))) {
        log_line(mlog, "Install (%s) OK: installed already\n", p.path.c_str());
        return 0;
    }

    // The package under way, as the console's status monitor reads it.
    reg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_COMP, p.comp.c_str());
    reg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_NAME, p.name.c_str());
    reg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_VERS, p.vers.c_str());
    log_line(mlog, "Install (%s) GO ...\n", p.path.c_str());

    DWORD code = 0;
    bool ran = run_script(reg, p, tmax, &code);
    bool ok = ran && svc_code_installed((int)code);

    // The result. A failed installation carries no "code", which the console
    // shows as "failed to install"; the script's exit code is kept aside.
    reg.WriteStr(SVC_ROOT, key, SVC_RES_VERS, p.vers.c_str());
    reg.WriteNum(SVC_ROOT, key, SIM_RES_EXIT, (int)code);
    if (ok)
        reg.WriteNum(SVC_ROOT, key, SVC_RES_CODE, (int)code);
    else
        delete_value(key, SVC_RES_CODE);
    reg.WriteStr(SVC_ROOT, key, SVC_RES_TIME, time_stamp());
    if (ok)
        log_line(mlog, "Install (%s) OK: %lu\n", p.path.c_str(), code);
    else
        log_line(mlog, "Install (%s) failed: %lu\n", p.path.c_str(), code);
    printf("%s %s %s: %s (%lu)\n", p.comp.c_str(), p.name.c_str(), p.vers.c_str(), ok ? "installed" : "failed", code);
    fflush(stdout);
    return ok ? 1 : -1;
}

static bool has_arg(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; i++)
        if (_stricmp(argv[i], name) == 0) return true;
    return false;
}

int main(int argc, char** argv)
{
    bool find = !has_arg(argc, argv, "/nofind"), inst = !has_arg(argc, argv, "/noinst");
    bool start = !has_arg(argc, argv, "/nostart"), wait = has_arg(argc, argv, "/wait");

    char temp[NX_PATH], logpath[NX_PATH];
    DWORD n = GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    if (n > 0 && n < sizeof temp && !fmt_str(logpath, "%s\\nxsim.log", temp)) mlog = fopen(logpath, "w");
    log_line(mlog, "nxsim () RUN ...\n");

    // Loaded at run time from the program's folder, as the service does.
    HMODULE lib = LoadLibraryA("nxsvc.dll");
    if (!lib) {
        log_line(mlog, "LoadLibrary (nxsvc.dll) failed: %lu\n", GetLastError());
        fprintf(stderr, "nxsim: nxsvc.dll not loaded (%lu)\n", GetLastError());
        return 100;
    }
    pkg_find_fn pkg_find = (pkg_find_fn)GetProcAddress(lib, "pkg_find");
    get_file_fn get_file = (get_file_fn)GetProcAddress(lib, "get_file");
    if (!pkg_find || !get_file) {
        log_line(mlog, "GetProcAddress (pkg_find, get_file) failed: %lu\n", GetLastError());
        fprintf(stderr, "nxsim: nxsvc.dll lacks pkg_find or get_file\n");
        FreeLibrary(lib);
        return 101;
    }

    if (find) {
        int r = pkg_find();
        log_line(mlog, "pkg_find () = %d\n", r);
        printf("pkg_find () = %d\n", r);
    }

    int installed = 0, failed = 0;
    if (inst) {
        CReg reg;
        // The settings that concern a single run: the script time limit.
        // The others are shown for reference; the stand-in does one task
        // ("stop", "tsvc"), shows no messages ("tmsg") and never restarts
        // the machine ("twrb").
        int num[5];
        static const char* const names[5] = {"stop", "tmax", "tmsg", "tsvc", "twrb"};
        for (int i = 0; i < 5; i++) num[i] = reg.ReadNum(SVC_ROOT, NX_KEY, names[i]);
        int tmax = num[1] > 0 ? num[1] : SIM_DEFAULT_TMAX;
        log_line(mlog, "Settings: stop %d, tmax %d s (used: %d s), tmsg %d s, tsvc %d s, twrb %d s\n", num[0], num[1],
                 tmax, num[2], num[3], num[4]);
        char list_path[NX_PATH] = {};
        char list_name[] = SVC_LIST_FILE;
        get_file(list_path, list_name);
        for (const Package& p : read_list(list_path)) {
            int r = install(reg, p, tmax);
            if (r > 0) installed++;
            if (r < 0) failed++;
        }
        // Nothing is under way any more.
        delete_value(NX_KEY_PKGS, SVC_NOW_COMP);
        delete_value(NX_KEY_PKGS, SVC_NOW_NAME);
        delete_value(NX_KEY_PKGS, SVC_NOW_VERS);
        delete_value(NX_KEY_PKGS, SVC_NOW_INFO);
        printf("installed %d, failed %d\n", installed, failed);
    }
    FreeLibrary(lib);

    if (start) {
        char exe[NX_PATH], folder[NX_PATH] = "";
        DWORD len = GetModuleFileNameA(nullptr, folder, sizeof folder);
        char* slash = len < sizeof folder ? strrchr(folder, '\\') : nullptr;
        if (slash) {
            *slash = 0;
            fmt_str(exe, "%s\\nxwin.exe", folder);
            STARTUPINFOA si = {};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi = {};
            if (CreateProcessA(exe, nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) {
                log_line(mlog, "CreateProcess (%s) OK ...\n", exe);
                CloseHandle(pi.hThread);
                if (wait) WaitForSingleObject(pi.hProcess, INFINITE);
                CloseHandle(pi.hProcess);
            } else {
                log_line(mlog, "CreateProcess (%s) failed: %lu\n", exe, GetLastError());
            }
        }
    }
    log_line(mlog, "nxsim () END ...\n");
    if (mlog) fclose(mlog);
    return 0;
}
