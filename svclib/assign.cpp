#include "assign.h"
#include "strutil.h"
#include <string.h>

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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

std::string device_list_text(const std::vector<std::string>& lines)
{
#ifdef _WIN32
    const char* eol = "\r\n";
#else
    const char* eol = "\n";
#endif
    // Built whole and written at once: the runtime's text mode and a write
    // per line would cost more than reading the group files.
    std::string out;
    for (const std::string& entry : lines) {
        if (entry.find("<b>") != std::string::npos) continue;
        bool ended = !entry.empty() && entry.back() == '\n';
        out.append(entry, 0, entry.size() - (ended ? 1 : 0));
        out += eol;
    }
    return out;
}

