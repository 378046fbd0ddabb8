// How the service runs one package's script on Windows: the native cmd.exe,
// the script by the share's UNC path in its own folder, inside a job object
// whose leftovers are ended at tmax, its output kept; whether the Windows
// Installer is busy; the share connected with the configured account.
#include "svc.h"
#include "sharelayout.h"
#include "textenc.h"
#include "scoped.h"
#include "creg.h"
#include "osrules.h"
#include "svcrules.h"
#include "service_contract.h"
#include "safefile.h"
#include "svcmsg.h"
#include <sddl.h>
#include <winnetwk.h>
#include <string>

// Progress of the script under way; the worker thread alone writes it.
static CReg mreg;
// A refused share login reaches the Event Log once per run.
static bool mlogin_told;
// The log folder could not take a script's output: said once per run.
static bool moutput_told;

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
    // The Windows Installer owns this mutex while it executes an install;
    // anyone may hold a handle to it, so that it merely exists says
    // nothing. Taken without waiting: free (given back at once); a
    // time-out: busy.
    ScopedHandle m(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "Global\\_MSIExecute"));
    if (!m && GetLastError() == ERROR_ACCESS_DENIED) m.reset(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\_MSIExecute"));
    if (!m) return false;
    DWORD w = WaitForSingleObject(m.get(), 0);
    if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) {
        ScopedMutexOwner given_back(m.get());
        return false;
    }
    return w == WAIT_TIMEOUT;
}

SvcShare::SvcShare(const NCFG& ncfg)
{
    // With an account of its own the share is connected without a drive
    // letter: a service's letters are seen by every user session and
    // collide with the users' own. Without one, the computer's account
    // reaches it directly.
    remote[0] = 0;
    error = 0;
    if (!ncfg.user[0] || copy_str(remote, share_root(ansi_code_page().id, ncfg.uncp).c_str()) || !remote[0]) {
        remote[0] = 0;
        return;
    }
    NETRESOURCEA nr = {};
    nr.dwType = RESOURCETYPE_DISK;
    nr.lpRemoteName = remote;
    DWORD r = WNetAddConnection2A(&nr, ncfg.pswd, ncfg.user, 0);
    if (r == NO_ERROR) {
        svc_log("WNetAddConnection (%s) OK ...\n", remote);
        return;
    }
    // Not the computer's account instead: what the share then refuses
    // (5) would hide the cause.
    error = r;
    char why[NX_PATH];
    if (r == ERROR_SESSION_CREDENTIAL_CONFLICT)
        fmt_str(why, "%lu, this computer holds another account's connection to that server; reach it by another "
                "name, such as its full DNS name, in uncp", r);
    else
        fmt_str(why, "%lu", r);
    svc_log("WNetAddConnection (%s) as %s failed: %s\n", remote, ncfg.user, why);
    if (!mlogin_told) svc_event(NXEV_SHARE_LOGIN, remote, why);
    mlogin_told = true;
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
// script, and cmd ends through "exit" (or is ended) without a popd: a
// service's letter would stay, seen by every user.
void svc_share_letters(const char* share, char (&out)[27])
{
    out[0] = 0;
    ScopedNetEnum e;
    if (!share[0] || WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, e.put()) != NO_ERROR) return;
    size_t n = 0;
    alignas(NETRESOURCEA) char buf[16384];
    for (;;) {
        DWORD count = (DWORD)-1, size = sizeof buf;
        if (WNetEnumResourceA(e.get(), &count, buf, &size) != NO_ERROR) break;
        const NETRESOURCEA* r = (const NETRESOURCEA*)buf;
        for (DWORD i = 0; i < count && n < 26; i++)
            if (r[i].lpLocalName && r[i].lpLocalName[0] && r[i].lpRemoteName && _stricmp(r[i].lpRemoteName, share) == 0)
                out[n++] = r[i].lpLocalName[0];
    }
    out[n] = 0;
}

