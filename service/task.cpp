// The task the service repeats: settings, the device package list (from
// pkg_find, or as the console saved it), each package installed in list
// order, then the console and a restart when needed.
#include "svc.h"
#include "cnet.h"
#include "creg.h"
#include "listfile.h"
#include "log.h"
#include "rules.h"
#include "service_contract.h"
#include <stdio.h>

typedef int(__cdecl* pkg_find_fn)(void);
typedef int(__cdecl* get_file_fn)(char*, char*);
typedef int(__cdecl* set_ncfg_fn)(NCFG*);

namespace {

// The library's exports; only the worker thread calls them, one at a time.
struct Library {
    HMODULE module = nullptr;
    pkg_find_fn pkg_find = nullptr;
    get_file_fn get_file = nullptr;
    set_ncfg_fn set_ncfg = nullptr;
};

struct Settings {
    NCFG ncfg;
    int stop, tmax, tmsg, tsvc, twrb;
};

struct Package {
    char comp[NX_PATH], name[NX_PATH], vers[NX_PATH], path[NX_PATH];
};

struct Tally {
    int installed = 0, failed = 0, skipped = 0;
    bool restart_needed = false, restart_started = false;
};

CReg mreg;

// By full path from the program's own folder, never through the search path.
DWORD load_library(Library* lib)
{
    char path[NX_PATH];
    if (fmt_str(path, "%s\\%s", mfolder, SVC_LIB_FILE)) return ERROR_FILENAME_EXCED_RANGE;
    lib->module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!lib->module) {
        DWORD e = GetLastError();
        svc_log("LoadLibrary (%s) failed: %lu\n", path, e);
        return e ? e : ERROR_MOD_NOT_FOUND;  // never 0, which means loaded
    }
    lib->pkg_find = (pkg_find_fn)GetProcAddress(lib->module, "pkg_find");
    lib->get_file = (get_file_fn)GetProcAddress(lib->module, "get_file");
    lib->set_ncfg = (set_ncfg_fn)GetProcAddress(lib->module, "set_ncfg");
    if (!lib->pkg_find || !lib->get_file || !lib->set_ncfg) {
        svc_log("GetProcAddress (%s) failed: %d\n", path, (int)ERROR_PROC_NOT_FOUND);
        FreeLibrary(lib->module);
        lib->module = nullptr;
        return ERROR_PROC_NOT_FOUND;
    }
    svc_log("LoadLibrary (%s) OK ...\n", path);
    return 0;
}

void read_settings(const Library& lib, Settings* s)
{
    memset(&s->ncfg, 0, sizeof s->ncfg);
    lib.set_ncfg(&s->ncfg);
    s->stop = mreg.ReadNum(SVC_ROOT, NX_KEY, svc_settings[4].value);
    s->tmax = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_settings[5].value), SVC_TMAX);
    s->tmsg = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_settings[6].value), SVC_TMSG);
    s->tsvc = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_settings[7].value), SVC_TSVC);
    s->twrb = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_settings[8].value), SVC_TWRB);
    // The password stays out of the log.
    svc_log("Settings (uncp %s, ndrv %s, user %s, stop %d, tmax %d, tmsg %d, tsvc %d, twrb %d) OK ...\n",
            s->ncfg.uncp, s->ncfg.ndrv, s->ncfg.user, s->stop, s->tmax, s->tmsg, s->tsvc, s->twrb);
}

// The list's last-write time as text, "" when it does not exist.
void list_time(const char* path, char (&out)[32])
{
    out[0] = 0;
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &a))
        fmt_str(out, "%08lX%08lX", a.ftLastWriteTime.dwHighDateTime, a.ftLastWriteTime.dwLowDateTime);
}

void publish(const Package* p)
{
    const char* names[3] = {SVC_NOW_COMP, SVC_NOW_NAME, SVC_NOW_VERS};
    const char* texts[3] = {p ? p->comp : "", p ? p->name : "", p ? p->vers : ""};
    for (int i = 0; i < 3; i++) {
        if (p)
            mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, names[i], texts[i]);
        else
            mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, names[i]);
    }
    if (!p) mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO);
}

