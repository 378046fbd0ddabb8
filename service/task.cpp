// The task the service repeats: settings, the device package list (from
// pkg_find, or as the console saved it), each package installed in list
// order, then the console and a restart when needed.
#include "svc.h"
#include "scoped.h"
#include "creg.h"
#include "listfile.h"
#include "log.h"
#include "osrules.h"
#include "rules.h"
#include "safefile.h"
#include "service_contract.h"
#include <stdio.h>
#include <set>

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

typedef SvcSection Package;

struct Tally {
    int installed = 0, failed = 0, skipped = 0, waiting = 0, refused = 0;
    bool restart_needed = false, restart_started = false;
    bool installer_busy = false;  // the Windows Installer was busy: the rest waits
    std::vector<SvcPkgResult> results;  // one per package of the list, in order
};

// A list section as the log shows it: control characters made visible.
typedef SvcShown<NX_PATH * 4> Shown;

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
    s->stop = mreg.ReadNum(SVC_ROOT, NX_KEY, svc_value(SVC_SET_STOP));
    s->tmax = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_value(SVC_SET_TMAX)), SVC_TMAX);
    s->tmsg = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_value(SVC_SET_TMSG)), SVC_TMSG);
    s->tsvc = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_value(SVC_SET_TSVC)), SVC_TSVC);
    s->twrb = svc_seconds(mreg.ReadNum(SVC_ROOT, NX_KEY, svc_value(SVC_SET_TWRB)), SVC_TWRB);
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

// Attempts in a row that failed, and the tasks still to wait; a success
// clears both.
void record_tries(const char* key, int tries, int wait)
{
    if (tries > 0) {
        mreg.WriteNum(SVC_ROOT, key, SVC_RES_TRIES, tries);
        mreg.WriteNum(SVC_ROOT, key, SVC_RES_WAIT, wait);
    } else {
        mreg.DeleteValue(SVC_ROOT, key, SVC_RES_TRIES);
        mreg.DeleteValue(SVC_ROOT, key, SVC_RES_WAIT);
    }
}

// A package meets the Windows Installer busy with another install, before
// it starts or by its script's result (exit null: not run yet): it is not
// recorded and waits, with the rest of the list, for the next task.
bool installer_busy(const Package& p, const DWORD* exit, Tally* t)
{
    if (exit ? !svc_installer_busy(*exit) : !svc_installer_running()) return false;
    svc_log("Install (%s) WAIT ... the Windows Installer is busy (%d)\n", Shown(p.path).text,
            (int)SVC_ERR_INSTALLER_BUSY);
    mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_WAITING, p.path);
    t->installer_busy = true;
    t->waiting++;
    return true;
}

