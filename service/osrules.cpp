#include "osrules.h"
#include "sharelayout.h"
#include "textenc.h"
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static bool fits(int r, size_t n) { return r >= 0 && (size_t)r < n; }

bool svc_cmd_path(char* out, size_t n, const char* windir, const char* sysdir, bool wow64)
{
    if (!n) return false;
    out[0] = 0;
    const char* dir = wow64 ? windir : sysdir;
    if (!dir || !dir[0]) return false;
    size_t len = strlen(dir);
    const char* sep = dir[len - 1] == '\\' ? "" : "\\";
    int r = wow64 ? snprintf(out, n, "%s%sSysnative\\cmd.exe", dir, sep) : snprintf(out, n, "%s%scmd.exe", dir, sep);
    if (!fits(r, n)) {
        out[0] = 0;
        return false;
    }
    return true;
}

static bool is_sep(char c) { return path_sep(c); }
// Paths are walked by characters of the ANSI code page: in a double-byte
// one a trail byte may be that of "\\".
static unsigned cp() { return ansi_code_page().id; }

bool svc_unc_script(char* out, size_t n, const char* path, const char* ndrv, const char* uncp)
{
    if (!n) return false;
    out[0] = 0;
    if (!path) return false;
    std::string root = share_root(cp(), uncp);
    size_t unc_len = root.size();
    bool on_drive = ndrv && isalpha((unsigned char)ndrv[0]) && ndrv[1] == ':' && !ndrv[2] &&
                    tolower((unsigned char)path[0]) == tolower((unsigned char)ndrv[0]) && path[1] == ':' &&
                    is_sep(path[2]);
    int r = on_drive && unc_len > 2 ? snprintf(out, n, "%s%s", root.c_str(), path + 2)
                                    : snprintf(out, n, "%s", path);
    if (!fits(r, n)) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool svc_unc_share(char* out, size_t n, const char* path)
{
    if (!n) return false;
    out[0] = 0;
    if (!path || !is_sep(path[0]) || !is_sep(path[1]) || !path[2] || is_sep(path[2])) return false;
    const char* server_end = path + 2;
    while (*server_end && !is_sep(*server_end)) server_end = cp_next(cp(), server_end);
    if (!server_end[0] || !server_end[1] || is_sep(server_end[1])) return false;
    const char* share_end = server_end + 1;
    while (*share_end && !is_sep(*share_end)) share_end = cp_next(cp(), share_end);
    int r = snprintf(out, n, "%.*s", (int)(share_end - path), path);
    if (!fits(r, n)) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool svc_script_quotable(const char* script)
{
    // '%' would be expanded, '!' too under /v:on; '"' ends the quotes.
    for (const char* p = script; *p; p++)
        if ((unsigned char)*p < 32 || *p == '"' || *p == '%' || *p == '!') return false;
    return true;
}

bool svc_command_line(char* out, size_t n, const char* cmd_exe, const char* script)
{
    if (!n) return false;
    out[0] = 0;
    if (!cmd_exe || !script || !script[0] || !svc_script_quotable(script)) return false;
    for (const char* p = cmd_exe; *p; p++)
        if (*p == '"') return false;
    const char* slash = path_last_sep(cp(), script);
    if (!slash || !slash[1]) return false;
    // The folder of "X:\file" is "X:\", of "\\server\share\file" the share.
    int folder_len = (int)(slash - script);
    if (folder_len == 2 && script[1] == ':') folder_len = 3;
    int r = snprintf(out, n, "\"%s\" /d /e:on /v:on /s /c \"pushd \"%.*s\" && \".\\%s\" & exit !errorlevel!\"",
                     cmd_exe, folder_len, script, slash + 1);
    if (!fits(r, n)) {
        out[0] = 0;
        return false;
    }
    return true;
}

// An accepted restart is given its grace and this long to happen before
// it is asked for again (the user or a tool may have cancelled it).
static const long long kRestartSlack = 600;

RestartStep svc_restart_step(long long requested, long long accepted, long long boot, long long now, int twrb)
{
    if (boot > requested) return RESTART_DONE;
    if (accepted > 0 && accepted <= now && now < accepted + (twrb > 0 ? twrb : 0) + kRestartSlack)
        return RESTART_WAIT;
    return RESTART_TRY;
}

bool svc_restart_accepted(unsigned long error)
{
    return error == 0 || error == NX_ERR_SHUTDOWN_IN_PROGRESS || error == NX_ERR_SHUTDOWN_IS_SCHEDULED;
}

bool svc_restart_parse(const char* text, long long* requested, long long* accepted)
{
    if (!text) return false;
    char* end;
    long long r = strtoll(text, &end, 10);
    if (end == text || *end != ' ' || r <= 0) return false;
    const char* second = end + 1;
    long long a = strtoll(second, &end, 10);
    if (end == second || *end || a < 0) return false;
    *requested = r;
    *accepted = a;
    return true;
}

bool svc_output_name(char* out, size_t n, const char* script)
{
    if (!n) return false;
    out[0] = 0;
    // The last three folders and the file name's start, by characters.
    const char* seps[4] = {};
    for (const char* p = script; p && *p; p = cp_next(cp(), p))
        if (is_sep(*p)) {
            memmove(seps, seps + 1, sizeof seps - sizeof seps[0]);
            seps[3] = p;
        }
    const char* end = seps[3];
    if (!end) return false;
    const char* from = end;
    for (int i = 2; i >= 0 && seps[i]; i--) {
        if (seps[i] + 1 == from || memchr(seps[i], ':', (size_t)(from - seps[i]))) break;  // an empty part, a drive
        from = seps[i];
    }
    if (is_sep(*from)) from++;
    if (from >= end) return false;
    int r = snprintf(out, n, "script-");
    size_t len = r > 0 ? (size_t)r : 0;
    for (const char* p = from; p < end && len + 1 < n; p++) {
        char c = is_sep(*p) ? '-' : *p;
        out[len++] = isalnum((unsigned char)c) || c == '-' || c == '_' || c == '.' ? c : '_';
    }
    if (len + 1 >= n || !fits(snprintf(out + len, n - len, ".log"), n - len)) {
        out[0] = 0;
        return false;
    }
    return true;
}

// Two digits, and the value they give, at most max.
static bool two_digits(const char* p, int max, int* out)
{
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') return false;
    *out = (p[0] - '0') * 10 + (p[1] - '0');
    return *out <= max;
}

bool svc_window_parse(const char* text, int* from, int* to)
{
    int h1, m1, h2, m2;
    if (!text || strlen(text) != 11 || text[2] != ':' || text[5] != '-' || text[8] != ':') return false;
    if (!two_digits(text, 23, &h1) || !two_digits(text + 3, 59, &m1) || !two_digits(text + 6, 23, &h2) ||
        !two_digits(text + 9, 59, &m2))
        return false;
    *from = h1 * 60 + m1;
    *to = h2 * 60 + m2;
    return true;
}

bool svc_window_open(int from, int to, int minute)
{
    if (from == to) return true;
    if (from < to) return minute >= from && minute < to;
    return minute >= from || minute < to;
}

int svc_defer_hours(int value)
{
    if (value <= 0) return 0;
    return value > SVC_TDEF_MAX ? SVC_TDEF_MAX : value;
}

long long svc_remind_after(long long left)
{
    const long long hour = 3600;
    long long every = left > 24 * hour ? 4 * hour : left > 4 * hour ? hour : hour / 4;
    if (left < every) every = left;
    return every > 0 ? every : 0;
}

DeferStep svc_defer_step(SvcDefer* d, long long now)
{
    if (now < d->seen) {
        long long back = d->seen - now;
        d->deadline -= back;
        d->next -= back;
    }
    d->seen = now;
    if (now >= d->deadline) return DEFER_FORCE;
    return now >= d->next ? DEFER_ASK : DEFER_WAIT;
}

bool svc_defer_parse(const char* text, SvcDefer* d)
{
    if (!text) return false;
    long long v[3];
    const char* p = text;
    for (int i = 0; i < 3; i++) {
        char* end;
        v[i] = strtoll(p, &end, 10);
        if (end == p || v[i] <= 0 || *end != (i < 2 ? ' ' : 0)) return false;
        p = end + 1;
    }
    *d = {v[0], v[1], v[2]};
    return true;
}
