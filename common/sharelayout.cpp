#include "sharelayout.h"
#include <stdio.h>
#include <string.h>

bool cp_lead_byte(unsigned cp, unsigned char c)
{
    // The lead byte ranges of Windows' double-byte ANSI code pages.
    switch (cp) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
    }
}

const char* path_last_sep(unsigned cp, const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; p && *p; p = cp_next(cp, p))
        if (path_sep(*p)) last = p;
    return last;
}

static char fold(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

size_t cp_prefix_nocase(unsigned cp, const char* s, const char* prefix, size_t prefix_len)
{
    size_t i = 0;
    while (i < prefix_len) {
        size_t n = cp_next(cp, prefix + i) - (prefix + i);
        if (i + n > prefix_len) return 0;
        if (n == 1 ? fold(s[i]) != fold(prefix[i]) || !s[i] : memcmp(s + i, prefix + i, n) != 0) return 0;
        i += n;
    }
    return prefix_len;
}

bool cp_equal_nocase(unsigned cp, const char* a, const char* b)
{
    size_t n = strlen(b);
    return strlen(a) == n && cp_prefix_nocase(cp, a, b, n) == n;
}

std::string share_root(unsigned cp, const char* uncp)
{
    if (!uncp || !path_sep(uncp[0]) || !path_sep(uncp[1]) || !uncp[2] || path_sep(uncp[2])) return "";
    // Trailing separators, found by characters: a trail byte 0x5C ends a name.
    size_t keep = 0;
    for (const char* p = uncp; *p; p = cp_next(cp, p))
        if (!path_sep(*p)) keep = cp_next(cp, p) - uncp;
    return std::string(uncp, keep);
}

bool share_identity(unsigned cp, const char* path, std::string* comp, std::string* name, std::string* vers)
{
    // Every separator, by characters; the last four parts are wanted.
    std::string parts[4];
    if (path) {
        const char* seps[5] = {};
        size_t count = 0;
        for (const char* p = path; *p; p = cp_next(cp, p))
            if (path_sep(*p)) {
                memmove(seps + 1, seps, sizeof seps - sizeof seps[0]);
                seps[0] = p;
                count++;
            }
        const char* end = path + strlen(path);
        for (size_t i = 0; i < 4 && i < count; i++) {
            parts[i].assign(seps[i] + 1, end);
            end = seps[i];
        }
    }
    if (parts[3].empty() || cp_equal_nocase(cp, parts[3].c_str(), SHARE_PKG)) parts[3] = SHARE_NO_MAKER;
    *comp = parts[3];
    *name = parts[2];
    *vers = parts[1];
    return !parts[0].empty() && !parts[1].empty() && !parts[2].empty();
}

NameVerdict share_check_name(unsigned cp, const char* name)
{
    size_t len = name ? strlen(name) : 0;
    if (len == 0 || len >= NX_PATH) return NAME_EMPTY;
    bool only_dots = true;
    const char* last = name;
    for (const char* p = name; *p; p = cp_next(cp, p)) {
        last = p;
        if (cp_next(cp, p) - p == 2) {
            only_dots = false;
            continue;  // a whole double-byte character: never a separator
        }
        unsigned char c = (unsigned char)*p;
        if (path_sep(*p)) return NAME_SEP;
        if (c < 32 || c == 127 || strchr(":*?\"<>|%", c)) return NAME_CHARS;
        if (c != '.' && c != ' ') only_dots = false;
    }
    if (only_dots) return NAME_DOTS;
    if (*last == '.' || *last == ' ') return NAME_TRAIL;
    return NAME_OK;
}

const char* share_name_reason(NameVerdict v)
{
    switch (v) {
    case NAME_OK: return "a folder name";
    case NAME_EMPTY: return "an empty or over-long name";
    case NAME_SEP: return "a separator in a folder name";
    case NAME_DOTS: return "a \".\" or \"..\" name";
    case NAME_TRAIL: return "a trailing dot or blank";
    case NAME_CHARS: return "a character not allowed in a folder name";
    }
    return "?";
}

NameVerdict share_script_path(unsigned cp, char* out, size_t n, const char* root, const char* comp, const char* name,
                              const char* vers)
{
    if (n) out[0] = 0;
    bool maker = strcmp(comp, SHARE_NO_MAKER) != 0;
    const char* parts[3] = {comp, name, vers};
    for (int i = maker ? 0 : 1; i < 3; i++) {
        NameVerdict v = share_check_name(cp, parts[i]);
        if (v != NAME_OK) return v;
    }
    if (!root || !root[0]) return NAME_EMPTY;
    int r = maker ? snprintf(out, n, "%s\\" SHARE_PKG "\\%s\\%s\\%s\\" SHARE_SCRIPT, root, comp, name, vers)
                  : snprintf(out, n, "%s\\" SHARE_PKG "\\%s\\%s\\" SHARE_SCRIPT, root, name, vers);
    if (r < 0 || (size_t)r >= n) {
        if (n) out[0] = 0;
        return NAME_EMPTY;
    }
    return NAME_OK;
}
