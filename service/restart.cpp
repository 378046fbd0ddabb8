// Restarts that packages need: the message to every user at work, the
// request to the platform, and the pending restart kept in the registry
// until the system has started again, asked for again at every task.
#include "svc.h"
#include "scoped.h"
#include "creg.h"
#include "osrules.h"
#include "service_contract.h"
#include <stdio.h>
#include <wtsapi32.h>

static CReg mreg;

// Seconds since 1601 (UTC), and when the running system started.
static long long now_seconds()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return (long long)(u.QuadPart / 10000000);
}
static long long boot_seconds() { return now_seconds() - (long long)(GetTickCount64() / 1000); }

static void keep(long long requested, long long accepted)
{
    char text[64];
    fmt_str(text, "%lld %lld", requested, accepted);
    if (mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_PENDING, text))
        svc_log("Restart (%s) failed: %lu\n", SVC_RESTART_PENDING, GetLastError());
}

static bool enable_shutdown_privilege()
{
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
    return ok;
}

// Every user at work hears of it: the console session, RDP sessions and
// those switched to; the message does not wait for an answer.
static void tell_users(char* text, int tmsg)
{
    char title[] = SVC_DISPLAY_NAME;
    WTS_SESSION_INFOA* sessions = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        svc_log("WTSEnumerateSessions () failed: %lu\n", GetLastError());
        return;
    }
    for (DWORD i = 0; i < count; i++) {
        if (!svc_message_session(sessions[i].SessionId, (int)sessions[i].State)) continue;
        DWORD answer = 0;
        if (!WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, sessions[i].SessionId, title, (DWORD)strlen(title), text,
                             (DWORD)strlen(text), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND, (DWORD)tmsg,
                             &answer, FALSE))
            svc_log("WTSSendMessage (%lu) failed: %lu\n", sessions[i].SessionId, GetLastError());
    }
    WTSFreeMemory(sessions);
}

// True when the platform took the request. After the grace time the
// restart closes applications, so unsaved work cannot hold it off forever.
// Users hear of it only once Windows has accepted it, once per request.
// A stopping service asks nothing: the restart stays pending for its next
// start.
static bool ask(int tmsg, int twrb, bool norestart)
{
    if (norestart) {
        svc_log("Restart (%d s) MSG ... not done: /norestart\n", twrb);
        return false;
    }
    if (svc_stopping()) {
        svc_log("Restart (%d s) MSG ... not asked: the service stops; kept for its next start\n", twrb);
        return false;
    }
    char text[256];
    fmt_str(text, "New packages were installed. This computer restarts in %d seconds.", twrb);
    // A planned restart for an installation, so the event log says why.
    DWORD e = enable_shutdown_privilege() &&
                      InitiateSystemShutdownExA(nullptr, text, (DWORD)twrb, TRUE, TRUE,
                                                SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                                    SHTDN_REASON_FLAG_PLANNED)
                  ? 0
                  : GetLastError();
    char what[64];
    if (svc_restart_accepted(e)) {
        svc_log("Restart (%d s) GO ...\n", twrb);
        fmt_str(what, "in %d seconds", twrb);
        svc_event(NXEV_RESTART_REQUESTED, what);
        if (e == 0) tell_users(text, tmsg);
        return true;
    }
    svc_log("Restart (%d s) failed: %lu, asked again at the next task\n", twrb, e);
    fmt_str(what, "error %lu", e);
    svc_event(NXEV_RESTART_REFUSED, what);
    return false;
}

void svc_restart_needed(int tmsg, int twrb, bool norestart, bool started)
{
    long long now = now_seconds();
    // After a stop the need is kept, never asked for: the next start asks.
    if (svc_stopping() && !started) {
        svc_log("Restart () MSG ... not asked: the service stops; kept for its next start\n");
        keep(now, 0);
        return;
    }
    // In the foreground with /norestart the administrator restarts; a
    // pending restart left by the service is still honoured.
    if (norestart) {
        svc_log("Restart (%d s) MSG ... not done: /norestart\n", twrb);
        return;
    }
    keep(now, started || ask(tmsg, twrb, norestart) ? now : 0);
}

bool svc_restart_pending(int tmsg, int twrb, bool norestart)
{
    const char* text = mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_PENDING);
    if (!text) return false;
    long long requested = 0, accepted = 0;
    if (!svc_restart_parse(text, &requested, &accepted)) {
        svc_log("Restart (%s) MSG ... unreadable, dropped\n", text);
        mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_PENDING);
        return false;
    }
    long long now = now_seconds();
    switch (svc_restart_step(requested, accepted, boot_seconds(), now, twrb)) {
    case RESTART_DONE:
        mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_PENDING);
        svc_log("Restart () OK ... the system has started since\n");
        return false;
    case RESTART_WAIT:
        svc_log("Restart () MSG ... pending since %lld s; packages wait\n", now - requested);
        return true;
    case RESTART_TRY:
        svc_log("Restart () MSG ... pending since %lld s; packages wait, asked again\n", now - requested);
        if (ask(tmsg, twrb, norestart)) keep(requested, now);
        return true;
    }
    return true;
}
