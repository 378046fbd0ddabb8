// The platform check: what the service assumes of Windows, tried on the
// device through the service's own launch path (the same command line,
// job and wait) on probe scripts it writes itself. The exit-code rows run
// at every start; nxsvc.exe /check runs them all for an administrator.
#include "svc.h"
#include "sharelayout.h"
#include "textenc.h"
#include "scoped.h"
#include "osrules.h"
#include "service_contract.h"
#include <process.h>
#include <sddl.h>
#include <stdio.h>

namespace {

// What an installer's script returns and the service must see unchanged:
// success, failure, a failed msi, restart needed, restart started, the
// Windows Installer busy.
const DWORD kCodes[] = {0, 1, 1603, 3010, 1641, 1618};

// The probes' folder beside the service, writable by SYSTEM and
// Administrators only, so nobody can change a probe before it runs.
bool probe_folder(char (&dir)[NX_PATH])
{
    if (fmt_str(dir, "%s\\check", mfolder)) return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;GRGX;;;BU)",
                                                              SDDL_REVISION_1, &sd, nullptr))
        return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    bool ok = CreateDirectoryA(dir, &sa) || GetLastError() == ERROR_ALREADY_EXISTS;
    LocalFree(sd);
    DWORD a = GetFileAttributesA(dir);
    return ok && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Writes a probe and holds it open so that it cannot be changed, renamed
// or deleted until the probe has run: readers only. Empty when it could
// not be written as given.
ScopedHandle put_probe(const char* path, const char* text)
{
    DWORD n = (DWORD)strlen(text), done = 0;
    bool ok;
    {
        ScopedHandle w(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!w) return ScopedHandle();
        ok = WriteFile(w.get(), text, n, &done, nullptr) && done == n;
    }
    ScopedHandle r;
    if (ok)
        r.reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
    if (!r) return ScopedHandle();
    // What is held now is what was written.
    char back[512];
    DWORD got = 0;
    if (n >= sizeof back || !ReadFile(r.get(), back, sizeof back, &got, nullptr) || got != n ||
        memcmp(back, text, n) != 0)
        return ScopedHandle();
    return r;
}

struct Probe {
    char path[NX_PATH];
    DWORD expected;
    SvcRun run;
    SvcLaunch launch;
};

unsigned __stdcall run_probe(void* arg)
{
    Probe* p = (Probe*)arg;
    p->run = svc_launch_ex(p->path, p->launch);
    return 0;
}

const char* run_text(SvcRun r)
{
    switch (r) {
    case RUN_DONE: return "ran";
    case RUN_NOSTART: return "not started";
    case RUN_TIMEOUT: return "time-out";
    case RUN_STOPPED: return "stopped";
    }
    return "?";
}

void add(std::vector<SvcCheckRow>* rows, const std::string& what, const std::string& expected,
         const std::string& observed, bool run = true)
{
    rows->push_back({what, expected, observed, run && expected == observed, run});
}

std::string observed_code(const Probe& p)
{
    return p.run == RUN_DONE ? std::to_string(p.launch.result)
                             : std::string(run_text(p.run)) + " (" + std::to_string(p.launch.result) + ")";
}

// The exit codes, every probe at once: they are independent, and the
// service waits for them at its start.
void exit_code_rows(const char* dir, std::vector<SvcCheckRow>* rows)
{
    const size_t n = sizeof kCodes / sizeof kCodes[0];
    Probe probes[n];
    ScopedHandle held[n], threads[n];
    for (size_t i = 0; i < n; i++) {
        Probe& p = probes[i];
        p.expected = kCodes[i];
        p.run = RUN_NOSTART;
        p.launch.tmax = 60;
        p.launch.publish = false;
        p.launch.keep_output = false;
        char text[64];
        fmt_str(text, "@echo off\r\nexit /b %lu\r\n", p.expected);
        if (fmt_str(p.path, "%s\\exit-%lu.cmd", dir, p.expected) || !(held[i] = put_probe(p.path, text))) continue;
        threads[i].reset((HANDLE)_beginthreadex(nullptr, 0, run_probe, &p, 0, nullptr));
    }
    for (size_t i = 0; i < n; i++) {
        if (threads[i]) WaitForSingleObject(threads[i].get(), INFINITE);
        threads[i].reset();
        bool written = (bool)held[i];
        held[i].reset();
        DeleteFileA(probes[i].path);
        add(rows, "exit code " + std::to_string(probes[i].expected), std::to_string(probes[i].expected),
            written ? observed_code(probes[i]) : "probe not written (" + std::to_string(GetLastError()) + ")");
    }
}

// The machine's processor as PROCESSOR_ARCHITECTURE names it.
const char* native_arch()
{
    SYSTEM_INFO si;
    GetNativeSystemInfo(&si);
    switch (si.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return "AMD64";
    case PROCESSOR_ARCHITECTURE_INTEL: return "x86";
    case PROCESSOR_ARCHITECTURE_ARM64: return "ARM64";
    default: return "?";
    }
}

