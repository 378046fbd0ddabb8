// The search itself: the walk of the share and the new rows, with the
// search's log lines. No window, no model: the thread hands the result on.
#include "sharelayout.h"
#include "search.h"
#include "log.h"
#include "scoped.h"
#include "strutil.h"

void search_share(const SearchJob& job, CDir& mdir, SearchResult& out, FILE* log)
{
    if (job.conn) search_tree(job.ndrv, job.uncp, job.shown, mdir, out, log);
}

// The error that left the walk of top incomplete (0 when it is complete),
// with the folder it names: a listing that failed on the way, or the top
// that can no longer be listed once the walk has ended.
static unsigned long walk_error(CDir& mdir, const char* top, bool root, const char** folder)
{
    *folder = mdir.mfailpath;
    if (mdir.mfail) return mdir.mfail;
    char pattern[NX_PATH];
    if (fmt_str(pattern, "%s\\*.*", top)) return 0;
    WIN32_FIND_DATAA fd;
    ScopedFind h(FindFirstFileA(pattern, &fd));
    unsigned long again = h ? 0 : GetLastError();
    *folder = top;
    return walk_end_error(mdir.mtoperror, again, root);
}

// One walk from top with its log lines; a walk that lost the share ends
// with a failure line naming the folder instead of "OK".
static void walk(const char* top, bool root, const char* shown_top, CDir& mdir, SearchResult& out, FILE* log)
{
    log_line(log, "mdir.find_file (%s) GO ...\n", shown_top);
    mdir.clear_list();
    if (top) {
        mdir.find_file(top, SHARE_SCRIPT, nullptr, FIND_NAME_OR_CONTENT);
        const char* folder = top;
        out.error = walk_error(mdir, top, root, &folder);
        if (out.error) {
            log_line(log, "mdir.find_file (%s) failed: %d\n", folder, (int)out.error);
            return;
        }
    }
    log_line(log, "mdir.find_file (%s) OK ...\n", shown_top);
}

void search_tree(const char* top, const char* uncp, const std::vector<std::string>& shown, CDir& mdir,
                 SearchResult& out, FILE* log)
{
    char path[NX_PATH], shown_top[NX_PATH + 4];
    mdir.mmaxdepth = 5;
    // The drive name holds at most 3 characters; a longer top that would
    // be cut is searched nowhere rather than somewhere else. The log lines
    // name uncp although the walk runs on the drive.
    snprintf(shown_top, sizeof shown_top, "%s\\" SHARE_PKG, uncp);
    walk(fmt_str(path, "%s\\" SHARE_PKG, top) ? nullptr : path, false, shown_top, mdir, out, log);
    // A lost share is not searched again from its top. A bare drive name is
    // listed from its root, which is always there.
    bool root = strlen(top) == 2 && top[1] == ':';
    if (mdir.mfound.empty() && !out.error)
        walk(fmt_str(path, "%s", top) ? nullptr : path, root, uncp, mdir, out, log);
    if (mdir.mfound.empty()) return;

    out.found = true;
    std::vector<const char*> paths;
    paths.reserve(mdir.mfound.size());
    for (WIN32_FIND_DATAA* rec : mdir.mfound) paths.push_back(rec->cFileName);
    build_rows(paths, shown, out.rows, log);
}
