#include "rules.h"
#include "listfile.h"
#include <ctype.h>
#include <stdio.h>
#include <string.h>

static bool is_sep(char c) { return c == '\\' || c == '/'; }

// Case-insensitive prefix test; the package folder "pkg" and the settings
// may differ in case from the path, as Windows allows.
static bool starts_with(const char* s, const char* prefix, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (!s[i] || tolower((unsigned char)s[i]) != tolower((unsigned char)prefix[i])) return false;
    return true;
}

// Length of the part of path under root + "\pkg\", or 0 when it is not there.
static size_t under_pkg(const char* path, const char* root, size_t root_len)
{
    if (!root_len || !starts_with(path, root, root_len)) return 0;
    const char* rest = path + root_len;
    if (!is_sep(rest[0]) || !starts_with(rest + 1, "pkg", 3) || !is_sep(rest[4])) return 0;
    return root_len + 5;
}

PathVerdict svc_check_path(const char* path, const char* ndrv, const char* uncp)
{
    // 259 characters may be a longer path cut by the list reader.
    size_t len = path ? strlen(path) : 0;
    if (len == 0 || len >= 259) return PATH_EMPTY;
    for (const char* p = path; *p; p++)
        if ((unsigned char)*p < 32 || *p == '"' || *p == '%' || *p == '*' || *p == '?' || *p == '<' || *p == '>' ||
            *p == '|')
            return PATH_CHARS;
    bool unc = is_sep(path[0]) && is_sep(path[1]);
    bool drive = isalpha((unsigned char)path[0]) && path[1] == ':' && is_sep(path[2]);
    if (!unc && !drive) return PATH_RELATIVE;

    // The allowed roots: a drive "X:" and a UNC path "\\server\share...".
    size_t drv_len = ndrv && isalpha((unsigned char)ndrv[0]) && ndrv[1] == ':' && !ndrv[2] ? 2 : 0;
    size_t unc_len = uncp && is_sep(uncp[0]) && is_sep(uncp[1]) && uncp[2] && !is_sep(uncp[2]) ? strlen(uncp) : 0;
    while (unc_len > 2 && is_sep(uncp[unc_len - 1])) unc_len--;
    size_t start = drive ? under_pkg(path, ndrv, drv_len) : under_pkg(path, uncp, unc_len);
    if (!start) return PATH_ELSEWHERE;

    // Below the package folder: named components only. Windows drops
    // trailing dots and blanks, so "..." or ".. " would climb like "..";
    // a ":" would name a stream or another drive.
    const char* c = path + start;
    while (true) {
        const char* e = c;
        while (*e && !is_sep(*e)) e++;
        const char* t = e;
        while (t > c && (t[-1] == '.' || t[-1] == ' ')) t--;
        if (t == c) return PATH_DOTS;
        for (const char* q = c; q < e; q++)
            if (*q == ':') return PATH_CHARS;
        if (!*e) break;
        c = e + 1;
    }
    return PATH_OK;
}

const char* svc_path_reason(PathVerdict v)
{
    switch (v) {
    case PATH_OK: return "allowed";
    case PATH_EMPTY: return "no script path, or one too long";
    case PATH_RELATIVE: return "not a full path";
    case PATH_ELSEWHERE: return "not under the share's package folder";
    case PATH_DOTS: return "a \".\" or \"..\" component";
    case PATH_CHARS: return "a character not allowed in a script path";
    }
    return "?";
}

bool svc_skip(const char* done_vers, int done_code, const char* vers)
{
    return done_vers && vers && strcmp(done_vers, vers) == 0 &&
           (done_code == 0 || done_code == 1641 || done_code == 3010);
}

SvcOutcome svc_outcome(SvcRun run, unsigned long result)
{
    SvcOutcome o = {};
    switch (run) {
    case RUN_DONE:
    case RUN_NOSTART: o.exit = result; break;
    case RUN_TIMEOUT: o.exit = SVC_ERR_TIMEOUT; break;
    case RUN_STOPPED: o.exit = SVC_ERR_STOPPED; break;
    case RUN_REJECTED: o.exit = SVC_ERR_REJECTED; break;
    }
    if (run == RUN_DONE && (result == 0 || result == 1641 || result == 3010)) {
        o.installed = true;
        o.code = result;
        o.restart_needed = result == 3010;
        o.restart_started = result == 1641;
    }
    return o;
}

