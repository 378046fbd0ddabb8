// Share connection and the background package search.
#include "search.h"
#include "listfile.h"
#include "log.h"
#include "editrules.h"
#include "scoped.h"
#include "shell.h"
#include "strutil.h"
#include "views.h"
#include <process.h>

void ConnectShare()
{
    if (mncfg.conn == 1) return;
    if (!mncfg.uncp[0] || !mncfg.ndrv[0]) return;
    if (mnet.WNetAddConnection(mncfg.uncp, mncfg.ndrv, mncfg.user, mncfg.pswd) == 0)
        mncfg.conn = 1;
    else
        mncfg.fail = 1;  // kept until the settings are edited
}

int FindCMD()
{
    ConnectShare();
    SearchJob* job = new (std::nothrow) SearchJob;
    if (!job) {
        log_line(mlog, "FindCMD () failed: %d\n", (int)ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    copy_str(job->uncp, mncfg.uncp);
    copy_str(job->ndrv, mncfg.ndrv);
    job->conn = mncfg.conn;
    job->shown.reserve(mrows.size());
    for (int r : mrows)
        if (r >= 0 && (size_t)r < mcols[COL_PATH].size()) job->shown.push_back(mcols[COL_PATH][r]);

    // Set here as well as in the thread, so that a second F5 arriving
    // before the thread runs is refused.
    msearch = 1;
    // Started suspended so "FindCMD () GO" precedes every line of the thread.
    ScopedHandle h((HANDLE)_beginthreadex(nullptr, 0, Thread, job, CREATE_SUSPENDED, nullptr));
    if (!h) {
        msearch = 0;
        log_line(mlog, "FindCMD () failed: %d\n", (int)GetLastError());
        delete job;
        return 0;
    }
    log_line(mlog, "FindCMD () GO ...\n");
    ResumeThread(h.get());
    return 0;
}

unsigned __stdcall Thread(void* arg)
{
    SearchJob* job = (SearchJob*)arg;
    // Never connected, and kept on purpose: its creation and end lines
    // mark the search in the log (the share is mnet's, mapped before).
    CNet* net = new (std::nothrow) CNet(mlog);
    CDir* mdir = new (std::nothrow) CDir;
    msearch = 1;
    mticks = 0;
    SearchResult result;
    if (mdir) search_share(*job, *mdir, result, mlog);
    delete job;
    // The interface thread appends the rows while this thread waits, so
    // its lines (OnSort) come before "Thread () OK".
    if (result.found || result.error) SendMessageA(mwin.window, WM_NX_SEARCHDONE, 0, (LPARAM)&result);
    msearch = 0;
    mticks = 0;
    // The network-error text must show now, not at some later paint.
    if (result.error) InvalidateRect(mwin.window, nullptr, FALSE);
    // Placing the controls belongs to the interface thread.
    SendMessageA(mwin.window, WM_SIZE, 0, 0);
    log_line(mlog, "Thread () OK ...\n");
    delete mdir;
    delete net;
    return 0;
}

LRESULT OnSearchDone(LPARAM lp)
{
    const SearchResult* result = (const SearchResult*)lp;
    if (!result) return 0;
    // The rows found so far stay; the band tells that the list is incomplete.
    if (result->error) mncfg.fail = 1;
    if (!result->found) return 0;
    // The rows may have been moved, deleted or saved while the search ran:
    // the new ones are numbered after every order number there is now.
    int k = next_order(mmodel);
    for (const SearchRow& row : result->rows) {
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
    return 0;
}
