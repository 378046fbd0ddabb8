// The background package search and the hand-over of its rows.
#include "search.h"
#include "listfile.h"
#include "log.h"
#include "editrules.h"
#include "scoped.h"
#include "shell.h"
#include "strutil.h"
#include "views.h"
#include "handover.h"
#include <process.h>

void FindCMD()
{
    ConnectShare();
    SearchJob* job = new (std::nothrow) SearchJob;
    if (!job) {
        log_line(mlog, "FindCMD () failed: %d\n", (int)ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    copy_str(job->uncp, mncfg.uncp);
    copy_str(job->ndrv, mncfg.ndrv);
    job->conn = mncfg.conn;
    job->shown.reserve(mrows.size());
    for (int r : mrows)
        if (r >= 0 && (size_t)r < mcols[COL_PATH].size()) job->shown.push_back(mcols[COL_PATH][r]);

    // Set here as well as in the thread, so that a second F5 arriving
    // before the thread runs is refused.
    msearch = BUSY_SEARCH;
    // Started suspended so "FindCMD () GO" precedes every line of the thread.
    ScopedHandle h((HANDLE)_beginthreadex(nullptr, 0, Thread, job, CREATE_SUSPENDED, nullptr));
    if (!h) {
        msearch = BUSY_NONE;
        log_line(mlog, "FindCMD () failed: %d\n", (int)GetLastError());
        delete job;
        return;
    }
    log_line(mlog, "FindCMD () GO ...\n");
    ResumeThread(h.get());
}

unsigned __stdcall Thread(void* arg)
{
    std::unique_ptr<SearchJob> job((SearchJob*)arg);
    std::unique_ptr<SearchResult> result(new (std::nothrow) SearchResult);
    // Never connected, and kept on purpose: its creation and end lines
    // mark the search in the log (the share is mnet's, mapped before). It
    // travels with the result, so its end line follows the interface
    // thread's lines.
    if (result) result->net.reset(new (std::nothrow) CNet(mlog));
    msearch = BUSY_SEARCH;
    mticks = 0;
    if (result) {
        CDir mdir;
        search_share(*job, mdir, *result, mlog);
    }
    job.reset();
    if (post_result(mwin.window, WM_NX_SEARCHDONE, result)) return 0;
    // No window takes the rows: the search ends here, and its result with it.
    msearch = BUSY_NONE;
    mticks = 0;
    log_line(mlog, "Thread () OK ...\n");
    return 0;
}

// The found rows, appended on the interface thread after every row there
// is now; sorted once.
static void append_found(const SearchResult& result)
{
    // The rows may have been moved, deleted or saved while the search ran:
    // the new ones are numbered after every order number there is now.
    int k = next_order(mmodel);
    for (const SearchRow& row : result.rows) {
        char order[16], status[64] = "available";
        format_order(order, k++);
        if (!row.held) not_held_status(status, ansi_code_page().id);
        const char* const cells[NCOLS] = {row.name.c_str(), row.comp.c_str(), row.vers.c_str(),
                                          row.path.c_str(), status,           order};
        mmodel.append(cells, NCOLS, row.held ? IMG_AVAILABLE : IMG_LISTED);
    }
    mobjects = (int)mrows.size();
    mlvw.set_item_count(mobjects);
    OnSort();
}

LRESULT OnSearchDone(LPARAM lp)
{
    std::unique_ptr<SearchResult> result = take_result<SearchResult>(lp);
    // The rows found so far stay; the band tells that the list is incomplete.
    if (result && result->error) mncfg.fail = 1;
    if (result && result->found) append_found(*result);
    msearch = BUSY_NONE;
    mticks = 0;
    // The network-error text must show now, not at some later paint.
    if (result && result->error) InvalidateRect(mwin.window, nullptr, FALSE);
    OnSize();
    log_line(mlog, "Thread () OK ...\n");
    return 0;
}