static void drop_new_letters(const char* share, const char* before)
{
    char after[27];
    svc_share_letters(share, after);
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

// The job's processes the script started: its console's host (conhost,
// which the platform puts in the job with it) is not one of them. Counted
// as the job's active processes less the hosts found in its list, since
// the list may lag behind the count (seen under Wine).
static long script_processes(HANDLE job)
{
    long active = active_processes(job);
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[255];
    } ids = {};
    ids.list.NumberOfAssignedProcesses = 256;
    if (active <= 0 || !QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return active;
    long hosts = 0;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; i++) {
        ScopedHandle p(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, (DWORD)ids.list.ProcessIdList[i]));
        char image[NX_PATH];
        DWORD size = sizeof image;
        const char* base = p && QueryFullProcessImageNameA(p.get(), 0, image, &size) ? strrchr(image, '\\') : nullptr;
        if (base && _stricmp(base + 1, "conhost.exe") == 0) hosts++;
    }
    return active > hosts ? active - hosts : 0;
}

namespace {

// What the script writes (stdout and stderr, one pipe), read through the
// job's completion port; the newest SVC_OUTPUT_BYTES are kept.
enum { kOutputKey = 1 };
struct Output {
    ScopedHandle pipe;
    OVERLAPPED ov = {};
    bool pending = false, ended = false;
    char buf[4096];
    std::string tail;
    unsigned long long total = 0;

    void keep(DWORD n)
    {
        total += n;
        tail.append(buf, n);
        if (tail.size() > 2 * (size_t)SVC_OUTPUT_BYTES) tail.erase(0, tail.size() - SVC_OUTPUT_BYTES);
    }
    void read()
    {
        pending = false;
        if (ended) return;
        if (ReadFile(pipe.get(), buf, sizeof buf, nullptr, &ov) || GetLastError() == ERROR_IO_PENDING)
            pending = true;  // the port brings the result either way
        else
            ended = true;
    }
    // One message of the port for the pipe.
    void done(bool ok, DWORD n)
    {
        pending = false;
        if (ok && n) keep(n);
        if (ok)
            read();
        else
            ended = true;
    }
};

// The pipe the script writes to: the service's end, overlapped, and the
// script's end, inheritable. Nothing when it cannot be made.
bool make_pipe(Output& out, HANDLE port, ScopedHandle& child_end)
{
    static LONG count;
    char name[80];
    fmt_str(name, "\\\\.\\pipe\\nxsvc-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&count));
    // Only SYSTEM and Administrators may open it: nobody else can write
    // into a script's log.
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &sd,
                                                              nullptr))
        return false;
    SECURITY_ATTRIBUTES psa = {sizeof psa, sd, FALSE};
    out.pipe.reset(CreateNamedPipeA(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, &psa));
    LocalFree(sd);
    // Invalid counts as none: the pipe is either held or empty.
    if (!out.pipe) {
        out.pipe.reset();
        return false;
    }
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    child_end.reset(CreateFileA(name, GENERIC_WRITE, 0, &sa, OPEN_EXISTING, 0, nullptr));
    if (!child_end || !CreateIoCompletionPort(out.pipe.get(), port, kOutputKey, 0)) {
        out.pipe.reset();
        return false;
    }
    return true;
}

// The output into "<log folder>\<name>", cut at the front when it grew
// past the bound, and the service log naming it.
void save_output(const Output& out, const char* script)
{
    char name[NX_PATH], path[NX_PATH];
    if (!svc_log_folder()[0] || !svc_output_name(name, sizeof name, script) ||
        fmt_str(path, "%s\\%s", svc_log_folder(), name))
        return;
    ScopedFile f(open_unlinked(path, "wb"));
    if (!f) {
        if (!moutput_told) svc_log("Output (%s) failed: %lu; scripts' output is not kept\n", path, GetLastError());
        moutput_told = true;
        return;
    }
    size_t n = out.tail.size() > (size_t)SVC_OUTPUT_BYTES ? (size_t)SVC_OUTPUT_BYTES : out.tail.size();
    bool cut = out.total > n;
    if (cut)
        fprintf(f.get(), "[cut: the script wrote %llu bytes, the newest %u are kept]\r\n", out.total, (unsigned)n);
    fwrite(out.tail.data() + out.tail.size() - n, 1, n, f.get());
    bool ok = !ferror(f.get());
    // The last write can fail at the close only.
    if (!f.close()) ok = false;
    if (!ok)
        svc_log("Output (%s) failed: %lu\n", path, GetLastError());
    else if (cut)
        svc_log("Output (%s) OK ... %llu bytes, cut to the newest %u\n", path, out.total, (unsigned)n);
    else
        svc_log("Output (%s) OK ... %llu bytes\n", path, out.total);
}

