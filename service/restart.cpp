// Restarts that packages need: the message to every user at work, the
// request to the platform, and the pending restart kept in the registry
// until the system has started again, asked for again at every task.
#include "svc.h"
#include "scoped.h"
#include "creg.h"
#include "log.h"
#include "osrules.h"
#include "service_contract.h"
#include <stdio.h>
#include <process.h>
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
    ScopedWts<WTS_SESSION_INFOA> list;
    DWORD count = 0;
    if (!WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.put(), &count)) {
        svc_log("WTSEnumerateSessions () failed: %lu\n", GetLastError());
        return;
    }
    const WTS_SESSION_INFOA* sessions = list.get();
    for (DWORD i = 0; i < count; i++) {
        if (!svc_message_session(sessions[i].SessionId, (int)sessions[i].State)) continue;
        DWORD answer = 0;
        if (!WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, sessions[i].SessionId, title, (DWORD)strlen(title), text,
                             (DWORD)strlen(text), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND, (DWORD)tmsg,
                             &answer, FALSE))
            svc_log("WTSSendMessage (%lu) failed: %lu\n", sessions[i].SessionId, GetLastError());
    }
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

// ---------------------------------------------------------------- put off
// With "tdef" the users choose when, up to a deadline: each session where a
// user works is asked, again and again as reminders, until someone chooses
// to restart or the deadline comes.

// How long a question waits for its answer; none counts as "Later".
enum { ASK_SECONDS = 120 };

// Local time of seconds since 1601 (UTC) as the log's stamp.
static void local_stamp(long long seconds, char (&out)[32])
{
    ULARGE_INTEGER u;
    u.QuadPart = (ULONGLONG)seconds * 10000000ULL;
    FILETIME ft = {u.LowPart, u.HighPart}, local;
    SYSTEMTIME t;
    out[0] = 0;
    if (FileTimeToLocalFileTime(&ft, &local) && FileTimeToSystemTime(&local, &t))
        format_stamp(out, sizeof out, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

static void keep_defer(const SvcDefer& d)
{
    char text[96], by[32];
    fmt_str(text, "%lld %lld %lld", d.deadline, d.next, d.seen);
    local_stamp(d.deadline, by);
    if (mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_DEFER, text) ||
        mreg.WriteStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_BY, by))
        svc_log("Restart (%s) failed: %lu\n", SVC_RESTART_DEFER, GetLastError());
}

static void drop_defer()
{
    mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_DEFER);
    mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_BY);
}

// One session's question, freed by whichever side lets go last: a stop
// leaves the question open on the user's screen.
struct Question {
    DWORD session = 0;
    char text[512] = "";
    DWORD answer = 0;
    DWORD error = 0;
    LONG refs = 2;
    void release()
    {
        if (InterlockedDecrement(&refs) == 0) delete this;
    }
};

static unsigned __stdcall ask_session(void* arg)
{
    Question* q = (Question*)arg;
    char title[] = SVC_DISPLAY_NAME;
    if (!WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, q->session, title, (DWORD)strlen(title), q->text,
                         (DWORD)strlen(q->text), MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_DEFBUTTON2,
                         ASK_SECONDS, &q->answer, TRUE))
    {
        DWORD e = GetLastError();
        q->error = e ? e : (DWORD)ERROR_CALL_NOT_IMPLEMENTED;
    }
    q->release();
    return 0;
}

// Asks every session at once and waits at most ASK_SECONDS for all (less
// on a stop). True when a user chose to restart now. WTSSendMessage shows
// the platform's message box, which has no buttons of our own: "Yes" is
// "Restart now", "No" is "Later", as the text says; no answer in time
// (IDTIMEOUT) and a failed call count as "Later".
static bool users_say_now(const std::vector<DWORD>& ids, const char* by)
{
    std::vector<std::pair<Question*, ScopedHandle>> asked;
    for (DWORD id : ids) {
        Question* q = new Question;
        q->session = id;
        fmt_str(q->text,
                "New packages need this computer to restart. It restarts by itself at %s at the latest.\n\n"
                "Restart now?\n\nYes: Restart now\nNo: Later (you will be reminded)",
                by);
        ScopedHandle t((HANDLE)_beginthreadex(nullptr, 0, ask_session, q, 0, nullptr));
        if (!t) {
            svc_log("WTSSendMessage (%lu) failed: %lu; taken as later\n", id, GetLastError());
            delete q;
            continue;
        }
        asked.emplace_back(q, std::move(t));
    }
    bool now = false;
    ULONGLONG until = GetTickCount64() + (ASK_SECONDS + 5) * 1000ULL;
    for (auto& a : asked) {
        Question* q = a.first;
        ULONGLONG tick = GetTickCount64();
        HANDLE both[2] = {a.second.get(), mstop};
        DWORD w = WaitForMultipleObjects(2, both, FALSE, tick < until ? (DWORD)(until - tick) : 0);
        a.second.reset();
        if (w != WAIT_OBJECT_0)
            svc_log("WTSSendMessage (%lu) MSG ... no answer; later\n", q->session);
        else if (q->error)
            svc_log("WTSSendMessage (%lu) failed: %lu; taken as later\n", q->session, q->error);
        else if (q->answer == IDYES)
            now = true;
        q->release();
    }
    return now;
}

