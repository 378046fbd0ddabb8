// The service's rules for the Windows it runs on, as plain functions: which
// cmd.exe runs a script, the script by the share's UNC path and its command
// line, what an installer busy elsewhere means, when a pending restart is
// tried again, and which sessions hear of it. No Win32 here, so the rules
// also build and run natively.
#pragma once
#include "winerr.h"
#include <stddef.h>

// The cmd.exe of the native system folder. A 32-bit service on 64-bit
// Windows (wow64) is redirected from System32 to SysWOW64; "Sysnative"
// names the 64-bit System32 for it, so scripts see Program Files, the
// 64-bit registry and the 64-bit tools. windir is the Windows folder,
// sysdir the system folder as the process sees it. False when it does not
// fit n.
bool svc_cmd_path(char* out, size_t n, const char* windir, const char* sysdir, bool wow64);

// The script by the share's UNC path: "<ndrv>\pkg\..." becomes
// "<uncp>\pkg\..."; a path already under uncp, or any path while uncp or
// ndrv is not set, stays as it is. False when the result does not fit n.
bool svc_unc_script(char* out, size_t n, const char* path, const char* ndrv, const char* uncp);

// The share of a UNC path, "\\server\share" of "\\server\share\pkg\...":
// what pushd connects. False for a path that names no share or does not
// fit n.
bool svc_unc_share(char* out, size_t n, const char* path);

// The line that runs a script in its own folder:
//   "<cmd>" /d /e:on /v:on /s /c "pushd "<folder>" && ".\<file>" & exit !errorlevel!"
// Windows' cmd /c ends with the exit code of the last command it ran, not
// with ERRORLEVEL (Microsoft's "exit /?": "If quitting CMD.EXE, sets the
// process exit code with that number"; published cases: cmd /c
// "bug.cmd&echo !errorlevel!" prints 1 and exits 0, and "t.cmd && echo"
// runs after "exit /b 123"): a trailing "popd" would turn every failure
// into 0. So the last command is "exit" with the script's ERRORLEVEL,
// expanded when it runs (/v:on; "%errorlevel%" would be read before the
// script ran). "call" would do on Windows but loses the code under Wine.
// The script is named ".\<file>": where NoDefaultCurrentDirectoryInExePath
// is set, cmd looks a bare name up on PATH only. pushd gives a UNC folder
// a drive letter for this cmd (cmd cannot start in a UNC folder); the
// caller removes what is left. /d: no AutoRun commands; /e:on: pushd maps
// UNC folders only with extensions on. The script runs with delayed
// expansion on. False when the script holds a character quoting cannot
// keep ('"', '%', '!', control characters), has no folder, or the line
// does not fit n.
bool svc_command_line(char* out, size_t n, const char* cmd_exe, const char* script);

// A script that ends ERROR_INSTALL_ALREADY_RUNNING met the Windows
// Installer busy with another install: the package waits for the next
// task, it has not failed.
enum { SVC_ERR_INSTALLER_BUSY = NX_ERR_INSTALL_ALREADY_RUNNING };
inline bool svc_installer_busy(unsigned long exit_code) { return exit_code == SVC_ERR_INSTALLER_BUSY; }

// A restart that a package needs is kept until it has happened. Times are
// seconds on one clock (since 1601, UTC).
//   requested  when it was found needed (the task that saw 3010 or 1641)
//   accepted   when the platform took the request; 0: not yet
//   boot       when the running system started
//   now, twrb  the clock and the grace time before the restart
enum RestartStep {
    RESTART_DONE,   // the system started since it was requested: forget it
    RESTART_WAIT,   // accepted and still within its grace: packages wait
    RESTART_TRY,    // ask the platform (again): packages wait
};
RestartStep svc_restart_step(long long requested, long long accepted, long long boot, long long now, int twrb);

// The platform's answer to a restart request: 0 or a restart already under
// way (NX_ERR_SHUTDOWN_IN_PROGRESS, NX_ERR_SHUTDOWN_IS_SCHEDULED)
// counts as accepted; everything else (21 ERROR_NOT_READY at boot with
// nobody logged on, 1187 ...) is tried again at the next task.
bool svc_restart_accepted(unsigned long error);

// The restart message goes to each session where a user works: active
// (at the console, over RDP) and not session 0, where services run.
// state is the platform's WTS_CONNECTSTATE_CLASS value (0 active).
inline bool svc_message_session(unsigned long id, int state) { return id != 0 && state == 0; }

// The restart-pending value as kept in the registry: "<requested>
// <accepted>" in seconds; false for a text that is not two numbers.
bool svc_restart_parse(const char* text, long long* requested, long long* accepted);

// What a script writes is kept in the log folder, its newest bytes up to
// this bound.
enum { SVC_OUTPUT_BYTES = 256 * 1024 };
// The file name of a script's output: "script-<manufacturer>-<name>-
// <version>.log" from the last three folders of its path (fewer where it
// has fewer), characters other than letters, digits, "-", "_" and "."
// made "_". False when it does not fit n or the path has no folder.
bool svc_output_name(char* out, size_t n, const char* script);

// True when svc_command_line can carry the script path's characters.
bool svc_script_quotable(const char* script);

// The maintenance window "mwin": "HH:MM-HH:MM", local time, the end
// excluded; a start after the end crosses midnight, equal times are the
// whole day. False for anything else (one digit hours, "24:00", blanks).
// Minutes of the day in *from and *to.
bool svc_window_parse(const char* text, int* from, int* to);
// True when minute (0 .. 1439, local time) lies in the window.
bool svc_window_open(int from, int to, int minute);

// "tdef", hours a restart may be put off: the value as read (-1 absent, as
// the console writes an untouched field) gives 0, the old behaviour;
// anything above SVC_TDEF_MAX hours is cut to it.
enum { SVC_TDEF_MAX = 30 * 24 };
int svc_defer_hours(int value);

// While a restart is put off, the users are asked again after an interval
// that shrinks as the deadline nears: every 4 hours while more than a day
// is left, hourly while more than 4 hours are, then every 15 minutes;
// never later than the deadline. Seconds.
long long svc_remind_after(long long left);

// A restart put off until deadline; next is when the users are asked
// again, seen the latest clock reading so far (seconds since 1601, UTC).
struct SvcDefer {
    long long deadline, next, seen;
};
enum DeferStep {
    DEFER_WAIT,   // nothing to do before next
    DEFER_ASK,    // ask the users again
    DEFER_FORCE,  // the deadline has come: the last message, then the restart
};
// The step at now. A clock set back moves deadline and next back by as
// much, so it never buys time; seen follows the clock.
DeferStep svc_defer_step(SvcDefer* d, long long now);
// The deferral as kept in the registry: "<deadline> <next> <seen>"; false
// for a text that is not three positive numbers.
bool svc_defer_parse(const char* text, SvcDefer* d);
