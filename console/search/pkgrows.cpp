#include "pkgrows.h"
#include "log.h"
#include "strutil.h"
#include "textenc.h"
#include <string.h>
#include <unordered_set>

void split_parts(const char* path, char* file, char* vers, char* name, char* comp)
{
    char left[NX_PATH];
    copy_str(left, path);
    char* parts[4] = {file, vers, name, comp};
    for (char* part : parts) {
        char* slash = strrchr(left, '\\');
        if (slash) {
            copy_str(part, NX_PATH, slash + 1);
            *slash = 0;
        } else {
            part[0] = 0;
        }
    }
}

void build_rows(const std::vector<const char*>& paths, const std::vector<std::string>& shown,
                std::vector<SearchRow>& rows, FILE* log)
{
    // Whole texts are compared, so a shown Script longer than any path
    // buffer can never be mistaken for a found path that shares its start.
    std::unordered_set<std::string> seen(shown.begin(), shown.end());
    char path[NX_PATH], file[NX_PATH], vers[NX_PATH], name[NX_PATH], comp[NX_PATH];
    for (const char* p : paths) {
        if (!p || !p[0] || seen.count(p)) continue;
        // A cut path could equal a shown one and names no script: skipped.
        if (copy_str(path, p)) {
            log_line(log, "%.*s... skipped: longer than %d characters\n", NX_PATH - 1, p, NX_PATH - 1);
            continue;
        }
        log_line(log, "%s\n", path);
        split_parts(path, file, vers, name, comp);
        if (!comp[0] || strcmp(comp, "pkg") == 0) copy_str(comp, "ZRP");
        if (!name[0] || !vers[0] || !file[0]) continue;
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
