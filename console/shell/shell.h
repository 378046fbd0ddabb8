// Program-wide state and operations of the console shell.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <atomic>
#include "ncfg.h"
#include "cnet.h"
#include "controls.h"

class CWin {
public:
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    WNDCLASSA wclass = {};
    WNDPROC procedure = nullptr;
    HCURSOR cursor = nullptr;
    HICON icon = nullptr;
    HMENU menu = nullptr;
    DWORD style = 0;
    char title[260] = {};
    int x = 0, y = 0, width = 0, height = 0;

    CWin();
    HWND create(HINSTANCE inst, int show);
};

// Shell state; see the start-up code for the initial values.
extern CWin mwin;
extern int madmin, mconf, mdrag, msavehot, msortdesc, medit, msortcol, mselected, mobjects, msplit;
extern std::atomic<int> msearch;  // written by the search thread
extern std::atomic<int> mticks;   // written by the timer and the search thread

extern FILE* mlog;
extern NCFG mncfg;
extern CNet mnet;
extern HTREEITEM mpkgs, minv, mcsv[10];
extern char mtext[260];

// Start-up and shutdown. nxwin_main is the whole program; the tests use
// StartConsole/StopConsole to drive the real window in-process.
int nxwin_main(HINSTANCE inst, const char* cmdline, int show);
HWND StartConsole(HINSTANCE inst, const char* cmdline, int show);
void StopConsole();
void ResetShellState(const char* cmdline);
int OpenLog();
LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Layout, controls and status band.
int OnCreate();
int OnSize();
int OnSelChange();
int OnPaint();
const char* status_text();  // the band's left text for the current state
void column_widths(int count, int width, int out[6]);  // width = W - msplit

// Commands and notifications.
void OnCommand(WPARAM wp);
void OnNotify(NMHDR* hdr);
int msg_box(const char* text);
char* menu_text(HMENU menu, int command);
int OnInit();
int ShowInfo(HINSTANCE inst, HWND owner, int dialog);
INT_PTR CALLBACK InfoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
void InfoPaint(HWND hwnd);
extern const char* const minfo_url;

// Program folder: the module path up to its last backslash.
void program_folder(char* out, size_t size);
