#include "assignment.h"
#include "strutil.h"
#include <stdint.h>
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

LineReader::LineReader(FILE* f, TextInfo* info) : in(f, ansi_code_page(), info ? *info : own) {}

// How many bytes from s on are neither a line feed, nor Ctrl-Z, nor zero:
// eight at a time while none is a control character, as nearly every byte
// of a list is. The C runtime's memchr under Wine looks at one byte at a
// time through a call, three times a line.
static size_t plain_span(const char* s, size_t n)
{
    size_t i = 0;
    for (uint64_t v; n - i >= 8; i += 8) {
        memcpy(&v, s + i, 8);
        if ((v - 0x2020202020202020ull) & ~v & 0x8080808080808080ull) break;
    }
    while (i < n && s[i] != '\n' && s[i] != 0x1a && s[i] != 0) i++;
    return i;
}

bool LineReader::next(std::string& line)
{
    line.clear();
    for (;;) {
        if (pos >= n) {
            if (ended || !in.next(p, n)) {
                ended = true;
                n = pos = 0;
                return !line.empty();
            }
            pos = 0;
        }
        size_t run = plain_span(p + pos, n - pos);
        line.append(p + pos, run);
        pos += run;
        if (pos >= n) continue;  // the line goes on in the next stretch
        char c = p[pos++];
        if (c == 0) continue;  // dropped
        if (c == 0x1a) {       // Ctrl-Z: the end of a text file
            ended = true;
            n = pos = 0;
            return !line.empty();
        }
        line += c;
        if (c == '\n') break;
    }
    // CR LF is one line end.
    if (line.size() >= 2 && line[line.size() - 2] == '\r') line.erase(line.size() - 2, 1);
    return true;
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

// Whether the line, read without its white space, begins with the key;
// cheap enough to run on every line of a large file.
static bool begins_with_key(const std::string& line, const char* key)
{
    const char* k = key;
    for (char c : line) {
        if (!*k) return true;
        if (is_blank(c)) continue;
        if (c != *k) return false;
        k++;
    }
    return !*k;
}

void parse_assignment_line(std::string line, const char* key, std::vector<std::string>& groups)
{
    if (!key || !key[0]) return;
    // The key must begin the line: PC1= must not take the groups of XPC1=.
    if (!begins_with_key(line, key)) return;
    strip_blanks(line);
    if (line.find(';') != std::string::npos) return;
    size_t klen = strlen(key);
    if (line.compare(0, klen, key) != 0) return;  // a key holding white space
    size_t pos = klen;
    while (pos <= line.size()) {
        size_t comma = line.find(',', pos);
        if (comma == std::string::npos) comma = line.size();
        if (comma - pos >= 2) groups.push_back(line.substr(pos, comma - pos));
        pos = comma + 1;
    }
}

void read_assignments(FILE* f, const char* key, std::vector<std::string>& groups, TextInfo* info)
{
    LineReader reader(f, info);
    if (!key || !key[0]) return;
    std::string line;
    while (reader.next(line)) {
        if (!begins_with_key(line, key)) continue;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        parse_assignment_line(line, key, groups);
    }
}

void read_group_lines(FILE* f, std::vector<std::string>& lines, TextInfo* info)
{
    LineReader reader(f, info);
    std::string line;
    while (reader.next(line))
        if (line.find(';') == std::string::npos) lines.push_back(line);
}

unsigned long share_read_error(bool opened, bool read_failed, unsigned long open_error, unsigned long folder_error)
{
    if (opened) return read_failed ? (folder_error ? folder_error : NX_ERR_READ_FAULT) : 0;
    if (open_error && open_error != NX_ERR_FILE_NOT_FOUND && open_error != NX_ERR_PATH_NOT_FOUND) return open_error;
    return folder_error;
}
