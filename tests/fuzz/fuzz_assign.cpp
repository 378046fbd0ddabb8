// The assignment and group file readers and the report's package columns.
// The input's first text is the device name, the second the assignment
// file, the third a group file (texts split at zero bytes; the readers
// themselves also get inputs holding zero bytes through the whole input).
#include "assign.h"
#include "fuzzutil.h"
#include <string.h>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The group file's lines one byte at a time: what the reader's faster scan
// must equal. Zero bytes dropped, Ctrl-Z ends the text, CR LF one line end,
// lines holding ";" left out.
std::vector<std::string> plain_group_lines(const std::string& text)
{
    std::vector<std::string> out;
    std::string cur;
    auto take = [&] {
        if (!cur.empty() && cur.find(';') == std::string::npos) out.push_back(cur);
        cur.clear();
    };
    for (char c : text) {
        if (c == 0x1a) break;
        if (c == 0) continue;
        cur += c;
        if (c != '\n') continue;
        if (cur.size() >= 2 && cur[cur.size() - 2] == '\r') cur.erase(cur.size() - 2, 1);
        take();
    }
    take();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string part[3];
    split_input(data, size, part, 3);
    char key[NX_PATH];
    int cut = make_device_key(key, sizeof key, part[0].c_str());
    FUZZ_CHECK(cut ? key[0] == 0 : strlen(key) == part[0].size() + 1);

    std::vector<std::string> groups;
    FILE* f = input_stream((const uint8_t*)part[1].data(), part[1].size());
    read_assignments(f, key, groups);
    fclose(f);
    for (const std::string& g : groups) {
        FUZZ_CHECK(g.size() >= 2 && g.find(',') == std::string::npos && g.find(';') == std::string::npos);
        for (char c : g) FUZZ_CHECK(!is_blank(c));
    }

    // The whole input as a group file: zero bytes, Ctrl-Z and CR reach it.
    std::vector<std::string> lines{"<b>Group"};
    f = input_stream(data, size);
    read_group_lines(f, lines);
    fclose(f);
    std::string decoded;
    TextInfo info;
    f = input_stream(data, size);
    read_text(f, ansi_code_page(), decoded, info);
    fclose(f);
    std::vector<std::string> want_lines = plain_group_lines(decoded);
    FUZZ_CHECK(std::vector<std::string>(lines.begin() + 1, lines.end()) == want_lines);
    for (size_t i = 1; i < lines.size(); i++) {
        const std::string& l = lines[i];
        FUZZ_CHECK(!l.empty() && l.find(';') == std::string::npos && l.find('\0') == std::string::npos);
        size_t nl = l.find('\n');
        FUZZ_CHECK(nl == std::string::npos || nl == l.size() - 1);
    }

    std::vector<std::string> names, versions;
    build_package_columns(lines, names, versions);
    for (const std::string& v : names)
        if (v.compare(0, 3, "<b>") != 0) FUZZ_CHECK(v.find('<') == std::string::npos);

    // The device list holds every line without "<b>", each ending in one line feed.
    size_t written = device_list_text(lines).size();
    size_t want = 0;
    for (const std::string& l : lines)
        if (l.find("<b>") == std::string::npos) want += l.size() + (l.empty() || l.back() != '\n');
    FUZZ_CHECK(written == want);
    return 0;
}
