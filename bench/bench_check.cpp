// The platform check the service runs at every start: its six exit-code
// probes (each a cmd.exe through the service's launch path, run at once),
// as the service logs their cost, against the 1 s it may take and against
// one bare cmd.exe start on this machine. No assertions on time.
#include "benchutil.h"
#include "service_contract.h"
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

double run(const char* cmdline)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = cmdline;
    double t0 = now_ms();
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return now_ms() - t0;
}

// The cost of the last start-up check in the service's log, -1 for none.
long last_check_ms()
{
    FILE* f = fopen(SVC_LOG_FILE, "rb");
    if (!f) return -1;
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    const char* mark = "Check () OK ... 6 exit codes in ";
    size_t at = text.rfind(mark);
    return at == std::string::npos ? -1 : atol(text.c_str() + at + strlen(mark));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main()
{
    const int rounds = 5;
    std::vector<double> checks, cmds;
    char sysdir[MAX_PATH];
    GetSystemDirectoryA(sysdir, sizeof sysdir);
    std::string bare = std::string("\"") + sysdir + "\\cmd.exe\" /d /c exit 3010";
    for (int i = 0; i < rounds; i++) {
        cmds.push_back(run(bare.c_str()));
        run("nxsvc.exe /once /norestart");
        long ms = last_check_ms();
        if (ms >= 0) checks.push_back((double)ms);
    }
    if (checks.empty()) {
        puts("no start-up check in " SVC_LOG_FILE);
        return 1;
    }
    double check = median(checks), cmd = median(cmds);
    printf("start-up check (6 exit codes): median %6.0f ms of %d runs, %.2fx the 1000 ms it may take\n", check,
           (int)checks.size(), check / 1000.0);
    printf("one bare cmd.exe start:        median %6.0f ms; the check costs %.1f of them\n", cmd,
           cmd > 0 ? check / cmd : 0.0);
    return 0;
}