// One package: the path rule, the identity rule, the skip rule, the
// back-off, the script, the result. A package refused by a rule changes no
// record.
SvcPkgResult install(const Settings& s, const Package& p, const std::set<std::string>& assigned, Tally* t)
{
    Shown path(p.path);
    char key[NX_PATH];
    if (fmt_str(key, SVC_RESULT_KEY, NX_KEY_PKGS, p.comp, p.name)) {
        svc_log("Install (%s) key too long, failed: %d\n", path.text, (int)ERROR_FILENAME_EXCED_RANGE);
        t->refused++;
        return {PKG_REFUSED, 0};
    }
    PathVerdict v = svc_check_path(p.path, s.ncfg.ndrv, s.ncfg.uncp);
    if (v == PATH_OK && !svc_script_quotable(p.path)) v = PATH_CHARS;  // "!": the command line's delayed expansion
    if (v != PATH_OK) {
        svc_log("Install (%s) %s, failed: %d\n", path.text, svc_path_reason(v), SVC_ERR_REJECTED);
        t->refused++;
        return {PKG_REFUSED, 0};
    }
    if (svc_check_identity(p.comp, p.name, p.vers, p.path, assigned) == ID_FORGED) {
        svc_log("Install (%s) is not %s\\%s %s by its path and not assigned, failed: %d\n", path.text,
                Shown(p.comp).text, Shown(p.name).text, Shown(p.vers).text, SVC_ERR_REJECTED);
        t->refused++;
        return {PKG_REFUSED, 0};
    }
    // Two reads share the registry buffer: keep the version.
    char done_vers[NX_PATH] = "";
    const char* dv = mreg.ReadStr(SVC_ROOT, key, SVC_RES_VERS);
    if (dv) copy_str(done_vers, dv);
    if (svc_skip(dv ? done_vers : nullptr, mreg.ReadNum(SVC_ROOT, key, SVC_RES_CODE), p.vers)) {
        svc_log("Install (%s) SKIP ... installed already\n", path.text);
        t->skipped++;
        return {PKG_SKIPPED, 0};
    }
    // Earlier failures count for this version only.
    int tries = 0, wait = 0;
    if (dv && strcmp(done_vers, p.vers) == 0) {
        tries = mreg.ReadNum(SVC_ROOT, key, SVC_RES_TRIES);
        wait = mreg.ReadNum(SVC_ROOT, key, SVC_RES_WAIT);
        if (tries < 0) tries = 0;
        if (wait < 0 || wait > svc_backoff(tries, s.tsvc)) wait = svc_backoff(tries, s.tsvc);
    }
    if (wait > 0) {
        record_tries(key, tries, wait - 1);
        svc_log("Install (%s) WAIT ... failed %d times, next try in %d tasks\n", path.text, tries, wait);
        t->waiting++;
        return {PKG_WAITING, tries};
    }

    char script[NX_PATH];
    if (!svc_unc_script(script, sizeof script, p.path, s.ncfg.ndrv, s.ncfg.uncp)) {
        svc_log("Install (%s) UNC path too long, failed: %d\n", path.text, (int)ERROR_FILENAME_EXCED_RANGE);
        t->refused++;
        return {PKG_REFUSED, 0};
    }
    if (installer_busy(p, nullptr, t)) return {PKG_WAITING, tries};

    publish(&p);
    svc_log("Install (%s) GO ... %s\n", path.text, Shown(script).text);
    DWORD start = GetTickCount(), result = 0;
    SvcRun run = svc_launch(script, s.tmax, &result);
    if (run == RUN_DONE && installer_busy(p, &result, t)) return {PKG_WAITING, tries};
    SvcOutcome o = svc_outcome(run, result);
    record(key, p, o);
    // A stop is the service's doing, not the package's.
    if (run != RUN_STOPPED) {
        tries = o.installed ? 0 : tries + 1;
        record_tries(key, tries, svc_backoff(tries, s.tsvc));
    }
    DWORD secs = (GetTickCount() - start) / 1000;
    t->restart_needed |= o.restart_needed;
    t->restart_started |= o.restart_started;
    if (o.installed) {
        svc_log("Install (%s) OK ... code %lu, %lu s\n", path.text, o.code, secs);
        t->installed++;
        return {PKG_INSTALLED, 0};
    }
    if (run == RUN_TIMEOUT)
        svc_log("Install (%s) time-out after %d s, failed: %lu\n", path.text, s.tmax, o.exit);
    else if (run == RUN_STOPPED)
        svc_log("Install (%s) ended by the stop after %lu s, failed: %lu\n", path.text, secs, o.exit);
    else
        svc_log("Install (%s) ended after %lu s, failed: %lu\n", path.text, secs, o.exit);
    if (run != RUN_STOPPED) {
        char code[32];
        fmt_str(code, "code %lu", o.exit);
        svc_event(NXEV_PACKAGE_FAILED, path.text, code);
    }
    t->failed++;
    return {PKG_FAILED, tries};
}

// Reads the whole list first, so that a console saving it meanwhile does
// not change the list under way.
ListRead read_list(const char* path, std::vector<Package>* list)
{
    FILE* f = fopen(path, "rb");
    std::vector<SvcSection> lost;
    ListRead r = svc_read_list(f, SVC_LIST_BYTES, SVC_LIST_SECTIONS, list, &lost);
    if (f) fclose(f);
    // A name the code page could not hold opens and runs nothing: never tried.
    for (const SvcSection& s : lost)
        svc_log("ReadList (%s) not in code page %u, failed: %d\n", SvcShown<NX_PATH>(s.path).text,
                ansi_code_page().id, (int)ERROR_NO_UNICODE_TRANSLATION);
    return r;
}

