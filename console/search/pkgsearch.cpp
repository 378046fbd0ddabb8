// The search itself: the walk of the share and the new rows, with the
// search's log lines. No window, no model: the thread hands the result on.
#include "search.h"
#include "log.h"
#include "strutil.h"

void search_share(const SearchJob& job, CDir& mdir, SearchResult& out, FILE* log)
{
    if (job.conn) search_tree(job.ndrv, job.uncp, job.shown, job.n, mdir, out, log);
}

void search_tree(const char* top, const char* uncp, const std::vector<std::string>& shown, int n, CDir& mdir,
                 SearchResult& out, FILE* log)
{
    char path[NX_PATH];
    // The drive name holds at most 3 characters; a longer top that would
    // be cut is searched nowhere rather than somewhere else.
    bool fits = fmt_str(path, "%s\\pkg", top) == 0;
    log_line(log, "mdir.find_file (%s\\pkg) GO ...\n", uncp);
    mdir.mmaxdepth = 5;
    mdir.clear_list();
    if (fits) mdir.find_file(path, "Install.cmd", nullptr, FIND_NAME_OR_CONTENT);
    log_line(log, "mdir.find_file (%s\\pkg) OK ...\n", uncp);

    if (mdir.mfound.empty()) {
        fits = fmt_str(path, "%s", top) == 0;
        log_line(log, "mdir.find_file (%s) GO ...\n", uncp);
        mdir.clear_list();
        if (fits) mdir.find_file(path, "Install.cmd", nullptr, FIND_NAME_OR_CONTENT);
        log_line(log, "mdir.find_file (%s) OK ...\n", uncp);
    }
    if (mdir.mfound.empty()) return;

    out.found = true;
    std::vector<const char*> paths;
    paths.reserve(mdir.mfound.size());
    for (WIN32_FIND_DATAA* rec : mdir.mfound) paths.push_back(rec->cFileName);
    build_rows(paths, shown, n, out.rows, log);
}
