// What the service does in the user's session: start the console after new
// installs.
#include "svc.h"
#include "scoped.h"
#include "osrules.h"
#include "service_contract.h"
#include <userenv.h>
#include <wtsapi32.h>
#include <string>

// Desktop of the interactive user.
static char mdesktop[] = "winsta0\\default";

static bool start_direct(const char* exe)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe, nullptr, nullptr, nullptr, FALSE, 0, nullptr, mfolder, &si, &pi)) return false;
    ScopedHandle process(pi.hProcess), thread(pi.hThread);
    return true;
}

// The user's environment block with "PUBLIC" added when the platform left
// it out, so that the console reads the list the service installs.
static std::wstring with_public(const wchar_t* env)
{
    std::wstring block;
    bool has = false;
    for (const wchar_t* v = env; v && *v; v += wcslen(v) + 1) {
        if (_wcsnicmp(v, L"PUBLIC=", 7) == 0) has = true;
        block.append(v).push_back(0);
    }
    wchar_t pub[NX_PATH];
    DWORD n = GetEnvironmentVariableW(L"PUBLIC", pub, NX_PATH);
    if (!has && n > 0 && n < NX_PATH) block.append(L"PUBLIC=").append(pub).push_back(0);
    block.push_back(0);
    return block;
}

// Wine lacks what Windows gives: no sessions are listed and no user token
// is handed out, since everything shares one desktop. On Windows this is
// false and only the documented per-session road is taken.
static bool no_sessions()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::vector<DWORD> svc_user_sessions()
{
    std::vector<DWORD> ids;
    ScopedWts<WTS_SESSION_INFOA> list;
    DWORD count = 0;
    if (WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.put(), &count)) {
        const WTS_SESSION_INFOA* sessions = list.get();
        for (DWORD i = 0; i < count; i++)
            if (svc_message_session(sessions[i].SessionId, (int)sessions[i].State)) ids.push_back(sessions[i].SessionId);
    }
    // Where sessions cannot be listed (Wine lists none), the console's.
    if (ids.empty() && WTSGetActiveConsoleSessionId() != 0xFFFFFFFF && no_sessions())
        ids.push_back(WTSGetActiveConsoleSessionId());
    return ids;
}

// The console in one user's session, as that user.
static void start_in_session(const char* exe, DWORD session)
{
    ScopedHandle token;
    if (!WTSQueryUserToken(session, token.put())) {
        DWORD e = GetLastError();
        if (e == ERROR_NO_TOKEN) {
            svc_log("Console (%s) MSG ... no user logged on in session %lu\n", exe, session);
            return;
        }
        // Only where the platform has no session functions (Wine) is the
        // console the service's own child; on Windows that would put a
        // LocalSystem program on the user's desktop.
        if (e != ERROR_CALL_NOT_IMPLEMENTED && !no_sessions()) {
            svc_log("Console (%s) not started, failed: %lu\n", exe, e);
            return;
        }
        if (start_direct(exe))
            svc_log("Console (%s) OK ... started directly (%lu)\n", exe, e);
        else
            svc_log("Console (%s) failed: %lu\n", exe, GetLastError());
        return;
    }
    std::wstring block;
    {
        ScopedEnvironment env;
        if (!CreateEnvironmentBlock(env.put(), token.get(), FALSE)) env.release();
        block = with_public((const wchar_t*)env.get());
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.lpDesktop = mdesktop;
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessAsUserA(token.get(), exe, nullptr, nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                   &block[0], mfolder, &si, &pi);
    DWORD e = GetLastError();
    token.reset();
    if (ok) {
        ScopedHandle process(pi.hProcess), thread(pi.hThread);
        svc_log("Console (%s) OK ... session %lu\n", exe, session);
    } else {
        svc_log("Console (%s) failed: %lu\n", exe, e);
    }
}

void svc_start_console(bool service)
{
    char exe[NX_PATH];
    if (fmt_str(exe, "%s\\%s", mfolder, SVC_CONSOLE_FILE)) return;
    // In the foreground the administrator's own session and environment.
    if (!service) {
        if (start_direct(exe))
            svc_log("Console (%s) OK ...\n", exe);
        else
            svc_log("Console (%s) failed: %lu\n", exe, GetLastError());
        return;
    }
    // Every user at work: at the console, over RDP, switched to; as the
    // restart message goes.
    std::vector<DWORD> ids = svc_user_sessions();
    if (ids.empty()) {
        svc_log("Console (%s) MSG ... no user logged on\n", exe);
        return;
    }
    for (DWORD id : ids) start_in_session(exe, id);
}