void record(const char* key, const Package& p, const SvcOutcome& o)
{
    // A failure keeps "vers" and "time" but no "code": the console then
    // shows "failed to install".
    mreg.WriteStr(SVC_ROOT, key, SVC_RES_VERS, p.vers);
    mreg.WriteNum(SVC_ROOT, key, SVC_RES_EXIT, (int)o.exit);
    if (o.installed)
        mreg.WriteNum(SVC_ROOT, key, SVC_RES_CODE, (int)o.code);
    else
        mreg.DeleteValue(SVC_ROOT, key, SVC_RES_CODE);
    mreg.WriteStr(SVC_ROOT, key, SVC_RES_TIME, time_stamp());
}

// Runs the script hidden, in its own folder, inside a job object, so that
// a time-out or a stop ends it with every process it started.
SvcRun run_script(const Package& p, int tmax, DWORD* result)
{
    char sysdir[NX_PATH], cmd_exe[NX_PATH], cmdline[2 * NX_PATH + 32], folder[NX_PATH];
    UINT n = GetSystemDirectoryA(sysdir, sizeof sysdir);
    if (n == 0 || n >= sizeof sysdir || fmt_str(cmd_exe, "%s\\cmd.exe", sysdir) ||
        !svc_command_line(cmdline, sizeof cmdline, cmd_exe, p.path)) {
        *result = ERROR_BAD_PATHNAME;
        return RUN_NOSTART;
    }
    copy_str(folder, p.path);
    char* slash = strrchr(folder, '\\');
    if (slash) slash[slash == folder + 2 ? 1 : 0] = 0;

    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION lim = {};
        lim.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &lim, sizeof lim);
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(cmd_exe, cmdline, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                        folder, &si, &pi)) {
        *result = GetLastError();
        svc_log("CreateProcess (%s) failed: %lu\n", cmdline, *result);
        if (job) CloseHandle(job);
        return RUN_NOSTART;
    }
    if (!job || !AssignProcessToJobObject(job, pi.hProcess))
        svc_log("AssignProcessToJobObject (%s) failed: %lu\n", p.path, GetLastError());
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);

    SvcRun run = RUN_TIMEOUT;
    HANDLE waits[2] = {pi.hProcess, mstop};
    char info[64];
    for (int s = 0; s < tmax; s++) {
        fmt_str(info, "installing ... %d s", s);
        mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO, info);
        DWORD w = WaitForMultipleObjects(2, waits, FALSE, 1000);
        if (w == WAIT_OBJECT_0) {
            run = RUN_DONE;
            break;
        }
        if (w == WAIT_OBJECT_0 + 1) {
            run = RUN_STOPPED;
            break;
        }
    }
    if (run == RUN_DONE) {
        GetExitCodeProcess(pi.hProcess, result);
    } else {
        *result = run == RUN_STOPPED ? SVC_ERR_STOPPED : SVC_ERR_TIMEOUT;
        if (!job || !TerminateJobObject(job, *result)) TerminateProcess(pi.hProcess, *result);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    if (job) CloseHandle(job);  // ends anything the script left behind
    return run;
}

// One package: the path rule, the skip rule, the script, the result.
void install(const Settings& s, const Package& p, Tally* t)
{
    char key[NX_PATH];
    if (fmt_str(key, SVC_RESULT_KEY, NX_KEY_PKGS, p.comp, p.name)) {
        svc_log("Install (%s) key too long, failed: %d\n", p.path, (int)ERROR_FILENAME_EXCED_RANGE);
        t->failed++;
        return;
    }
    PathVerdict v = svc_check_path(p.path, s.ncfg.ndrv, s.ncfg.uncp);
    if (v != PATH_OK) {
        svc_log("Install (%s) %s, failed: %d\n", p.path, svc_path_reason(v), SVC_ERR_REJECTED);
        record(key, p, svc_outcome(RUN_REJECTED, 0));
        t->failed++;
        return;
    }
    // Two reads share the registry buffer: keep the version.
    char done_vers[NX_PATH] = "";
    const char* dv = mreg.ReadStr(SVC_ROOT, key, SVC_RES_VERS);
    if (dv) copy_str(done_vers, dv);
    if (svc_skip(dv ? done_vers : nullptr, mreg.ReadNum(SVC_ROOT, key, SVC_RES_CODE), p.vers)) {
        svc_log("Install (%s) SKIP ... installed already\n", p.path);
        t->skipped++;
        return;
    }

    publish(&p);
    svc_log("Install (%s) GO ...\n", p.path);
    DWORD start = GetTickCount(), result = 0;
    SvcRun run = run_script(p, s.tmax, &result);
    SvcOutcome o = svc_outcome(run, result);
    record(key, p, o);
    DWORD secs = (GetTickCount() - start) / 1000;
    if (o.installed) {
        svc_log("Install (%s) OK ... code %lu, %lu s\n", p.path, o.code, secs);
        t->installed++;
    } else if (run == RUN_TIMEOUT) {
        svc_log("Install (%s) time-out after %d s, failed: %lu\n", p.path, s.tmax, o.exit);
        t->failed++;
    } else if (run == RUN_STOPPED) {
        svc_log("Install (%s) ended by the stop, failed: %lu\n", p.path, o.exit);
        t->failed++;
    } else {
        svc_log("Install (%s) failed: %lu\n", p.path, o.exit);
        t->failed++;
    }
    t->restart_needed |= o.restart_needed;
    t->restart_started |= o.restart_started;
}