// A restart put off: ask when it is time, force it at the deadline. The
// restart is asked for as without "tdef" (ask), so Windows' own message
// with its countdown of twrb seconds comes last.
static void defer_step(long long requested, int tmsg, int twrb, bool norestart)
{
    const char* text = mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_DEFER);
    SvcDefer d;
    if (!svc_defer_parse(text, &d)) {
        svc_log("Restart (%s) MSG ... unreadable, dropped\n", text ? text : SVC_RESTART_DEFER);
        drop_defer();
        if (ask(tmsg, twrb, norestart)) keep(requested, now_seconds());
        return;
    }
    long long now = now_seconds();
    DeferStep step = svc_defer_step(&d, now);
    char by[32];
    local_stamp(d.deadline, by);
    std::vector<DWORD> ids = svc_user_sessions();
    bool restart = false;
    if (step == DEFER_FORCE) {
        svc_log("Restart (%s) MSG ... the deadline has come\n", by);
        restart = true;
    } else if (ids.empty()) {
        svc_log("Restart (%s) MSG ... nobody logged on, not put off\n", by);
        restart = true;
    } else if (step == DEFER_ASK) {
        if (users_say_now(ids, by)) {
            svc_log("Restart (%s) MSG ... a user chose to restart now\n", by);
            restart = true;
        } else {
            d.next = now + svc_remind_after(d.deadline - now);
            svc_log("Restart (%s) MSG ... put off; asked again in %lld min\n", by, (d.next - now) / 60);
        }
    }
    keep_defer(d);
    if (restart && ask(tmsg, twrb, norestart)) keep(requested, now);
}

bool svc_restart_defer(int tdef, bool started)
{
    if (tdef <= 0 || started) return false;
    if (svc_user_sessions().empty()) {
        svc_log("Restart () MSG ... nobody logged on, not put off\n");
        return false;
    }
    long long now = now_seconds();
    SvcDefer d = {now + (long long)tdef * 3600, now, now};
    keep(now, 0);
    keep_defer(d);
    char by[32];
    local_stamp(d.deadline, by);
    svc_log("Restart (%s) MSG ... the users may put it off until then (tdef %d h)\n", by, tdef);
    svc_event(NXEV_RESTART_DEFERRED, by);
    return true;
}

void svc_restart_remind(int tmsg, int twrb, bool norestart)
{
    const char* text = mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_PENDING);
    long long requested = 0, accepted = 0;
    if (!svc_restart_parse(text, &requested, &accepted) || accepted) return;
    if (svc_stopping()) return;
    defer_step(requested, tmsg, twrb, norestart);
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
        drop_defer();
        return false;
    }
    long long now = now_seconds();
    switch (svc_restart_step(requested, accepted, boot_seconds(), now, twrb)) {
    case RESTART_DONE:
        mreg.DeleteValue(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_PENDING);
        drop_defer();
        svc_log("Restart () OK ... the system has started since\n");
        return false;
    case RESTART_WAIT:
        svc_log("Restart () MSG ... pending since %lld s; packages wait\n", now - requested);
        return true;
    case RESTART_TRY:
        if (mreg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_DEFER) && !svc_stopping()) {
            svc_log("Restart () MSG ... pending since %lld s; packages wait, put off by the users\n", now - requested);
            defer_step(requested, tmsg, twrb, norestart);
            return true;
        }
        svc_log("Restart () MSG ... pending since %lld s; packages wait, asked again\n", now - requested);
        if (ask(tmsg, twrb, norestart)) keep(requested, now);
        return true;
    }
    return true;
}
