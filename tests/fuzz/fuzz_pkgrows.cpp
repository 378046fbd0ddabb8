// The share's path splitting and new rows: found paths of any length and
// content, some of them already shown. Every field stays within its
// NX_PATH buffer and a shown path never makes a row.
#include "fuzzutil.h"
#include "pkgrows.h"
#include "sharelayout.h"
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
    // Splitting alone, in a single-byte and a double-byte code page.
    for (const std::string& p : found)
        for (unsigned cp : {1252u, 932u}) {
            std::string comp, name, vers;
            if (share_identity(cp, p.c_str(), &comp, &name, &vers))
                FUZZ_CHECK(!comp.empty() && comp.size() + name.size() + vers.size() < p.size());
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
        FUZZ_CHECK(r.name.size() < NX_PATH && r.comp.size() < NX_PATH && r.vers.size() < NX_PATH && r.path.size() < NX_PATH);
    }
    return 0;
}
