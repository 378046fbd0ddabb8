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
//   "<cmd>" /d /e:on /s /c "pushd "<folder>" && "<file>" & popd"
// pushd gives a UNC folder a drive letter for this cmd alone (cmd cannot
// start in a UNC folder), and popd removes it; popd keeps the script's exit
// code. The script runs without "call": a script started from the command
// line returns to it all the same, and Wine's cmd loses the exit code of a
// called script ("exit /b 3010" comes back as 1). /d: no AutoRun commands;
// /e:on: pushd maps UNC folders only with extensions on. False when the
// script holds a character quoting cannot keep ('"', '%', control
// characters), has no folder, or the line does not fit n.
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
// way (1115 ERROR_SHUTDOWN_IN_PROGRESS, 1190 ERROR_SHUTDOWN_IS_SCHEDULED)
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