void log_read(const char* path, ListRead r, size_t count, const char* whose)
{
    if (r == LIST_READ)
        svc_log("ReadList (%s) OK ... %d packages%s\n", path, (int)count, whose);
    else if (r == LIST_TOO_LARGE)
        svc_log("ReadList (%s) more than %d bytes, refused%s, failed: %d\n", path, SVC_LIST_BYTES, whose,
                (int)ERROR_FILE_TOO_LARGE);
    else if (r == LIST_TOO_MANY)
        svc_log("ReadList (%s) more than %d packages, refused%s, failed: %d\n", path, SVC_LIST_SECTIONS, whose,
                (int)ERROR_FILE_TOO_LARGE);
    else
        svc_log("ReadList (%s) failed: %lu\n", path, GetLastError());
}

// The sections of pkg_find's list, kept beside the service where users
// cannot write, so that a list the console saves later may carry them.
void keep_assigned(const std::vector<Package>& list)
{
    char path[NX_PATH];
    if (fmt_str(path, "%s\\%s", mfolder, SVC_ASSIGNED_FILE)) return;
    SafeFile out;
    bool ok = safe_open(out, path, "wt");
    for (size_t i = 0; ok && i < list.size(); i++)
        write_section(out.f, list[i].name, list[i].comp, list[i].vers, list[i].path);
    if (!ok || !safe_commit(out)) svc_log("KeepAssigned (%s) failed: %lu\n", path, GetLastError());
}

std::set<std::string> assigned_set(const std::vector<Package>& list)
{
    std::set<std::string> set;
    for (const Package& p : list) set.insert(svc_identity_key(p.comp, p.name, p.vers, p.path));
    return set;
}

std::set<std::string> read_assigned()
{
    char path[NX_PATH];
    std::vector<Package> list;
    if (!fmt_str(path, "%s\\%s", mfolder, SVC_ASSIGNED_FILE)) read_list(path, &list);
    return assigned_set(list);
}

