// The installation service NXSvc: what its parts share.
#pragma once
#include <windows.h>
#include "strutil.h"

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

// Runs tasks until mstop is set, "stop" is 1, or after one task with
// opts.once. Returns 0 when the tasks ran, else a system error (the library
// could not be loaded).
DWORD svc_run(const SvcOptions& opts);

// What a task did, for the device's status file.
struct SvcCounts {
    int installed = 0, failed = 0, skipped = 0, waiting = 0;
    bool restart = false;  // a restart is pending
};
// Writes the device's status file to the share's status folder after a
// task; a folder that is missing or not writable costs one log line.
struct NCFG;
void svc_write_status(const NCFG& ncfg, const char* list_path, const SvcCounts& counts);

// After a task: the console in the user's session, the message before a
// restart, and the restart itself.
void svc_start_console(bool service);
void svc_restart(int tmsg, int twrb, bool norestart);

// True once mstop is set.
inline bool svc_stopping() { return WaitForSingleObject(mstop, 0) == WAIT_OBJECT_0; }
