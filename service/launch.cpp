// How the service runs one package's script on Windows: the native cmd.exe,
// the script by the share's UNC path in its own folder, inside a job object
// whose every process must end, and whether the Windows Installer is busy.
#include "svc.h"
#include "scoped.h"
#include "creg.h"
#include "osrules.h"
#include "rules.h"
#include "service_contract.h"
#include <winnetwk.h>

// Progress of the script under way; the worker thread alone writes it.
static CReg mreg;

static bool is_wow64()
{
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

// The cmd.exe of the native system folder: the 64-bit one on 64-bit Windows.
static bool native_cmd(char (&cmd_exe)[NX_PATH])
{
    char windir[NX_PATH], sysdir[NX_PATH];
    UINT w = GetSystemWindowsDirectoryA(windir, sizeof windir);
    UINT s = GetSystemDirectoryA(sysdir, sizeof sysdir);
    return w > 0 && w < sizeof windir && s > 0 && s < sizeof sysdir &&
           svc_cmd_path(cmd_exe, sizeof cmd_exe, windir, sysdir, is_wow64());
}

bool svc_installer_running()
{
    // The Windows Installer holds this mutex while it executes an install.
    ScopedHandle m(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\_MSIExecute"));
    return (bool)m;
}

SvcShare::SvcShare(const NCFG& ncfg)
{
    // With an account of its own the share is connected without a drive
    // letter: a service's letters are seen by every user session and
    // collide with the users' own. Without one, the computer's account
    // reaches it directly.
    remote[0] = 0;
    if (!ncfg.uncp[0] || !ncfg.user[0] || copy_str(remote, ncfg.uncp)) {
        remote[0] = 0;
        return;
    }
    for (size_t n = strlen(remote); n > 2 && remote[n - 1] == '\\'; n--) remote[n - 1] = 0;
    NETRESOURCEA nr = {};
    nr.dwType = RESOURCETYPE_DISK;
    nr.lpRemoteName = remote;
    DWORD r = WNetAddConnection2A(&nr, ncfg.pswd, ncfg.user, 0);
    if (r == NO_ERROR) {
        svc_log("WNetAddConnection (%s) OK ...\n", remote);
        return;
    }
    svc_log("WNetAddConnection (%s) failed: %lu\n", remote, r);
    remote[0] = 0;
}

SvcShare::~SvcShare()
{
    if (!remote[0]) return;
    DWORD r = WNetCancelConnection2A(remote, 0, TRUE);
    if (r == NO_ERROR)
        svc_log("WNetCancelConnection (%s) OK ...\n", remote);
    else
        svc_log("WNetCancelConnection (%s) failed: %lu\n", remote, r);
}

// The drive letters connected to a share, as "XY". pushd maps one for a
// script and popd removes it, but not when the script is ended or leaves
// cmd through "exit": a service's letter would stay, seen by every user.
static void letters_of(const char* share, char (&out)[27])
{
    out[0] = 0;
    HANDLE e;
    if (!share[0] || WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, &e) != NO_ERROR) return;
    size_t n = 0;
    alignas(NETRESOURCEA) char buf[16384];
    for (;;) {
        DWORD count = (DWORD)-1, size = sizeof buf;
        if (WNetEnumResourceA(e, &count, buf, &size) != NO_ERROR) break;
        const NETRESOURCEA* r = (const NETRESOURCEA*)buf;
        for (DWORD i = 0; i < count && n < 26; i++)
            if (r[i].lpLocalName && r[i].lpLocalName[0] && r[i].lpRemoteName && _stricmp(r[i].lpRemoteName, share) == 0)
                out[n++] = r[i].lpLocalName[0];
    }
    out[n] = 0;
    WNetCloseEnum(e);
}

static void drop_new_letters(const char* share, const char* before)
{
    char after[27];
    letters_of(share, after);
    for (const char* l = after; *l; l++) {
        if (strchr(before, *l)) continue;
        char drive[3] = {*l, ':', 0};
        DWORD r = WNetCancelConnection2A(drive, 0, TRUE);
        if (r == NO_ERROR)
            svc_log("WNetCancelConnection (%s) OK ... left by the script\n", drive);
        else
            svc_log("WNetCancelConnection (%s) failed: %lu\n", drive, r);
    }
}

// The job's processes, or -1 when it cannot be asked.
static long active_processes(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION a = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &a, sizeof a, nullptr)) return -1;
    return (long)a.ActiveProcesses;
}

