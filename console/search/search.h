// Directory finder, share connection, package search and status monitor.
#pragma once
#include <windows.h>
#include <vector>

class CDir {
public:
    std::vector<WIN32_FIND_DATAA*> mfound;
    unsigned mdepth = 0;
    unsigned mmaxdepth = 100;

    CDir() = default;
    ~CDir();
    CDir(const CDir&) = delete;
    CDir& operator=(const CDir&) = delete;
    int find_file(const char* folder, const char* name, const char* content, int mode);
    void clear_list();
};

extern CDir minvdir;

void ConnectShare();
int FindCMD();
int OnInfo();
BOOL CALLBACK MinimizeProc(HWND hwnd, LPARAM param);

// Posted to the main window by the search thread with its new rows
// (lParam owns a heap object taken over by the interface thread).
#define WM_NX_SEARCHDONE (WM_APP + 1)
LRESULT OnSearchDone(LPARAM lp);
