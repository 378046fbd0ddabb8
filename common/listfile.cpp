#include "listfile.h"
#include "strutil.h"
#include <string.h>

// The value runs to the end of the piece, which holds at most 259
// characters, so it always fits a field.
static void set_field(char* field, const char* value, const char* end)
{
    size_t n = (size_t)(end - value);
    if (n >= LIST_PIECE) n = LIST_PIECE - 1;
    memcpy(field, value, n);
    field[n] = 0;
}

// The first "=" in [p, end), null for none: a loop of its own, as the
// CRT's under Wine looks at a byte at a time through a call.
static const char* find_eq(const char* p, const char* end)
{
    for (; p < end; p++)
        if (*p == '=') return p;
    return nullptr;
}

bool ListReader::piece(char* text, size_t len)
{
    if (len && text[len - 1] == '\n') text[--len] = 0;
    const char* end = text + len;
    // An empty piece has no "[" and no "=": only the commit test below.
    if (text[0] == '[') {
        name[0] = comp[0] = vers[0] = path[0] = stat[0] = 0;
        open = true;
    } else if (const char* eq = find_eq(text, end)) {
        const char* value = eq + 1;
        // Each key is looked for anywhere in the piece, independently. Every
        // occurrence of a key ends at some "=", so only the four characters
        // before each "=" need a look.
        bool has[5] = {};
        static const char keys[5][5] = {"name", "comp", "vers", "path", "stat"};
        for (const char* e = eq; e; e = find_eq(e + 1, end))
            if (e - text >= 4)
                for (int k = 0; k < 5; k++)
                    if (memcmp(e - 4, keys[k], 4) == 0) has[k] = true;
        char* fields[5] = {name, comp, vers, path, stat};
        for (int k = 0; k < 5; k++)
            if (has[k]) set_field(fields[k], value, end);
    }
    if (open && name[0] && comp[0] && vers[0] && path[0]) {
        open = false;
        n++;
        return true;
    }
    return false;
}

void format_order(char (&out)[16], int n)
{
    // "%03d" without the formatter's cost: this runs once per record.
    if (n < 0 || n > 99999999) {
        snprintf(out, sizeof out, "%03d", n);
        return;
    }
    char digits[12];
    int k = 0;
    do {
        digits[k++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    while (k < 3) digits[k++] = '0';
    int i = 0;
    while (k) out[i++] = digits[--k];
    out[i] = 0;
}

std::string section_text(const char* name, const char* comp, const char* vers, const char* path)
{
    if (!name || !comp || !vers || !path) return std::string();
    if (!name[0] || !comp[0] || !vers[0] || !path[0]) return std::string();
    std::string s;
    s.reserve(64 + 2 * strlen(comp) + 2 * strlen(name) + strlen(path) + strlen(vers));
    s.append("[").append(comp).append(" ").append(name).append("]\ncomp=").append(comp);
    s.append("\nname=").append(name).append("\npath=").append(path).append("\nvers=").append(vers).append("\n\n");
    return s;
}

int write_section(FILE* f, const char* name, const char* comp, const char* vers, const char* path)
{
    if (!f) return 0;
    std::string s = section_text(name, comp, vers, path);
    if (s.empty()) return 0;
    fputs(s.c_str(), f);
    fflush(f);
    return 1;
}

void not_held_status(char (&out)[64], unsigned cp) { snprintf(out, sizeof out, "name not in code page %u", cp); }