std::string read_line(const char* path)
{
    char buf[64] = "";
    ScopedFile f(fopen(path, "rb"));
    if (f && !fgets(buf, sizeof buf, f.get())) buf[0] = 0;
    std::string s = buf;
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// One probe with its text, run with tmax seconds.
Probe run_one(const char* path, const char* text, int tmax, bool* written)
{
    Probe p = {};
    copy_str(p.path, path);
    p.run = RUN_NOSTART;
    p.launch.tmax = tmax;
    p.launch.publish = false;
    p.launch.keep_output = false;
    ScopedHandle held = put_probe(path, text);
    *written = (bool)held;
    if (held) p.run = svc_launch_ex(path, p.launch);
    held.reset();
    DeleteFileA(path);
    return p;
}

// The share's rows: a probe by UNC path in a folder of the share's status
// folder (where the service writes), run in its own folder, reading a
// file beside it, no drive letter left.
void share_rows(const NCFG& ncfg, std::vector<SvcCheckRow>* rows)
{
    const char* what_dir = "by UNC path: runs in its own folder";
    const char* what_letters = "by UNC path: no drive letter left";
    char share[NX_PATH], device[64] = "", dir[NX_PATH], probe[NX_PATH], beside[NX_PATH];
    DWORD dn = GetEnvironmentVariableA("Computername", device, sizeof device);
    copy_str(share, share_root(ansi_code_page().id, ncfg.uncp).c_str());
    std::string why;
    SvcShare connected(ncfg);
    if (!share[0])
        why = "no share (uncp) set";
    else if (connected.error)
        why = "the share refused the configured account (" + std::to_string(connected.error) + ")";
    else if (dn == 0 || dn >= sizeof device || fmt_str(dir, "%s\\" SHARE_STATUS "\\%s.check", share, device) ||
             fmt_str(probe, "%s\\probe.cmd", dir) || fmt_str(beside, "%s\\beside.txt", dir))
        why = "no usable device name or path";
    else if (!CreateDirectoryA(dir, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        why = std::string(dir) + " cannot be made (" + std::to_string(GetLastError()) + ")";
    if (!why.empty()) {
        add(rows, what_dir, "0", "not run: " + why, false);
        add(rows, what_letters, "none", "not run", false);
        return;
    }
    char unc_share[NX_PATH], before[27] = "", after[27] = "";
    svc_unc_share(unc_share, sizeof unc_share, probe);
    svc_share_letters(unc_share, before);
    ScopedHandle held = put_probe(beside, "beside\r\n");
    bool beside_written = (bool)held, written = false;
    Probe p = run_one(probe, "@echo off\r\nif not exist beside.txt exit /b 2\r\nexit /b 0\r\n", 60, &written);
    held.reset();
    DeleteFileA(beside);
    RemoveDirectoryA(dir);
    svc_share_letters(unc_share, after);
    std::string left;
    for (const char* l = after; *l; l++)
        if (!strchr(before, *l)) left += std::string(1, *l) + ":";
    add(rows, what_dir, "0", beside_written && written ? observed_code(p) : "probe not written");
    add(rows, what_letters, "none", left.empty() ? "none" : left);
}

bool check_once(bool full, const NCFG* ncfg, std::vector<SvcCheckRow>* rows, std::string* failed)
{
    char dir[NX_PATH];
    if (!probe_folder(dir)) {
        add(rows, "probe folder", "writable", std::string(mfolder) + "\\check: " + std::to_string(GetLastError()));
    } else {
        exit_code_rows(dir, rows);
        if (full) {
            char path[NX_PATH], out[NX_PATH];
            bool written = false;
            // The script's cmd is the system's own: 64-bit on 64-bit Windows.
            if (!fmt_str(path, "%s\\arch.cmd", dir) && !fmt_str(out, "%s\\arch.txt", dir)) {
                DeleteFileA(out);
                Probe p = run_one(path, "@echo %PROCESSOR_ARCHITECTURE%>arch.txt\r\n", 60, &written);
                add(rows, "cmd of the system's bitness", native_arch(),
                    p.run == RUN_DONE ? read_line(out) : observed_code(p));
                DeleteFileA(out);
            }
            // A process the script leaves running: the result stays the
            // script's, the process is ended at tmax.
            if (!fmt_str(path, "%s\\leftover.cmd", dir)) {
                Probe p = run_one(path, "@start \"\" /b ping -n 60 127.0.0.1 >nul\r\n@exit /b 0\r\n", 3, &written);
                std::string seen = p.run == RUN_DONE ? std::to_string(p.launch.result) + ", ended " +
                                                           std::to_string(p.launch.ended) + " at tmax"
                                                     : observed_code(p);
                add(rows, "a process left running", "0, ended 1 at tmax", seen);
            }
        }
        RemoveDirectoryA(dir);
    }
    if (full && ncfg) share_rows(*ncfg, rows);
    for (const SvcCheckRow& r : *rows)
        if (r.run && !r.ok) {
            *failed = r.what + ": expected " + r.expected + ", observed " + r.observed;
            return false;
        }
    return true;
}

}  // namespace

bool svc_check(bool full, const NCFG* ncfg, std::vector<SvcCheckRow>* rows, std::string* failed)
{
    if (check_once(full, ncfg, rows, failed)) return true;
    // A platform that differs from what the service assumes differs every
    // time; a probe, or a process it starts, that failed for a moment's
    // shortage of the system's does not. So a failed check is run once
    // more, and its second result stands.
    svc_log("Check () MSG ... failed once: %s; run again\n", failed->c_str());
    rows->clear();
    failed->clear();
    return check_once(full, ncfg, rows, failed);
}

bool svc_platform_ready(int(__cdecl* set_ncfg)(NCFG*))
{
    std::vector<SvcCheckRow> rows;
    std::string failed;
    DWORD t0 = GetTickCount();
    bool ok = svc_check(false, nullptr, &rows, &failed);
    DWORD ms = GetTickCount() - t0;
    if (ok) {
        svc_log("Check () OK ... %d exit codes in %lu ms\n", (int)rows.size(), ms);
        return true;
    }
    svc_log("Check () platform check failed: %s; nothing is installed, failed: %d\n", failed.c_str(),
            (int)ERROR_NOT_SUPPORTED);
    svc_event(NXEV_CHECK_FAILED, failed.c_str());
    NCFG ncfg = {};
    set_ncfg(&ncfg);
    DeviceStatus st;
    st.check = "platform check failed: " + failed;
    svc_write_status(ncfg, st);
    return false;
}