// One message of the port, or false after wait_ms without one. A job's
// message sets *job_msg; the pipe's are handled here.
bool port_message(HANDLE port, HANDLE job, Output& out, DWORD wait_ms, DWORD* job_msg)
{
    DWORD n = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* ov = nullptr;
    BOOL ok = GetQueuedCompletionStatus(port, &n, &key, &ov, wait_ms);
    if (!ok && !ov) return false;
    if (key == kOutputKey && ov == &out.ov)
        out.done(ok != FALSE, n);
    else if (key == (ULONG_PTR)job)
        *job_msg = n;
    return true;
}

// The job the script runs in, which ends what is left in it when closed,
// with its completion port where the platform gives one (the port is then
// empty).
ScopedHandle make_job(ScopedHandle& port)
{
    ScopedHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job) return job;
    port.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION lim = {};
    lim.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &lim, sizeof lim);
    if (port) {
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT acp = {job.get(), port.get()};
        if (!SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &acp, sizeof acp))
            port.reset();
    }
    return job;
}

// cmd started hidden with the script, its output into out's pipe where
// there is a port. Started suspended and put in the job before it runs, so
// nothing it starts escapes unless it asks to. Empty, with the error in
// l.result (logged), when it could not be.
ScopedHandle start_in_job(const char* cmd_exe, char* cmdline, const char* startdir, const char* script,
                          HANDLE job, HANDLE port, Output& out, SvcLaunch& l)
{
    ScopedHandle child_out, child_in;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    if (port && make_pipe(out, port, child_out)) {
        child_in.reset(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr));
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdInput = child_in.get();
        si.hStdOutput = si.hStdError = child_out.get();
    }
    PROCESS_INFORMATION pi = {};
    BOOL started;
    for (int attempts = 1;; attempts++) {
        started = CreateProcessA(cmd_exe, cmdline, nullptr, nullptr, (si.dwFlags & STARTF_USESTDHANDLES) != 0,
                                 CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, startdir, &si, &pi);
        l.result = started ? 0 : GetLastError();
        if (started || !svc_start_again(l.result, attempts)) break;
        svc_log("CreateProcess (%s) MSG ... failed: %lu; started again in %d ms\n", cmdline, l.result,
                SVC_START_PAUSE_MS);
        if (WaitForSingleObject(mstop, SVC_START_PAUSE_MS) == WAIT_OBJECT_0) break;
    }
    // The script's ends are its own now: the pipe ends when it and its
    // children have closed theirs.
    child_out.reset();
    child_in.reset();
    if (!started) {
        svc_log("CreateProcess (%s) failed: %lu\n", cmdline, l.result);
        return ScopedHandle();
    }
    ScopedHandle process(pi.hProcess), thread(pi.hThread);
    if (!AssignProcessToJobObject(job, process.get())) {
        l.result = GetLastError();
        svc_log("AssignProcessToJobObject (%s) failed: %lu\n", script, l.result);
        TerminateProcess(process.get(), l.result);
        return ScopedHandle();
    }
    ResumeThread(thread.get());
    return process;
}

// Waits until cmd and all it left in the job have ended, tmax has passed
// or the service stops; cmd's exit code goes to l.result once it has ended.
SvcRun wait_for_job(HANDLE job, HANDLE port, HANDLE process, Output& out, SvcLaunch& l)
{
    DWORD start = GetTickCount();
    int shown = -1;
    bool cmd_ended = false;
    char info[64];
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        int secs = (int)(elapsed / 1000);
        if (!cmd_ended && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            cmd_ended = true;
            GetExitCodeProcess(process, &l.result);
        }
        // The job says when its last process has ended; the count is asked
        // as well, since the platform does not promise every message.
        if (cmd_ended && active_processes(job) == 0) return RUN_DONE;
        if (svc_stopping()) return cmd_ended ? RUN_DONE : RUN_STOPPED;
        if (secs >= l.tmax) return cmd_ended ? RUN_DONE : RUN_TIMEOUT;
        if (secs != shown && l.publish) {
            shown = secs;
            fmt_str(info, "installing ... %d s", secs);
            mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO, info);
        }
        // While the output flows, the port wakes the loop; once it has
        // ended (cmd's end closes it), cmd's own end does, at once.
        DWORD wait = 1000 - elapsed % 1000, msg = 0;
        // What cmd leaves is asked for often: the platform may not say
        // when the last of it ends (Wine does not).
        if (cmd_ended && wait > 25) wait = 25;
        HANDLE hs[2] = {mstop, process};
        if (port && (cmd_ended || (out.pipe && !out.ended)))
            port_message(port, job, out, wait, &msg);
        else
            WaitForMultipleObjects(cmd_ended ? 1 : 2, hs, FALSE, wait);
    }
}

