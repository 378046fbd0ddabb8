// Starts a program outside the job it runs in, as an installer that
// leaves its application running on purpose would:
//   nx_breakaway.exe <command line>
// The exit code is 0 when it started, else the system error.
#include <windows.h>
#include <string.h>

int main()
{
    // The rest of the command line after this program's own name.
    const char* cl = GetCommandLineA();
    const char* rest = cl;
    if (*rest == '"') {
        rest = strchr(rest + 1, '"');
        rest = rest ? rest + 1 : cl + strlen(cl);
    } else {
        while (*rest && *rest != ' ') rest++;
    }
    while (*rest == ' ') rest++;
    if (!*rest) return ERROR_BAD_ARGUMENTS;
    char line[1024];
    strncpy(line, rest, sizeof line - 1);
    line[sizeof line - 1] = 0;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, CREATE_BREAKAWAY_FROM_JOB | CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        return (int)GetLastError();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}
