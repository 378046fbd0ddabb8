#include "pkgrows.h"
#include "log.h"
#include "sharelayout.h"
#include "strutil.h"
#include "textenc.h"
#include <string.h>
#include <unordered_set>

void build_rows(const std::vector<const char*>& paths, const std::vector<std::string>& shown,
                std::vector<SearchRow>& rows, FILE* log)
{
    // Whole texts are compared, so a shown Script longer than any path
    // buffer can never be mistaken for a found path that shares its start.
    std::unordered_set<std::string> seen(shown.begin(), shown.end());
    char path[NX_PATH];
    std::string comp, name, vers;
    unsigned cp = ansi_code_page().id;
    for (const char* p : paths) {
        if (!p || !p[0] || seen.count(p)) continue;
        // A cut path could equal a shown one and names no script: skipped.
        if (copy_str(path, p)) {
            log_line(log, "%.*s... skipped: longer than %d characters\n", NX_PATH - 1, p, NX_PATH - 1);
            continue;
        }
        log_line(log, "%s\n", path);
        if (!share_identity(cp, path, &comp, &name, &vers)) continue;
        bool held = !has_not_held(path);
        if (!held)
            log_line(log, "%s not in code page %u, failed: %d\n", path, ansi_code_page().id,
                     (int)NX_ERR_NO_UNICODE_TRANSLATION);
        rows.push_back(SearchRow{name, comp, vers, path, held});
    }
}

bool listing_failed(unsigned long error, bool first)
{
    if (first) return error != 0 && error != NX_ERR_FILE_NOT_FOUND && error != NX_ERR_PATH_NOT_FOUND;
    return error != 0 && error != NX_ERR_NO_MORE_FILES;
}

unsigned long walk_end_error(unsigned long at_start, unsigned long at_end, bool root)
{
    if (root && at_start && at_start != NX_ERR_FILE_NOT_FOUND) return at_start;
    if (!at_start && at_end) return at_end;
    return 0;
}
