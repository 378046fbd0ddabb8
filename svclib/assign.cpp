#include "assign.h"
#include <string.h>

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void strip_blanks(std::string& line)
{
    std::string out;
    out.reserve(line.size());
    for (char c : line)
        if (!is_blank(c)) out += c;
    if (!out.empty()) line.swap(out);
}

bool read_line(FILE* f, std::string& line)
{
    line.clear();
    char piece[260];
    for (;;) {
        // Filled first so the terminating zero that fgets writes can be told
        // from zero bytes inside the data, which are dropped.
        memset(piece, 0x7f, sizeof piece);
        if (!fgets(piece, sizeof piece, f)) break;
        size_t n = sizeof piece - 1;
        while (n > 0 && piece[n] != 0) n--;
        if (!memchr(piece, 0, n))
            line.append(piece, n);
        else
            for (size_t i = 0; i < n; i++)
                if (piece[i]) line += piece[i];
        if (n > 0 && piece[n - 1] == '\n') return true;
    }
    return !line.empty();
}

int make_device_key(char* key, size_t size, const char* name)
{
    if (size == 0) return 1;
    key[0] = 0;
    if (!name || !name[0]) return 1;
    int r = snprintf(key, size, "%s=", name);
    if (r < 0 || (size_t)r >= size) {
        key[0] = 0;  // a cut key could match another device
        return 1;
    }
    return 0;
}

void parse_assignment_line(std::string line, const char* key, std::vector<std::string>& groups)
{
    if (!key || !key[0]) return;
    strip_blanks(line);
    if (line.find(';') != std::string::npos) return;
    size_t klen = strlen(key);
    // The key must begin the line: PC1= must not take the groups of XPC1=.
    if (line.compare(0, klen, key) != 0) return;
    size_t pos = klen;
    while (pos <= line.size()) {
        size_t comma = line.find(',', pos);
        if (comma == std::string::npos) comma = line.size();
        if (comma - pos >= 2) groups.push_back(line.substr(pos, comma - pos));
        pos = comma + 1;
    }
}

void read_assignments(FILE* f, const char* key, std::vector<std::string>& groups)
{
    std::string line;
    while (read_line(f, line)) {
        if (!line.empty() && line.back() == '\n') line.pop_back();
        parse_assignment_line(line, key, groups);
    }
}

void read_group_lines(FILE* f, std::vector<std::string>& lines)
{
    std::string line;
    while (read_line(f, line))
        if (line.find(';') == std::string::npos) lines.push_back(line);
}

std::string html_escape(const char* text)
{
    std::string out;
    if (!text) return out;
    for (const char* p = text; *p; p++) {
        switch (*p) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += *p; break;
        }
    }
    return out;
}

bool key_word(const std::string& entry, const char* key, std::string& word)
{
    size_t klen = strlen(key);
    if (entry.compare(0, klen, key) != 0) return false;
    size_t p = klen;
    while (p < entry.size() && is_blank(entry[p])) p++;
    size_t e = p;
    while (e < entry.size() && !is_blank(entry[e]) && e - p < 259) e++;
    if (e == p) return false;
    word.assign(entry, p, e - p);
    return true;
}

void build_package_columns(const std::vector<std::string>& lines, std::vector<std::string>& names,
                           std::vector<std::string>& versions)
{
    names.clear();
    versions.clear();
    std::string word;
    for (const std::string& entry : lines) {
        if (entry.find("<b>") != std::string::npos) {
            // The group marker's "<b>" is the report's markup; the rest is text.
            std::string text = entry.compare(0, 3, "<b>") == 0 ? entry.substr(3) : entry;
            names.push_back("<b>" + html_escape(text));
            versions.push_back("---");
        }
        if (key_word(entry, "name=", word)) names.push_back(html_escape(word));
        if (key_word(entry, "vers=", word)) versions.push_back(html_escape(word));
    }
}

void write_device_list(FILE* f, const std::vector<std::string>& lines)
{
    for (const std::string& entry : lines) {
        if (entry.find("<b>") != std::string::npos) continue;
        fputs(entry.c_str(), f);
        if (entry.empty() || entry.back() != '\n') fputc('\n', f);
    }
}
