// One task of nxsvc.exe (/once) over a saved device list at the service's
// bounds and far past them, against a list of one package: the task's time
// and the service's peak memory, measured in one run and printed as ratios.
// Every listed package is recorded as installed, so the task reads, checks
// and skips them and runs no script. No assertions on time.
#include "benchutil.h"
#include "service_contract.h"
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string>

namespace {

std::string section(int i)
{
    char s[300];
    snprintf(s, sizeof s,
             "[Vendor%d Package%04d]\ncomp=Vendor%d\nname=Package%04d\n"
             "path=Y:\\pkg\\Vendor%d\\Package%04d\\1.0\\Install.cmd\nvers=1.0\n\n",
             i % 7, i, i % 7, i, i % 7, i);
    return s;
}

void set_str(const std::string& key, const char* name, const std::string& v)
{
    HKEY h;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr)) return;
    RegSetValueExA(h, name, 0, REG_SZ, (const BYTE*)v.c_str(), (DWORD)v.size() + 1);
    RegCloseKey(h);
}

void set_dword(const std::string& key, const char* name, DWORD v)
{
    HKEY h;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr)) return;
    RegSetValueExA(h, name, 0, REG_DWORD, (const BYTE*)&v, 4);
    RegCloseKey(h);
}

struct Run {
    double ms;
    SIZE_T peak;  // bytes
};

// One task over the given list text, saved as the console would.
Run task(const std::string& list_path, const std::string& text)
{
    write_text(list_path, text);
    set_str(NX_KEY_PKGS, SVC_LIST_SEEN, "0");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char cmd[] = "nxsvc.exe /once /norestart";
    double t0 = now_ms();
    Run r = {0, 0};
    if (!CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) return r;
    // Sampled while it runs: Wine keeps no counters of a process that ended.
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    do {
        if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc) && pmc.PeakWorkingSetSize > r.peak)
            r.peak = pmc.PeakWorkingSetSize;
    } while (WaitForSingleObject(pi.hProcess, 2) == WAIT_TIMEOUT);
    r.ms = now_ms() - t0;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return r;
}

}  // namespace

int main()
{
    char pub[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("PUBLIC", pub, sizeof pub);
    if (!n || n >= sizeof pub) {
        puts("PUBLIC is not set");
        return 1;
    }
    set_str(NX_KEY, "uncp", "\\\\demo\\packages");
    set_str(NX_KEY, "ndrv", "Y:");
    std::string list = std::string(pub) + "\\" SVC_LIST_FILE;
    std::string at_bound, one = section(0), past;
    for (int i = 0; i < SVC_LIST_SECTIONS; i++) {
        std::string s = section(i);
        at_bound += s;
        char key[300];
        snprintf(key, sizeof key, "%s\\Vendor%d\\Package%04d", NX_KEY_PKGS, i % 7, i);
        set_str(key, SVC_RES_VERS, "1.0");
        set_dword(key, SVC_RES_CODE, 0);
        CreateDirectoryA("Y:\\pkg", nullptr);
        CreateDirectoryA(("Y:\\pkg\\Vendor" + std::to_string(i % 7)).c_str(), nullptr);
    }
    // A million sections, 26 MB: refused unread.
    while (past.size() < 26u * 1024 * 1024) past += at_bound;

    Run base = task(list, one);
    Run bound = task(list, at_bound);
    Run huge = task(list, past);
    printf("one package:            %8.0f ms, peak %6.1f MB\n", base.ms, base.peak / 1048576.0);
    printf("%d packages (%4.0f KB): %8.0f ms, peak %6.1f MB\n", SVC_LIST_SECTIONS, at_bound.size() / 1024.0, bound.ms,
           bound.peak / 1048576.0);
    printf("26 MB list (refused):   %8.0f ms, peak %6.1f MB\n", huge.ms, huge.peak / 1048576.0);
    if (base.ms > 0 && base.peak)
        printf("ratios to one package: at the bound %.1fx time, %.2fx memory; 26 MB %.1fx time, %.2fx memory\n",
               bound.ms / base.ms, (double)bound.peak / base.peak, huge.ms / base.ms, (double)huge.peak / base.peak);
    DeleteFileA(list.c_str());
    return 0;
}
