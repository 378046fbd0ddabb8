// The installation service NXSvc: what its parts share.
#pragma once
#include <windows.h>
#include "ncfg.h"
#include "svcrules.h"
#include "status.h"
#include "strutil.h"
#include "svcmsg.h"
#include <string>
#include <vector>

// How the program runs: as a service, or in the foreground for an
// administrator (/run, /once).
struct SvcOptions {
    bool service = false;    // started by the service control manager
    bool once = false;       // exactly one task
    bool norestart = false;  // log a restart instead of performing it
};

// Program-wide state of the service.
extern char mfolder[NX_PATH];  // the program's own folder, no trailing "\"
extern HANDLE mstop;           // set when the service is asked to stop

// The log: "nxsvc.log" in the program's folder (else in "TEMP"), appended
// across runs, moved to "nxsvc.old" when it reaches its size bound.
void svc_log_open();
void svc_log_close();
NX_PRINTF(1, 2) void svc_log(const char* fmt, ...);
// The folder the log went to, where each script's output is kept too.
const char* svc_log_folder();

// The Application log (eventlog.cpp): ids from svcmsg.h with up to two
// insertion strings. A write that fails costs one log line per run.
void svc_event_open();
void svc_event_close();
void svc_event(DWORD id, const char* s1 = nullptr, const char* s2 = nullptr);
// The event source with the message table of exe, for /install; gone with
// /uninstall.
bool svc_event_register(const char* exe);
void svc_event_unregister();

// Runs tasks until mstop is set, "stop" is 1, or after one task with
// opts.once. Returns 0 when the tasks ran, else a system error (the library
// could not be loaded).
DWORD svc_run(const SvcOptions& opts);

// Writes the device's status file to the share's status folder after a
// task: s holds the task's counts, the restart flag and the list's packages
// with their states in this task (a package the task did not reach:
// skipped); the rest comes from the install results here. A folder that is
// missing or not writable costs one log line. After a stop it is written
// within SVC_STOP_WRITE_MS, else left for the next task.
enum { SVC_STOP_WRITE_MS = 5000 };
void svc_write_status(const NCFG& ncfg, DeviceStatus& s);

// The sessions where a user works (active, not session 0); where the
// platform lists none (Wine), the console's.
std::vector<DWORD> svc_user_sessions();
// After a task: the console in the user's session.
void svc_start_console(bool service);

// Running a script (launch.cpp): by the share's UNC path, with the native
// cmd.exe; its result is cmd's exit code, and what it leaves running is
// ended at tmax seconds.
SvcRun svc_launch(const char* script, int tmax, DWORD* result);
struct SvcLaunch {
    int tmax = SVC_TMAX;
    bool publish = true;      // progress in the registry, as for a package
    bool keep_output = true;  // the script's output in the log folder
    DWORD result = 0;         // cmd's exit code, or the system error
    long ended = 0;           // processes it left running, ended at tmax
};
SvcRun svc_launch_ex(const char* script, SvcLaunch& l);
// The drive letters connected to a share, as "XY".
void svc_share_letters(const char* share, char (&out)[27]);
// True while the Windows Installer executes an install (any caller's).
bool svc_installer_running();
// The share connected with the configured account, without a drive
// letter, for one task; nothing when no account is set.
struct SvcShare {
    char remote[NX_PATH];
    // The system error when the account was refused: the share is then not
    // used at all, rather than reached as the computer's account.
    unsigned long error;
    explicit SvcShare(const NCFG& ncfg);
    ~SvcShare();
};

// A restart that packages need (restart.cpp), kept in the registry value
// SVC_RESTART_PENDING until the system has started again. At the end of a
// task: started is true when a package restarts the machine itself;
// norestart only logs it.
void svc_restart_needed(int tmsg, int twrb, bool norestart, bool started);
// At the start of a task: true while packages must wait for a restart,
// which is asked for again when the platform has not taken it yet.
bool svc_restart_pending(int tmsg, int twrb, bool norestart);

// With "tdef" hours (svc_defer_hours) and a user logged on, a restart
// packages need is put off: the pending restart is kept, its deadline
// recorded (SVC_RESTART_DEFER, SVC_RESTART_BY); false when it is not put
// off (svc_restart_needed then asks for it as before). svc_restart_remind,
// and svc_restart_pending at each task, ask the users when it is time and
// restart at the deadline.
bool svc_restart_defer(int tdef, bool started);
void svc_restart_remind(int tmsg, int twrb, bool norestart);

// What became of one package of the list in a task, for whatever reports
// on the task: its state (status.h; PKG_SKIPPED here: installed already)
// and its failed attempts in a row ("tries").
typedef PkgState SvcPkgState;
struct SvcPkgResult {
    SvcPkgState state;
    int tries;
    long long code = 0;  // STATUS_NOT_SIGNED: refused as not the signed files
};

// The platform check (check.cpp): the launch path on probe scripts, one
// row per probe. full adds the rows beyond the exit codes (bitness, the
// share, a process left running). False when a row failed; *failed then
// names the first.
struct SvcCheckRow {
    std::string what, expected, observed;
    bool ok, run;  // run: false for a row that could not be run (no share)
};
bool svc_check(bool full, const NCFG* ncfg, std::vector<SvcCheckRow>* rows, std::string* failed);
// The exit-code rows at the service's start: false (logged, in the Event
// Log and in the device's status file) when one failed.
bool svc_platform_ready(int(__cdecl* set_ncfg)(NCFG*));

// Signed shares (sign.cpp), with "sign" set. The task's verdict on the
// share's manifest; state is what the status file says.
#include "manifest.h"
struct SvcSign {
    bool on = false;  // "sign" set: only approved bytes run
    bool ok = false;  // the manifest was accepted and nothing failed since
    std::string root, state;
    Manifest manifest;
};
// Every task: the manifest and its signature checked against "sign"
// (setting) and the sequence accepted before. False (logged, in the Event
// Log, in state) when nothing may run; true when accepted or unsigned.
bool svc_sign_check(const char* root, const char* setting, SvcSign* sg);
// A file of the share's cfg folder copied into the cache, read from local
// when its hash matches. 0, *found false: not there and not listed. Else
// the system error (logged; sg->ok cleared).
DWORD svc_sign_fetch_cfg(SvcSign* sg, const char* path, char (&local)[NX_PATH], bool* found);
// A package's folder copied into the cache; local is the script there.
// False, with why and the error, when a file is not as the manifest says.
bool svc_sign_fetch_package(const SvcSign& sg, const char* script, char (&local)[NX_PATH], std::string* why,
                            DWORD* err);
// The cache folder of a package, after its run.
void svc_sign_release(const char* local);
// At the start: a cache left by a run that did not end is removed.
void svc_sign_sweep();
// nxsvc /sign (signshare.cpp): the share's manifest and signature written
// with the store's certificate of that thumbprint. 0 when written.
int svc_sign_share(const char* share, const char* thumbprint);

// True once mstop is set.
inline bool svc_stopping() { return WaitForSingleObject(mstop, 0) == WAIT_OBJECT_0; }
