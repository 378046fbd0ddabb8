// The search's path splitting and new rows: found paths of any length and
// content, some of them already shown. Every field stays within its
// 260-character buffer and a shown path never makes a row.
#include "fuzzutil.h"
#include "pkgrows.h"
#include <string.h>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string part[2];
    split_input(data, size, part, 2);
    std::vector<std::string> found, shown;
    for (int k = 0; k < 2; k++) {
        std::vector<std::string>& into = k ? shown : found;
        size_t start = 0;
        const std::string& s = part[k];
        while (start <= s.size()) {
            size_t nl = s.find('\n', start);
            if (nl == std::string::npos) nl = s.size();
            into.push_back(s.substr(start, nl - start));
            start = nl + 1;
        }
    }
    // Splitting alone, on buffers with guards behind them.
    for (const std::string& p : found) {
        char file[261], vers[261], name[261], comp[261];
        file[260] = vers[260] = name[260] = comp[260] = 0x5a;
        split_parts(p.c_str(), file, vers, name, comp);
        FUZZ_CHECK(file[260] == 0x5a && vers[260] == 0x5a && name[260] == 0x5a && comp[260] == 0x5a);
        FUZZ_CHECK(strlen(file) < 260 && strlen(vers) < 260 && strlen(name) < 260 && strlen(comp) < 260);
    }
    std::vector<const char*> paths;
    for (const std::string& p : found) paths.push_back(p.c_str());
    paths.push_back(nullptr);  // the finder never gives one, but the rows must not mind
    std::vector<SearchRow> rows;
    build_rows(paths, shown, rows, nullptr);
    std::set<std::string> seen(shown.begin(), shown.end()), given(found.begin(), found.end());
    for (const SearchRow& r : rows) {
        FUZZ_CHECK(!r.name.empty() && !r.comp.empty() && !r.vers.empty() && !seen.count(r.path));
        FUZZ_CHECK(given.count(r.path));  // a found path as it is, never cut
        FUZZ_CHECK(r.name.size() < 260 && r.comp.size() < 260 && r.vers.size() < 260 && r.path.size() < 260);
    }
    return 0;
}