// Two names of one folder: the same file index and creation time.
bool same_folder(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* paths[2] = {a, b};
    for (int i = 0; i < 2; i++) {
        ScopedHandle h(CreateFileA(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h) return false;
        BOOL ok = GetFileInformationByHandle(h.get(), &info[i]);
        if (!ok || !(info[i].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    }
    return info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow &&
           CompareFileTime(&info[0].ftCreationTime, &info[1].ftCreationTime) == 0;
}

// Scripts run from the share "uncp" names and from nothing else: its
// package folder must be reachable, and the drive "ndrv", where it is a
// drive at all, must be a network drive connected to it (a local disk, a
// stick or an image at that letter is not). The service itself maps no
// drive: scripts run by the UNC path. False, with the reason in why, when
// that cannot be made sure.
bool share_ready(const NCFG& c, char (&why)[NX_PATH * 2])
{
    char unc[NX_PATH], unc_pkg[NX_PATH], drv_pkg[NX_PATH], root[8], remote[NX_PATH];
    copy_str(unc, c.uncp);
    for (size_t n = strlen(unc); n > 2 && unc[n - 1] == '\\'; n--) unc[n - 1] = 0;
    if (!unc[0] || fmt_str(unc_pkg, "%s\\pkg", unc)) {
        fmt_str(why, "no share (uncp) set");
        return false;
    }
    DWORD a = GetFileAttributesA(unc_pkg);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        fmt_str(why, "%s not reachable: %lu", unc_pkg, a == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0UL);
        return false;
    }
    if (!c.ndrv[0]) return true;
    fmt_str(root, "%s\\", c.ndrv);
    fmt_str(drv_pkg, "%s\\pkg", c.ndrv);
    UINT type = GetDriveTypeA(root);
    if (type == DRIVE_NO_ROOT_DIR) return true;
    if (type != DRIVE_REMOTE) {
        fmt_str(why, "%s is not a network drive (type %u)", c.ndrv, type);
        return false;
    }
    DWORD n = sizeof remote;
    if (WNetGetConnectionA(c.ndrv, remote, &n) == NO_ERROR && _stricmp(remote, unc) == 0) return true;
    if (same_folder(drv_pkg, unc_pkg)) return true;
    fmt_str(why, "%s is not the package folder of %s", drv_pkg, unc);
    return false;
}

// The device's status on the share, from the task's tally: every package
// of the list; those the task did not reach wait for a restart or the
// Windows Installer, or else were skipped (a stop, a lost share).
void report_status(const Settings& s, const std::vector<Package>& list, const Tally& t, bool restart_pending)
{
    bool waits = restart_pending || t.restart_started || t.installer_busy;
    DeviceStatus st;
    st.installed = t.installed;
    st.failed = t.failed + t.refused;
    st.skipped = t.skipped;
    st.waiting = t.waiting;
    st.restart = restart_pending || t.restart_needed || t.restart_started;
    for (size_t i = 0; i < list.size() && i < STATUS_MAX_PACKAGES; i++) {
        StatusPackage p;
        p.comp = list[i].comp;
        p.name = list[i].name;
        p.vers = list[i].vers;
        p.path = list[i].path;
        p.state = waits ? PKG_WAITING : PKG_SKIPPED;
        if (i < t.results.size()) {
            // Skipped as installed already: installed.
            p.state = t.results[i].state == PKG_SKIPPED ? PKG_INSTALLED : t.results[i].state;
            p.runs = t.results[i].tries;
        }
        st.packages.push_back(p);
    }
    svc_write_status(s.ncfg, st);
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
    // A list the service has not seen yet holds the user's choice. It is
    // marked as seen before it is read, so a list that breaks a task is
    // not taken again.
    bool saved = now[0] && strcmp(now, seen) != 0 && seen[0];
    std::vector<Package> list;
    std::set<std::string> assigned;
    ListRead r = LIST_NONE;
    if (saved) {
        mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN, now);
        r = read_list(list_path, &list);
        log_read(list_path, r, list.size(), ", saved by the console");
        if (r == LIST_READ)
            assigned = read_assigned();
        else
            saved = false;  // pkg_find's list instead
    }
    if (!saved) {
        char before[32];
        copy_str(before, now);
        int found = lib.pkg_find();
        svc_log("pkg_find () %d OK ...\n", found);
        list_time(list_path, now);
        mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN, now);
        r = read_list(list_path, &list);
        log_read(list_path, r, list.size(), "");
        // Only a list pkg_find wrote just now holds the group files; one it
        // left as it was may be a user's.
        if (r == LIST_READ && found == 0 && now[0] && strcmp(before, now) != 0) {
            keep_assigned(list);
            assigned = assigned_set(list);
        } else {
            assigned = read_assigned();
        }
    }

    // The scripts run by the share's UNC path (pkg_find cancels its own
    // drive). Where the share cannot be made sure, nothing runs and nothing
    // is recorded; while a restart is pending, a script would be cut off by
    // it.
    Tally t;
    bool restart_pending = svc_restart_pending(s->tmsg, s->twrb, opts.norestart);
    if (!list.empty() && !restart_pending) {
        SvcShare share(s->ncfg);
        mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_WAITING);
        char why[NX_PATH * 2];
        for (const Package& p : list) {
            if (svc_stopping() || t.restart_started || t.installer_busy) break;
            if (share.error) fmt_str(why, "the share refused the configured account (%lu)", share.error);
            if (share.error || !share_ready(s->ncfg, why)) {
                svc_log("Share (%s) %s; the rest of the list waits, failed: %d\n", s->ncfg.uncp, why,
                        (int)ERROR_BAD_NETPATH);
                svc_event(NXEV_SHARE_UNREACHABLE, why);
                break;
            }
            t.results.push_back(install(*s, p, assigned, &t));
        }
        publish(nullptr);
    }
    svc_log("Task (%d) OK ... %d installed, %d failed, %d skipped, %d waiting, %d refused\n", number, t.installed,
            t.failed, t.skipped, t.waiting, t.refused);
    char summary[128], task_no[16];
    fmt_str(task_no, "%d", number);
    fmt_str(summary, "%d installed, %d failed, %d skipped, %d waiting, %d refused", t.installed, t.failed, t.skipped,
            t.waiting, t.refused);
    svc_event(NXEV_TASK, task_no, summary);
    report_status(*s, list, t, restart_pending);

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
    // What a killed run published is no longer under way.
    publish(nullptr);
    // A platform whose cmd.exe loses exit codes would record failures as
    // installed: then nothing is installed until it passes.
    if (!svc_platform_ready(lib.set_ncfg)) {
        FreeLibrary(lib.module);
        return ERROR_NOT_SUPPORTED;
    }
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
