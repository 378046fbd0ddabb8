// The task the service repeats: settings, the device package list (from
// pkg_find, or as the console saved it), each package installed in list
// order, then the console and a restart when needed.
#include "svc.h"
#include "creg.h"
#include "listfile.h"
#include "log.h"
#include "osrules.h"
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
    bool waiting = false;  // the Windows Installer was busy: the rest waits
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

// A package meets the Windows Installer busy with another install, before
// it starts or by its script's result (exit -1: not run yet): it is not
// recorded and waits, with the rest of the list, for the next task.
bool installer_busy(const Package& p, long exit, Tally* t)
{
    if (exit < 0 ? !svc_installer_running() : !svc_installer_busy((unsigned long)exit)) return false;
    svc_log("Install (%s) WAIT ... the Windows Installer is busy (%d)\n", p.path, (int)SVC_ERR_INSTALLER_BUSY);
    mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_WAITING, p.path);
    t->waiting = true;
    return true;
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

    char script[NX_PATH];
    if (!svc_unc_script(script, sizeof script, p.path, s.ncfg.ndrv, s.ncfg.uncp)) {
        svc_log("Install (%s) UNC path too long, failed: %d\n", p.path, (int)ERROR_FILENAME_EXCED_RANGE);
        record(key, p, svc_outcome(RUN_NOSTART, ERROR_FILENAME_EXCED_RANGE));
        t->failed++;
        return;
    }
    if (installer_busy(p, -1, t)) return;

    publish(&p);
    svc_log("Install (%s) GO ... %s\n", p.path, script);
    DWORD start = GetTickCount(), result = 0;
    SvcRun run = svc_launch(script, s.tmax, &result);
    if (run == RUN_DONE && installer_busy(p, result, t)) return;
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

    // The scripts run by the share's UNC path (pkg_find cancels its own
    // drive). While a restart is pending, a script would be cut off by it.
    Tally t;
    if (!list.empty() && !svc_restart_pending(s->tmsg, s->twrb, opts.norestart)) {
        SvcShare share(s->ncfg);
        mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_WAITING);
        for (const Package& p : list) {
            if (svc_stopping() || t.restart_started || t.waiting) break;
            install(*s, p, &t);
        }
        publish(nullptr);
    }
    svc_log("Task (%d) OK ... %d installed, %d failed, %d skipped\n", number, t.installed, t.failed, t.skipped);

    if (t.restart_started) {
        svc_log("Restart () MSG ... started by a package; the rest of the list waits\n");
        svc_restart_needed(s->tmsg, s->twrb, opts.norestart, true);
    } else {
        if (t.installed > 0 && !svc_stopping()) svc_start_console(opts.service);
        if (t.restart_needed) svc_restart_needed(s->tmsg, s->twrb, opts.norestart, false);
    }
}

// The service starts while its own msi is still installing, and at boot
// other installs may run: a task then waits until the Windows Installer is
// free, since its msi packages would fail (1618). False on a stop.
bool wait_for_installer()
{
    if (!svc_installer_running()) return true;
    svc_log("Task () WAIT ... the Windows Installer is busy\n");
    while (svc_installer_running())
        if (WaitForSingleObject(mstop, 2000) == WAIT_OBJECT_0) return false;
    return true;
}

}  // namespace

DWORD svc_run(const SvcOptions& opts)
{
    Library lib;
    DWORD e = load_library(&lib);
    if (e) return e;
    Settings s;
    for (int number = 1;; number++) {
        if (opts.service && !wait_for_installer()) break;
        task(lib, number, opts, &s);
        if (opts.once || s.stop == 1) break;
        if (WaitForSingleObject(mstop, (DWORD)s.tsvc * 1000) == WAIT_OBJECT_0) break;
    }
    FreeLibrary(lib.module);
    return 0;
}