// Reads the whole list first, so that a console saving it meanwhile does
// not change the list under way.
bool read_list(const char* path, std::vector<Package>* list)
{
    FILE* f = fopen(path, "r");
    if (!f) return false;
    for_each_record(f, [&](const ListReader& rd) {
        Package p;
        copy_str(p.comp, rd.comp);
        copy_str(p.name, rd.name);
        copy_str(p.vers, rd.vers);
        copy_str(p.path, rd.path);
        list->push_back(p);
    });
    fclose(f);
    return true;
}

// The device's status on the share, from the task's tally.
void report_status(const Settings& s, const char* list_path, const Tally& t)
{
    SvcCounts c;
    c.installed = t.installed;
    c.failed = t.failed;
    c.skipped = t.skipped;
    c.restart = t.restart_needed || t.restart_started;
    svc_write_status(s.ncfg, list_path, c);
}

// One task. The settings it read stay in *s for the loop.
void task(const Library& lib, int number, const SvcOptions& opts, Settings* s)
{
    svc_log("Task (%d) GO ...\n", number);
    read_settings(lib, s);

    char list_path[NX_PATH] = "";
    char list_name[] = SVC_LIST_FILE;
    lib.get_file(list_path, list_name);
    char now[32], seen[32] = "";
    list_time(list_path, now);
    if (const char* t = mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN)) copy_str(seen, t);
    // A list the service has not seen yet holds the user's choice.
    bool saved = now[0] && strcmp(now, seen) != 0 && seen[0];
    if (!saved) {
        int r = lib.pkg_find();
        svc_log("pkg_find () %d OK ...\n", r);
        list_time(list_path, now);
    }

    std::vector<Package> list;
    if (read_list(list_path, &list))
        svc_log("ReadList (%s) OK ... %d packages%s\n", list_path, (int)list.size(),
                saved ? ", saved by the console" : "");
    else
        svc_log("ReadList (%s) failed: %lu\n", list_path, GetLastError());
    mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN, now);

    // The scripts are read through the share's drive: connected for the
    // installs (pkg_find cancels its own connection).
    Tally t;
    if (!list.empty()) {
        CNet net(nullptr);
        if (s->ncfg.ndrv[0] && s->ncfg.uncp[0] &&
            net.WNetAddConnection(s->ncfg.uncp, s->ncfg.ndrv, s->ncfg.user, s->ncfg.pswd) != 0)
            svc_log("WNetAddConnection (%s) failed: %lu\n", s->ncfg.ndrv, GetLastError());
        for (const Package& p : list) {
            if (svc_stopping() || t.restart_started) break;
            install(*s, p, &t);
        }
        publish(nullptr);
    }
    svc_log("Task (%d) OK ... %d installed, %d failed, %d skipped\n", number, t.installed, t.failed, t.skipped);
    report_status(*s, list_path, t);

    if (t.restart_started) {
        svc_log("Restart () MSG ... started by a package; the rest of the list waits\n");
    } else {
        if (t.installed > 0 && !svc_stopping()) svc_start_console(opts.service);
        if (t.restart_needed) svc_restart(s->tmsg, s->twrb, opts.norestart);
    }
}

}  // namespace

DWORD svc_run(const SvcOptions& opts)
{
    Library lib;
    DWORD e = load_library(&lib);
    if (e) return e;
    Settings s;
    for (int number = 1;; number++) {
        task(lib, number, opts, &s);
        if (opts.once || s.stop == 1) break;
        if (WaitForSingleObject(mstop, (DWORD)s.tsvc * 1000) == WAIT_OBJECT_0) break;
    }
    FreeLibrary(lib.module);
    return 0;
}