// Runs the script hidden; it counts as done when every process of its job
// has ended, so a bootstrapper that starts its installer and returns is
// waited for. A time-out or a stop ends the whole job. Work handed to other
// services (msiexec to the Windows Installer service) is not in the job.
SvcRun svc_launch(const char* script, int tmax, DWORD* result)
{
    char cmd_exe[NX_PATH], cmdline[3 * NX_PATH + 64], startdir[NX_PATH];
    UINT sn = GetSystemDirectoryA(startdir, sizeof startdir);
    if (sn == 0 || sn >= sizeof startdir || !native_cmd(cmd_exe) ||
        !svc_command_line(cmdline, sizeof cmdline, cmd_exe, script)) {
        *result = ERROR_BAD_PATHNAME;
        svc_log("CommandLine (%s) failed: %lu\n", script, *result);
        return RUN_NOSTART;
    }
    char share[NX_PATH] = "", before[27] = "";
    if (svc_unc_share(share, sizeof share, script)) letters_of(share, before);
    ScopedHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job) {
        *result = GetLastError();
        svc_log("CreateJobObject (%s) failed: %lu\n", script, *result);
        return RUN_NOSTART;
    }
    ScopedHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION lim = {};
    lim.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &lim, sizeof lim);
    if (port) {
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT acp = {job.get(), port.get()};
        if (!SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &acp, sizeof acp))
            port.reset();
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    // Started suspended and put in the job before it runs, so nothing it
    // starts escapes.
    if (!CreateProcessA(cmd_exe, cmdline, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                        startdir, &si, &pi)) {
        *result = GetLastError();
        svc_log("CreateProcess (%s) failed: %lu\n", cmdline, *result);
        return RUN_NOSTART;
    }
    ScopedHandle process(pi.hProcess), thread(pi.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        *result = GetLastError();
        svc_log("AssignProcessToJobObject (%s) failed: %lu\n", script, *result);
        TerminateProcess(process.get(), *result);
        return RUN_NOSTART;
    }
    ResumeThread(thread.get());
    thread.reset();

    SvcRun run = RUN_TIMEOUT;
    DWORD start = GetTickCount();
    int shown = -1;
    char info[64];
    for (;;) {
        int secs = (int)((GetTickCount() - start) / 1000);
        if (secs >= tmax) break;
        if (secs != shown) {
            shown = secs;
            fmt_str(info, "installing ... %d s", secs);
            mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO, info);
        }
        // The job says when its last process has ended; the count is asked
        // as well, since the platform does not promise every message.
        DWORD msg = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* ov = nullptr;
        bool zero = false;
        if (port)
            zero = GetQueuedCompletionStatus(port.get(), &msg, &key, &ov, 1000) && key == (ULONG_PTR)job.get() &&
                   msg == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO;
        else
            WaitForSingleObject(mstop, 1000);
        if (zero || active_processes(job.get()) == 0) {
            run = RUN_DONE;
            break;
        }
        if (svc_stopping()) {
            run = RUN_STOPPED;
            break;
        }
    }
    if (run == RUN_DONE) {
        GetExitCodeProcess(process.get(), result);
    } else {
        *result = run == RUN_STOPPED ? SVC_ERR_STOPPED : SVC_ERR_TIMEOUT;
        TerminateJobObject(job.get(), *result);
        WaitForSingleObject(process.get(), 5000);
    }
    // Closing the job ends anything the script left behind, before its
    // drive letters go.
    process.reset();
    port.reset();
    job.reset();
    drop_new_letters(share, before);
    return run;
}