int svc_seconds(int value, int fallback)
{
    if (value <= 0) return fallback;
    return value > SVC_TLONGEST ? SVC_TLONGEST : value;
}

bool svc_path_identity(const char* path, std::string* comp, std::string* name, std::string* vers)
{
    // The last four parts, from the end: script, version, name, manufacturer.
    std::string rest = path ? path : "", parts[4];
    for (std::string& part : parts) {
        size_t b = rest.rfind('\\');
        if (b == std::string::npos) break;
        part = rest.substr(b + 1);
        rest.resize(b);
    }
    if (parts[3].empty() || parts[3] == "pkg") parts[3] = "ZRP";
    *vers = parts[1];
    *name = parts[2];
    *comp = parts[3];
    return !parts[0].empty() && !parts[1].empty() && !parts[2].empty();
}

std::string svc_identity_key(const char* comp, const char* name, const char* vers, const char* path)
{
    // A line feed cannot stand in a list field, so the key is unambiguous.
    return std::string(comp) + '\n' + name + '\n' + vers + '\n' + path;
}

IdVerdict svc_check_identity(const char* comp, const char* name, const char* vers, const char* path,
                             const std::set<std::string>& assigned)
{
    std::string c, n, v;
    if (svc_path_identity(path, &c, &n, &v) && c == comp && n == name && v == vers) return ID_FROM_PATH;
    if (assigned.count(svc_identity_key(comp, name, vers, path))) return ID_ASSIGNED;
    return ID_FORGED;
}

int svc_backoff(int tries, int tsvc)
{
    if (tries <= 1) return 0;
    int day = (24 * 3600 + svc_seconds(tsvc, SVC_TSVC) - 1) / svc_seconds(tsvc, SVC_TSVC) - 1;
    long long wait = tries > 31 ? day : (1LL << (tries - 1)) - 1;
    return wait > day ? day : (int)wait;
}

void svc_show(char* out, size_t n, const char* text)
{
    if (!n) return;
    size_t o = 0;
    for (const char* p = text ? text : ""; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c >= 32 && c != 127) {
            if (o + 1 >= n) break;
            out[o++] = *p;
        } else {
            if (o + 4 >= n) break;
            snprintf(out + o, 5, "<%02X>", c);
            o += 4;
        }
    }
    out[o] = 0;
}

ListRead svc_read_list(FILE* f, long max_bytes, size_t max_sections, std::vector<SvcSection>* list,
                       std::vector<SvcSection>* lost)
{
    list->clear();
    if (!f) return LIST_NONE;
    long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    rewind(f);
    ListRead r = size < 0 || size > max_bytes ? LIST_TOO_LARGE : LIST_READ;
    std::string text;
    TextInfo info;
    if (r == LIST_READ) read_text(f, ansi_code_page(), text, info, (size_t)max_bytes);
    if (info.cut) r = LIST_TOO_LARGE;  // it grew while read
    ListReader rd;
    char buf[LIST_PIECE];
    TextPieces pieces(text);
    while (r == LIST_READ && pieces.next(buf, sizeof buf)) {
        if (!rd.piece(buf)) continue;
        bool held = !rd.not_held();
        if (held && list->size() >= max_sections) {
            r = LIST_TOO_MANY;
            continue;
        }
        std::vector<SvcSection>* to = held ? list : lost;
        if (!to || (!held && to->size() >= max_sections)) continue;
        to->emplace_back();
        SvcSection& s = to->back();
        copy_str(s.comp, rd.comp);
        copy_str(s.name, rd.name);
        copy_str(s.vers, rd.vers);
        copy_str(s.path, rd.path);
    }
    if (r != LIST_READ) std::vector<SvcSection>().swap(*list);
    return r;
}