// After cmd's end, what it left in the job is ended; cmd itself past tmax
// or at a stop ends with the job, its result the service's error.
void end_job(SvcRun run, HANDLE job, HANDLE process, const char* script, SvcLaunch& l)
{
    if (run == RUN_DONE) {
        long left = script_processes(job);
        if (active_processes(job) > 0) {
            TerminateJobObject(job, SVC_ERR_TIMEOUT);
            l.ended = left;
            svc_log("Script (%s) MSG ... ended %ld processes the script left running\n", script, left);
        }
        return;
    }
    l.result = run == RUN_STOPPED ? SVC_ERR_STOPPED : SVC_ERR_TIMEOUT;
    TerminateJobObject(job, l.result);
    WaitForSingleObject(process, 5000);
}

// What is still to read: a process that left the job may hold the pipe
// open, so the read is given up after a moment.
void drain_output(HANDLE port, HANDLE job, Output& out)
{
    DWORD msg;
    for (DWORD until = GetTickCount() + 1000; out.pending && (int)(until - GetTickCount()) > 0;)
        port_message(port, job, out, until - GetTickCount(), &msg);
    if (!out.pending) return;
    CancelIoEx(out.pipe.get(), &out.ov);
    for (DWORD until = GetTickCount() + 2000; out.pending && (int)(until - GetTickCount()) > 0;)
        port_message(port, job, out, until - GetTickCount(), &msg);
}

}  // namespace

// Runs the script hidden. Its result is cmd's exit code once cmd has
// ended; what it started and left in the job (an application an installer
// opens, a tray icon, an updater) is waited for until tmax seconds from
// the start, then ended. A process that asks to leave the job may
// (CREATE_BREAKAWAY_FROM_JOB). cmd itself past tmax, or a stop, ends the
// whole job. Work handed to other services (msiexec to the Windows
// Installer service) is not in the job.
SvcRun svc_launch_ex(const char* script, SvcLaunch& l)
{
    l.result = 0;
    l.ended = 0;
    char cmd_exe[NX_PATH], cmdline[3 * NX_PATH + 64], startdir[NX_PATH];
    UINT sn = GetSystemDirectoryA(startdir, sizeof startdir);
    if (sn == 0 || sn >= sizeof startdir || !native_cmd(cmd_exe) ||
        !svc_command_line(cmdline, sizeof cmdline, cmd_exe, script)) {
        l.result = ERROR_BAD_PATHNAME;
        svc_log("CommandLine (%s) failed: %lu\n", script, l.result);
        return RUN_NOSTART;
    }
    char share[NX_PATH] = "", before[27] = "";
    if (svc_unc_share(share, sizeof share, script)) svc_share_letters(share, before);
    ScopedHandle port;
    ScopedHandle job = make_job(port);
    if (!job) {
        l.result = GetLastError();
        svc_log("CreateJobObject (%s) failed: %lu\n", script, l.result);
        return RUN_NOSTART;
    }
    Output* out = new Output;  // given up, not freed, if a read never comes back
    ScopedHandle process = start_in_job(cmd_exe, cmdline, startdir, script, job.get(), port.get(), *out, l);
    if (!process) {
        delete out;
        return RUN_NOSTART;
    }
    if (out->pipe) out->read();
    SvcRun run = wait_for_job(job.get(), port.get(), process.get(), *out, l);
    end_job(run, job.get(), process.get(), script, l);
    drain_output(port.get(), job.get(), *out);
    if (out->pipe && l.keep_output) save_output(*out, script);
    if (!out->pending) delete out;
    // Closing the job ends anything the script left behind, before its
    // drive letters go.
    process.reset();
    port.reset();
    job.reset();
    drop_new_letters(share, before);
    return run;
}

SvcRun svc_launch(const char* script, int tmax, DWORD* result)
{
    SvcLaunch l;
    l.tmax = tmax;
    SvcRun r = svc_launch_ex(script, l);
    *result = l.result;
    return r;
}
