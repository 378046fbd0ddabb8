// The task the service repeats: settings, the device's assigned list read
// from the share, the user's choice where the console saved one, each
// package installed in order, then the console and a restart when needed.
#include "svc.h"
#include "assignment.h"
#include "scoped.h"
#include "creg.h"
#include "listfile.h"
#include "log.h"
#include "osrules.h"
#include "policy.h"
#include "svcrules.h"
#include "safefile.h"
#include "service_contract.h"
#include "sharelayout.h"
#include <stdio.h>
#include <string>

typedef int(__cdecl* pkg_find_fn)(void);
typedef int(__cdecl* get_file_fn)(char*, char*);
typedef int(__cdecl* set_ncfg_fn)(NCFG*);

namespace {

// The library's exports; only the worker thread calls them, one at a time.
struct Library {
    ScopedLibrary module;
    pkg_find_fn pkg_find = nullptr;
    get_file_fn get_file = nullptr;
    set_ncfg_fn set_ncfg = nullptr;
};

struct Settings {
    NCFG ncfg;
    int stop, tmax, tmsg, tsvc, twrb;
    int self;  // SVC_SELF_ANY: users may add packages of the share
    char mwin[12];         // "HH:MM-HH:MM" when a window is set
    bool window;           // a maintenance window is set: scripts run only within it
    int win_from, win_to;  // its minutes of the day (svc_window_parse)
    int tdef;              // hours a restart may be put off (svc_defer_hours)
    char sign[NX_PATH];  // pinned signer thumbprints, "" for an unsigned share
};

typedef SvcSection Package;

struct Tally {
    int installed = 0, failed = 0, skipped = 0, waiting = 0, refused = 0;
    bool restart_needed = false, restart_started = false;
    bool installer_busy = false;  // the Windows Installer was busy: the rest waits
    bool window_closed = false;   // outside the maintenance window: the rest waits
    std::vector<SvcPkgResult> results;  // one per package of the list, in order
};

// A list section as the log shows it: control characters made visible.
typedef SvcShown<NX_PATH * 4> Shown;

CReg mreg;
// The task's verdict on the share's signature.
SvcSign msign;

// By full path from the program's own folder, never through the search path.
DWORD load_library(Library* lib)
{
    char path[NX_PATH];
    if (fmt_str(path, "%s\\%s", mfolder, SVC_LIB_FILE)) return ERROR_FILENAME_EXCED_RANGE;
    lib->module.reset(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!lib->module) {
        DWORD e = GetLastError();
        svc_log("LoadLibrary (%s) failed: %lu\n", path, e);
        return e ? e : ERROR_MOD_NOT_FOUND;  // never 0, which means loaded
    }
    lib->pkg_find = (pkg_find_fn)GetProcAddress(lib->module.get(), "pkg_find");
    lib->get_file = (get_file_fn)GetProcAddress(lib->module.get(), "get_file");
    lib->set_ncfg = (set_ncfg_fn)GetProcAddress(lib->module.get(), "set_ncfg");
    if (!lib->pkg_find || !lib->get_file || !lib->set_ncfg) {
        svc_log("GetProcAddress (%s) failed: %d\n", path, (int)ERROR_PROC_NOT_FOUND);
        lib->module.reset();
        return ERROR_PROC_NOT_FOUND;
    }
    svc_log("LoadLibrary (%s) OK ...\n", path);
    return 0;
}

void read_service_settings(const Library& lib, Settings* s)
{
    memset(&s->ncfg, 0, sizeof s->ncfg);
    lib.set_ncfg(&s->ncfg);
    // Every setting through Group Policy first (policy.h); the library's
    // four were taken by set_ncfg the same way and are read here again for
    // the log only.
    SvcRead r[SVC_SETTINGS];
    std::string fixed;
    for (int i = 0; i < SVC_SETTINGS; i++) {
        svc_read_setting(i, &r[i]);
        if (r[i].odd) svc_log(SVC_POLICY_ODD_LOG, svc_settings[i].value, r[i].odd);
        if (r[i].policy) fixed += std::string(fixed.empty() ? "" : " ") + svc_settings[i].value;
    }
    if (!fixed.empty()) svc_log(SVC_POLICY_LOG, fixed.c_str());
    s->stop = svc_read_num(r[SVC_SET_STOP]);
    s->tmax = svc_seconds(svc_read_num(r[SVC_SET_TMAX]), SVC_TMAX);
    s->tmsg = svc_seconds(svc_read_num(r[SVC_SET_TMSG]), SVC_TMSG);
    s->tsvc = svc_seconds(svc_read_num(r[SVC_SET_TSVC]), SVC_TSVC);
    s->twrb = svc_seconds(svc_read_num(r[SVC_SET_TWRB]), SVC_TWRB);
    const char* odd = nullptr;
    s->self = svc_self(r[SVC_SET_SELF].type, r[SVC_SET_SELF].number, &odd);
    if (odd) svc_log(SVC_SELF_ODD_LOG, odd);
    char mwin[NX_PATH] = "";
    if (r[SVC_SET_MWIN].type == 1 || r[SVC_SET_MWIN].type == 2) copy_str(mwin, r[SVC_SET_MWIN].text);
    s->window = mwin[0] && svc_window_parse(mwin, &s->win_from, &s->win_to);
    // A window that cannot be read must not mean "never install".
    if (mwin[0] && !s->window) svc_log("Settings (mwin %s) not HH:MM-HH:MM, ignored: any time\n", Shown(mwin).text);
    int tdef = svc_read_num(r[SVC_SET_TDEF]);
    s->tdef = svc_defer_hours(tdef);
    if (tdef > SVC_TDEF_MAX) svc_log("Settings (tdef %d) above %d hours, cut to it\n", tdef, (int)SVC_TDEF_MAX);
    copy_str(s->mwin, s->window ? mwin : "");
    if (s->window || s->tdef) svc_log("Settings (mwin %s, tdef %d) OK ...\n", s->mwin, s->tdef);
    if (r[SVC_SET_SIGN].type == 1 || r[SVC_SET_SIGN].type == 2)
        copy_str(s->sign, r[SVC_SET_SIGN].text);
    else
        s->sign[0] = 0;
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

// The share's root ("\\server\share", no trailing separator) in the code
// page's characters.
std::string root_of(const Settings& s) { return share_root(ansi_code_page().id, s.ncfg.uncp); }

// A package the user chose that the device is not assigned: the script is
// the one the share lays out for that identity, and it runs only when
// every folder on the way is a plain folder spelled exactly as the share
// spells it (no short name, no other case, no link) and the script is a
// file there. False, with the reason in why, when not.
bool share_spelled(const std::string& root, const Package& p, char (&why)[NX_PATH * 2])
{
    std::string at = root + "\\" SHARE_PKG;
    const char* parts[4] = {p.comp, p.name, p.vers, SHARE_SCRIPT};
    for (int i = strcmp(p.comp, SHARE_NO_MAKER) == 0 ? 1 : 0; i < 4; i++) {
        at += '\\';
        at += parts[i];
        WIN32_FIND_DATAA fd;
        ScopedFind f(FindFirstFileA(at.c_str(), &fd));
        bool script = i == 3;
        if (!f) {
            fmt_str(why, "%s not found: %lu", SvcShown<NX_PATH>(at.c_str()).text, GetLastError());
            return false;
        }
        bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        if (folder == script || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            fmt_str(why, "%s is not a plain %s", SvcShown<NX_PATH>(at.c_str()).text, script ? "file" : "folder");
            return false;
        }
        if (!script && strcmp(fd.cFileName, parts[i]) != 0) {
            fmt_str(why, "the share spells \"%s\" as \"%s\"", Shown(parts[i]).text, Shown(fd.cFileName).text);
            return false;
        }
    }
    return true;
}

// The script an assigned section names must be a file: a missing one would
// send cmd.exe searching for the name elsewhere.
bool script_there(const char* script, char (&why)[NX_PATH * 2])
{
    DWORD a = GetFileAttributesA(script);
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return true;
    fmt_str(why, "no script there: %lu", a == INVALID_FILE_ATTRIBUTES ? GetLastError() : (DWORD)ERROR_DIRECTORY);
    return false;
}

SvcPkgResult refuse(const Shown& path, const char* why, Tally* t)
{
    svc_log("Install (%s) %s, refused: %d\n", path.text, why, SVC_ERR_REJECTED);
    t->refused++;
    return {PKG_REFUSED, 0};
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
bool share_ready(const Settings& s, char (&why)[NX_PATH * 2])
{
    const NCFG& c = s.ncfg;
    std::string unc = root_of(s);
    char unc_pkg[NX_PATH], drv_pkg[NX_PATH], root[8], remote[NX_PATH];
    if (unc.empty() || fmt_str(unc_pkg, "%s\\" SHARE_PKG, unc.c_str())) {
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
    fmt_str(drv_pkg, "%s\\" SHARE_PKG, c.ndrv);
    UINT type = GetDriveTypeA(root);
    if (type == DRIVE_NO_ROOT_DIR) return true;
    if (type != DRIVE_REMOTE) {
        fmt_str(why, "%s is not a network drive (type %u)", c.ndrv, type);
        return false;
    }
    DWORD n = sizeof remote;
    if (WNetGetConnectionA(c.ndrv, remote, &n) == NO_ERROR && _stricmp(remote, unc.c_str()) == 0) return true;
    if (same_folder(drv_pkg, unc_pkg)) return true;
    fmt_str(why, "%s is not the package folder of %s", drv_pkg, unc.c_str());
    return false;
}

// The script a planned package runs, by the share's UNC path: an assigned
// section's own, or for the user's own choice the one the share lays out
// (the path text of the user's list is never run). False, with the reason
// in why, when there is none; *elsewhere when the list named another path.
bool script_of(const Settings& s, const SvcPlanned& planned, char (&script)[NX_PATH], char (&why)[NX_PATH * 2],
               bool* elsewhere)
{
    const Package& p = planned.s;
    unsigned cp = ansi_code_page().id;
    *elsewhere = false;
    if (planned.assigned) {
        PathVerdict v = svc_check_path(cp, p.path, s.ncfg.ndrv, s.ncfg.uncp);
        if (v == PATH_OK && !svc_script_quotable(p.path)) v = PATH_CHARS;  // "!": the command line's delayed expansion
        if (v != PATH_OK) {
            fmt_str(why, "%s", svc_path_reason(v));
            return false;
        }
        if (!svc_unc_script(script, sizeof script, p.path, s.ncfg.ndrv, s.ncfg.uncp)) {
            fmt_str(why, "UNC path too long");
            return false;
        }
        return true;
    }
    NameVerdict v = share_script_path(cp, script, sizeof script, root_of(s).c_str(), p.comp, p.name, p.vers);
    if (v == NAME_OK && !svc_script_quotable(script)) v = NAME_CHARS;  // "!": the command line's delayed expansion
    if (v != NAME_OK) {
        fmt_str(why, "not assigned and %s \\ %s %s is no package folder: %s", Shown(p.comp).text, Shown(p.name).text,
                Shown(p.vers).text, share_name_reason(v));
        return false;
    }
    char given[NX_PATH];
    *elsewhere = !svc_unc_script(given, sizeof given, p.path, s.ncfg.ndrv, s.ncfg.uncp) || strcmp(given, script) != 0;
    return true;
}

// On a signed share the script runs from a copy of its folder in the
// cache, made only of files the manifest approves. False, logged, when a
// file is not as signed: the package is refused and changes no record.
bool approved(const char* script, char (&local)[NX_PATH], const Shown& path, Tally* t)
{
    std::string why;
    DWORD err = 0;
    if (svc_sign_fetch_package(msign, script, local, &why, &err)) return true;
    svc_log("Install (%s) %s, not signed, refused: %lu\n", path.text, why.c_str(), err);
    svc_event(NXEV_PACKAGE_NOT_SIGNED, path.text, why.c_str());
    t->refused++;
    return false;
}

// One package of the plan as the task finds it: its results key, its
// script and its record, and what becomes of it (svc_package_step).
struct Next {
    const SvcPlanned* planned = nullptr;
    char key[NX_PATH] = "", script[NX_PATH] = "";
    char why[NX_PATH * 2] = "";        // why its script may not run
    char share_why[NX_PATH * 2] = "";  // why the share cannot be made sure
    bool elsewhere = false;  // the user's list named another path than the share's
    char done_vers[NX_PATH] = "";
    SvcPackageFacts facts = {};
    SvcPackageStep step = STEP_RUN;
};

// What the task knows of a package before it touches it: the maintenance
// window, the share, the package's key, script and record.
void find_next(const Settings& s, const SvcShare& share, const SvcPlanned& planned, Next* n)
{
    const Package& p = planned.s;
    SvcPackageFacts& f = n->facts;
    n->planned = &planned;
    SYSTEMTIME now;
    GetLocalTime(&now);
    f.window = s.window;
    f.win_from = s.win_from;
    f.win_to = s.win_to;
    f.minute = now.wHour * 60 + now.wMinute;
    if (share.error) fmt_str(n->share_why, "the share refused the configured account (%lu)", share.error);
    f.share_ready = !share.error && share_ready(s, n->share_why);
    f.keyed = !fmt_str(n->key, SVC_RESULT_KEY, NX_KEY_PKGS, p.comp, p.name);
    f.assigned = planned.assigned;
    f.self = s.self;
    f.script_ok = script_of(s, planned, n->script, n->why, &n->elsewhere);
    f.vers = p.vers;
    f.tsvc = s.tsvc;
    f.done_code = f.done_tries = f.done_wait = -1;
    // Two reads share the registry buffer: keep the version.
    if (f.keyed) {
        if (const char* dv = mreg.ReadStr(SVC_ROOT, n->key, SVC_RES_VERS)) {
            copy_str(n->done_vers, dv);
            f.done_vers = n->done_vers;
        }
        f.done_code = mreg.ReadNum(SVC_ROOT, n->key, SVC_RES_CODE);
        f.done_tries = mreg.ReadNum(SVC_ROOT, n->key, SVC_RES_TRIES);
        f.done_wait = mreg.ReadNum(SVC_ROOT, n->key, SVC_RES_WAIT);
    }
    n->step = svc_package_step(f);
}

// The result of a script that ran (or was ended) recorded: its outcome,
// the failures in a row and the restart it needs.
SvcPkgResult record_run(const Settings& s, const Next& n, SvcRun run, DWORD result, DWORD secs, int tries, Tally* t)
{
    const Package& p = n.planned->s;
    Shown path(p.path);
    SvcOutcome o = svc_outcome(run, result);
    record(n.key, p, o);
    // A stop is the service's doing, not the package's.
    if (run != RUN_STOPPED) {
        tries = o.installed ? 0 : tries + 1;
        record_tries(n.key, tries, svc_backoff(tries, s.tsvc));
    }
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

// A package whose script is to run: the platform's checks (the script is
// there as the share spells it, the Windows Installer is free, the files
// are as signed), then the script and its result. A package refused, or
// one whose script never started, changes no record.
SvcPkgResult run_package(const Settings& s, const Next& n, int tries, Tally* t)
{
    const Package& p = n.planned->s;
    Shown path(p.path);
    char why[NX_PATH * 2];
    if (n.planned->assigned ? !script_there(n.script, why) : !share_spelled(root_of(s), p, why))
        return refuse(path, why, t);
    if (installer_busy(p, nullptr, t)) return {PKG_WAITING, tries};
    char local[NX_PATH] = "";
    if (msign.on && !approved(n.script, local, path, t)) return {PKG_REFUSED, 0, STATUS_NOT_SIGNED};

    publish(&p);
    svc_log("Install (%s) GO ... %s\n", path.text, Shown(n.script).text);
    DWORD start = GetTickCount(), result = 0;
    SvcRun run = svc_launch(local[0] ? local : n.script, s.tmax, &result);
    if (local[0]) svc_sign_release(local);
    if (run == RUN_DONE && installer_busy(p, &result, t)) return {PKG_WAITING, tries};
    if (run == RUN_NOSTART) {
        // Nothing of the package ran: its records stay as they were.
        svc_log("Install (%s) did not start, failed: %lu\n", path.text, result);
        t->failed++;
        return {PKG_FAILED, tries};
    }
    return record_run(s, n, run, result, (GetTickCount() - start) / 1000, tries, t);
}

// One package the task came to: refused, skipped, waiting its turn, or run.
SvcPkgResult install(const Settings& s, const Next& n, Tally* t)
{
    const Package& p = n.planned->s;
    Shown path(p.path);
    switch (n.step) {
    case STEP_REFUSE_KEY: return refuse(path, "key too long", t);
    case STEP_REFUSE_SELF: return refuse(path, "not assigned, and self-service is off (self 0)", t);
    case STEP_REFUSE_SCRIPT: return refuse(path, n.why, t);
    default: break;
    }
    if (n.elsewhere)
        svc_log("Install (%s) not assigned; the list's path is not run, the share's is: %s\n", path.text,
                Shown(n.script).text);
    if (n.step == STEP_SKIP) {
        svc_log("Install (%s) SKIP ... installed already\n", path.text);
        t->skipped++;
        return {PKG_SKIPPED, 0};
    }
    const SvcPackageFacts& f = n.facts;
    SvcTries tr = svc_tries(f.done_vers, f.vers, f.done_tries, f.done_wait, f.tsvc);
    if (n.step == STEP_BACKOFF) {
        // Still failed while it waits for its next try.
        record_tries(n.key, tr.tries, tr.wait - 1);
        svc_log("Install (%s) WAIT ... failed %d times, next try in %d tasks\n", path.text, tr.tries, tr.wait);
        t->failed++;
        return {PKG_FAILED, tr.tries};
    }
    return run_package(s, n, tr.tries, t);
}

// Reads the whole list first, so that a console saving it meanwhile does
// not change the list under way.
ListRead read_chosen_list(const char* path, std::vector<Package>* list)
{
    ScopedFile f(fopen(path, "rb"));
    std::vector<SvcSection> lost;
    ListRead r = svc_read_list(f.get(), SVC_LIST_BYTES, SVC_LIST_SECTIONS, list, &lost);
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

// A file of the share's cfg folder, read whole with read(); the system
// error that left part of it unread, 0 when it was read through or is not
// there (not there: *found false).
template <class Read> DWORD read_cfg_file(const char* path, bool* found, Read read)
{
    // Signed: read from the cache copy whose hash matched.
    char local[NX_PATH] = "";
    if (msign.on) {
        if (DWORD e = svc_sign_fetch_cfg(&msign, path, local, found)) return e;
        if (!*found) return 0;
        path = local;
    }
    struct Drop {
        const char* p;
        ~Drop()
        {
            if (msign.on) DeleteFileA(p);
        }
    } drop{local};
    ScopedFile f(fopen(path, "rb"));
    *found = (bool)f;
    if (!f) {
        DWORD e = (DWORD)_doserrno;
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? 0 : (e ? e : (DWORD)ERROR_OPEN_FAILED);
    }
    TextInfo info;
    read(f.get(), &info);
    if (info.cut) return ERROR_FILE_TOO_LARGE;
    return ferror(f.get()) ? (DWORD)ERROR_READ_FAULT : 0;
}

// The device's assigned list, read from the share by its UNC path as
// pkg_find reads it (the assignment file, then each group file), into
// memory: never from a file a user can write. False, logged, when a file
// could not be read whole or the list is past the service's bounds: the
// task then has no assigned list.
bool read_assigned(const Settings& s, std::vector<Package>* out)
{
    out->clear();
    std::string root = root_of(s);
    char device[NX_PATH] = "", key[NX_PATH] = "", path[NX_PATH];
    DWORD n = GetEnvironmentVariableA("Computername", device, sizeof device);
    if (n == 0 || n >= sizeof device || make_device_key(key, sizeof key, device)) key[0] = 0;
    if (root.empty() || fmt_str(path, "%s\\" SHARE_CFG "\\" SHARE_ASSIGNMENT, root.c_str())) {
        svc_log("Assigned (%s) no share (uncp) set, failed: %d\n", s.ncfg.uncp, (int)ERROR_BAD_PATHNAME);
        return false;
    }
    std::vector<std::string> groups, lines;
    bool found;
    DWORD e = read_cfg_file(path, &found, [&](FILE* f, TextInfo* info) { read_assignments(f, key, groups, info); });
    if (e) {
        svc_log("Assigned (%s) failed: %lu\n", path, e);
        return false;
    }
    if (!found) svc_log("Assigned (%s) not there: no packages assigned\n", path);
    for (const std::string& g : groups) {
        if (has_not_held(g.c_str()) || fmt_str(path, "%s\\" SHARE_CFG "\\%s.ini", root.c_str(), g.c_str())) {
            svc_log("Assigned (%s) no group file for this name, skipped\n", SvcShown<NX_PATH>(g.c_str()).text);
            continue;
        }
        e = read_cfg_file(path, &found, [&](FILE* f, TextInfo* info) { read_group_lines(f, lines, info); });
        if (e) {
            svc_log("Assigned (%s) failed: %lu\n", path, e);
            return false;
        }
        if (!found) svc_log("Assigned (%s) not there, skipped\n", path);
    }
    bool fits = true;
    for_each_group_record(lines, [&](const ListReader& rd) {
        if (!fits) return;
        // A name the code page could not hold opens and runs nothing: never tried.
        if (rd.not_held()) {
            svc_log("Assigned (%s) not in code page %u, failed: %d\n", SvcShown<NX_PATH>(rd.path).text,
                    ansi_code_page().id, (int)ERROR_NO_UNICODE_TRANSLATION);
            return;
        }
        if (out->size() >= SVC_LIST_SECTIONS) {
            fits = false;
            return;
        }
        svc_append(out, rd);
    });
    if (!fits) {
        svc_log("Assigned (%s) more than %d packages, refused, failed: %d\n", root.c_str(), SVC_LIST_SECTIONS,
                (int)ERROR_FILE_TOO_LARGE);
        out->clear();
        return false;
    }
    svc_log("Assigned (%s) OK ... %d groups, %d packages\n", root.c_str(), (int)groups.size(), (int)out->size());
    return true;
}

// The device's status on the share, from the task's tally: every package
// of the list; those the task did not reach wait for a restart or the
// Windows Installer, or else were skipped (a stop, a lost share).
void report_status(const Settings& s, const std::vector<SvcPlanned>& list, const Tally& t, bool restart_pending)
{
    bool waits = restart_pending || t.restart_started || t.installer_busy || t.window_closed;
    DeviceStatus st;
    st.installed = t.installed;
    st.failed = t.failed + t.refused;
    st.skipped = t.skipped;
    st.waiting = t.waiting;
    st.restart = restart_pending || t.restart_needed || t.restart_started;
    const char* by = st.restart ? mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_BY) : nullptr;
    if (by && stamp_day(by) >= 0) st.restart_by = by;
    char opens[8];
    if (t.window_closed && !fmt_str(opens, "%02d:%02d", s.win_from / 60, s.win_from % 60)) st.window = opens;
    st.sign = msign.state;
    for (size_t i = 0; i < list.size() && i < STATUS_MAX_PACKAGES; i++) {
        StatusPackage p;
        p.comp = list[i].s.comp;
        p.name = list[i].s.name;
        p.vers = list[i].s.vers;
        p.path = list[i].s.path;
        p.state = waits ? PKG_WAITING : PKG_SKIPPED;
        if (i < t.results.size()) {
            // Skipped as installed already: installed.
            p.state = t.results[i].state == PKG_SKIPPED ? PKG_INSTALLED : t.results[i].state;
            p.runs = t.results[i].tries;
            p.code = t.results[i].code;
        }
        st.packages.push_back(p);
    }
    svc_write_status(s.ncfg, st);
}

// The share's manifest and signature, when "sign" is set: false when
// nothing may run this task.
bool signed_share(const Settings& s)
{
    return svc_sign_check(root_of(s).c_str(), s.sign, &msign);
}

// The list the console saved since the last task, read whole into
// *chosen: true when there is one. Else pkg_find writes the console's list
// and the report afresh. A list the service has not seen yet holds the
// user's choice. It is marked as seen before it is read, so a list that
// breaks a task is not taken again.
bool take_saved_list(const Library& lib, std::vector<Package>* chosen)
{
    char list_path[NX_PATH] = "";
    char list_name[] = SVC_LIST_FILE;
    lib.get_file(list_path, list_name);
    char now[32], seen[32] = "";
    list_time(list_path, now);
    if (const char* t = mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN)) copy_str(seen, t);
    bool saved = now[0] && strcmp(now, seen) != 0 && seen[0];
    if (saved) {
        mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN, now);
        ListRead r = read_chosen_list(list_path, chosen);
        log_read(list_path, r, chosen->size(), ", saved by the console");
        saved = r == LIST_READ;
    }
    if (!saved) {
        // The console's list and the report; what the service installs is
        // read from the share below, never back from that folder.
        if (int found = lib.pkg_find())
            svc_log("pkg_find () failed: %d\n", found);
        else
            svc_log("pkg_find () %d OK ...\n", found);
        list_time(list_path, now);
        mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_LIST_SEEN, now);
    }
    return saved;
}

// What the task installs: the assigned list from the share, with the
// user's choice where one was saved. Empty where the share cannot be made
// sure or its signature is not accepted.
void plan_task(const Settings& s, const SvcShare& share, int number, const std::vector<Package>* chosen,
               std::vector<SvcPlanned>* plan)
{
    char why[NX_PATH * 2];
    std::vector<Package> assigned;
    if (share.error) fmt_str(why, "the share refused the configured account (%lu)", share.error);
    if (share.error || !share_ready(s, why)) {
        svc_log("Share (%s) %s; nothing runs, failed: %d\n", s.ncfg.uncp, why, (int)ERROR_BAD_NETPATH);
        svc_event(NXEV_SHARE_UNREACHABLE, why);
        return;
    }
    if (!signed_share(s)) return;
    if (!read_assigned(s, &assigned))
        svc_log("Task (%d) no assigned list: %s\n", number,
                chosen ? "only the user's own choices that the share confirms run" : "nothing runs");
    size_t repeats = svc_plan(ansi_code_page().id, assigned, chosen, plan);
    if (repeats) svc_log("Task (%d) %d repeated packages, each runs once\n", number, (int)repeats);
    if (msign.on && !msign.ok) plan->clear();  // a cfg file not as signed
}

// The plan's packages in order, until a stop, a restart a package started,
// a busy Windows Installer, the window's end or the share's loss.
void install_plan(const Settings& s, const SvcShare& share, int number, const std::vector<SvcPlanned>& plan,
                  Tally* t)
{
    mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_WAITING);
    for (const SvcPlanned& p : plan) {
        if (svc_stopping() || t->restart_started || t->installer_busy) break;
        Next n;
        find_next(s, share, p, &n);
        if (n.step == STEP_WINDOW_CLOSED) {
            svc_log("Task (%d) WAIT ... outside the maintenance window %s; nothing more runs\n", number, s.mwin);
            t->window_closed = true;
            break;
        }
        if (n.step == STEP_SHARE_LOST) {
            svc_log("Share (%s) %s; the rest of the list waits, failed: %d\n", s.ncfg.uncp, n.share_why,
                    (int)ERROR_BAD_NETPATH);
            svc_event(NXEV_SHARE_UNREACHABLE, n.share_why);
            break;
        }
        t->results.push_back(install(s, n, t));
    }
    publish(nullptr);
}

// The task's end: its counts in the log and the Event Log, the status
// file, the console after new installs, the restart packages need.
void end_task(const Settings& s, int number, const SvcOptions& opts, const std::vector<SvcPlanned>& plan,
              const Tally& t, bool restart_pending)
{
    svc_log("Task (%d) OK ... %d installed, %d failed, %d skipped, %d waiting, %d refused\n", number, t.installed,
            t.failed, t.skipped, t.waiting, t.refused);
    char summary[128], task_no[16];
    fmt_str(task_no, "%d", number);
    fmt_str(summary, "%d installed, %d failed, %d skipped, %d waiting, %d refused", t.installed, t.failed, t.skipped,
            t.waiting, t.refused);
    svc_event(NXEV_TASK, task_no, summary);
    // A restart put off is recorded first, so the status file carries its deadline.
    bool deferred = t.restart_needed && svc_restart_defer(s.tdef, t.restart_started);
    report_status(s, plan, t, restart_pending);

    if (t.restart_started) {
        svc_log("Restart () MSG ... started by a package; the rest of the list waits\n");
        svc_restart_needed(s.tmsg, s.twrb, opts.norestart, true);
        return;
    }
    if (t.installed > 0 && !svc_stopping()) svc_start_console(opts.service);
    if (deferred)
        svc_restart_remind(s.tmsg, s.twrb, opts.norestart);
    else if (t.restart_needed)
        svc_restart_needed(s.tmsg, s.twrb, opts.norestart, false);
}

// One task. The settings it read stay in *s for the loop.
void task(const Library& lib, int number, const SvcOptions& opts, Settings* s)
{
    svc_log("Task (%d) GO ...\n", number);
    read_service_settings(lib, s);
    msign = SvcSign();
    std::vector<Package> chosen;
    bool saved = take_saved_list(lib, &chosen);

    // The scripts run by the share's UNC path (pkg_find cancels its own
    // connection). Where the share cannot be made sure, nothing runs and
    // nothing is recorded; while a restart is pending, a script would be
    // cut off by it.
    Tally t;
    std::vector<SvcPlanned> plan;
    bool restart_pending = svc_restart_pending(s->tmsg, s->twrb, opts.norestart);
    {
        SvcShare share(s->ncfg);
        plan_task(*s, share, number, saved ? &chosen : nullptr, &plan);
        if (!plan.empty() && !restart_pending) install_plan(*s, share, number, plan, &t);
    }
    end_task(*s, number, opts, plan, t, restart_pending);
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
    svc_sign_sweep();
    // A platform whose cmd.exe loses exit codes would record failures as
    // installed: then nothing is installed until it passes.
    if (!svc_platform_ready(lib.set_ncfg)) return ERROR_NOT_SUPPORTED;
    Settings s;
    for (int number = 1;; number++) {
        if (opts.service && !wait_for_installer()) break;
        task(lib, number, opts, &s);
        if (opts.once || s.stop == 1) break;
        if (WaitForSingleObject(mstop, (DWORD)s.tsvc * 1000) == WAIT_OBJECT_0) break;
    }
    return 0;
}
