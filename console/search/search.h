// Directory finder, package search and status monitor.
#pragma once
#include <windows.h>
#include "ncfg.h"  // NX_PATH
#include <stdio.h>
#include <string>
#include <vector>
#include <memory>
#include "cnet.h"
#include "pkgrows.h"

// How find_file picks files.
enum FindMode {
    FIND_NAME_OR_CONTENT = 0,  // name matches, or (no name given) content does
    FIND_NAME_AND_CONTENT = 1,
};

class CDir {
public:
    std::vector<WIN32_FIND_DATAA*> mfound;
    unsigned mdepth = 0;
    unsigned mmaxdepth = 100;
    // A listing that ended with an error other than its normal end
    // (listing_failed): its error and folder, kept until clear_list. Such
    // an error stops the walk (mstop) unless it only denied access to that
    // one folder. mtoperror: the error of listing the outermost folder (0
    // when it listed).
    unsigned long mfail = 0;
    char mfailpath[NX_PATH] = {};
    bool mstop = false;
    unsigned long mtoperror = 0;

    CDir() = default;
    ~CDir();
    CDir(const CDir&) = delete;
    CDir& operator=(const CDir&) = delete;
    void find_file(const char* folder, const char* name, const char* content, int mode);
    void clear_list();

private:
    void find_wide(const wchar_t* folder, const char* name, const char* content, int mode);
    void note_failure(const char* folder, unsigned long error);
};

extern CDir minvdir;

// The name test of find_file: a case-sensitive substring, or equality
// without regard to the case of A to Z.
bool name_matches(const char* entry, const char* name);

void FindCMD();
void OnInfo();
BOOL CALLBACK MinimizeProc(HWND hwnd, LPARAM param);

// Posted to the main window by the search thread with its result (a heap
// SearchResult, post_result); OnSearchDone takes it, appends the rows and
// ends the search.
#define WM_NX_SEARCHDONE (WM_APP + 1)
LRESULT OnSearchDone(LPARAM lp);

// What the search thread works from, copied on the interface thread so
// that the thread reads neither the model nor mncfg.
struct SearchJob {
    char uncp[NX_PATH] = {};
    char ndrv[4] = {};
    int conn = 0;
    std::vector<std::string> shown;  // Script cells of the rows on display
};

// What the search thread hands to the interface thread, which owns it
// from then on.
struct SearchResult {
    bool found = false;  // some script was found, shown already or not
    unsigned long error = 0;  // the walk lost the share: the list is incomplete
    std::vector<SearchRow> rows;
    std::unique_ptr<CNet> net;  // the search's log mark: ends with the result
};

// The walk and the new rows, with the search's log lines: everything the
// search thread does between its start and the hand-over.
void search_share(const SearchJob& job, CDir& mdir, SearchResult& out, FILE* log);
// The same from any top folder ("<top>\\pkg" first, then "<top>"); the
// log lines name uncp.
void search_tree(const char* top, const char* uncp, const std::vector<std::string>& shown, CDir& mdir,
                 SearchResult& out, FILE* log);
// The search thread; takes ownership of a heap SearchJob.
unsigned __stdcall Thread(void* job);

// Last package the service announced (status monitor).
extern char mcurcomp[NX_PATH], mcurname[NX_PATH];
// The deadline of a restart the service put off ("YYYY-MM-DD hh:mm:ss"),
// empty when none; OnInfo keeps it, the status band and the menu bar's
// "Restart Now" show it.
extern char mrestartby[32];
