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
    char title[NX_PATH] = {};
    int x = 0, y = 0, width = 0, height = 0;
    // The pictures of the toolbar, and of the tree and the list; the
    // controls only borrow them, and they go with the window.
    CIml toolbar_images, item_images;

    CWin();
    HWND create(HINSTANCE inst, int show);
};

// What runs off the interface thread (msearch).
enum Busy { BUSY_NONE = 0, BUSY_SEARCH = 1, BUSY_DEVICES = 2 };

// Which view the list shows.
enum View { VIEW_NONE, VIEW_PACKAGES, VIEW_CONFIG, VIEW_INVENTORY, VIEW_DEVICES, VIEW_DEVICE };

// Shell state, one program-wide value each; ResetShellState gives the start
// values. After each: what it means; who writes it.
extern CWin mwin;       // the main window; StartConsole and CWin::create
extern int madmin;      // admin mode; the command line "/admin", and F2 (OnCommand)
extern int mview;       // a View; Clear, then OnConf and ReadCSV name theirs
extern int mdrag;       // a splitter drag is under way; WndProc
extern int msavehot;    // admin mode and Save is the toolbar's hot button; OnNotify
extern int msortdesc;   // sort descending; a column click flips it, OnSortByOrder clears it
extern int msortcol;    // sort column; a column click, OnSortByOrder (COL_ORDER)
extern int mselected;   // "Selected" of the status band; OnSelChange, OnSort, OnCheck
extern int mobjects;    // "Objects": rows of the view; the fillers, OnDelete, the search hand-over
extern int msplit;      // splitter x in main-window pixels; the drag in WndProc
extern std::atomic<int> msearch;  // a Busy; FindCMD, LoadDevices and the handlers of their results
extern std::atomic<int> mticks;   // timer ticks; WndProc adds, a search or device load resets at start and end

extern FILE* mlog;       // the console log; OpenLog, closed at the end
extern NCFG mncfg;       // share settings (set_ncfg) and connection state (ConnectShare)
extern CNet mnet;        // the console's share connection; cancels its mapping at exit
extern HTREEITEM mpkgs;  // tree node "Packages"; OnInit
extern HTREEITEM minv;   // tree node "Inventory" (user mode only); OnInit
extern HTREEITEM mcsv[10];  // inventory file nodes; OnInit
extern HTREEITEM mdevs;     // tree node "Devices" (admin mode only); AddDevicesNode
extern HTREEITEM mdevnode;  // the device opened from it; OpenDevice
extern char mtext[NX_PATH];  // menu_text's result

// Start-up and shutdown. nxwin_main is the whole program; the tests use
// StartConsole/StopConsole to drive the real window in-process.
int nxwin_main(HINSTANCE inst, const char* cmdline, int show);
HWND StartConsole(HINSTANCE inst, const char* cmdline, int show);
void StopConsole();
void ResetShellState(const char* cmdline);
void OpenLog();
// Closes the log OpenLog opened; mlog is null after it.
void CloseLog();
// Maps the share's drive once per settings (mncfg.conn, mncfg.fail).
void ConnectShare();
LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Layout, controls and status band.
int OnCreate();
void OnSize();
void OnSelChange();
void OnPaint();
const char* status_text();  // the band's left text for the current state
// width = W - msplit; out holds one width per column (at most DEV_COLS).
void column_widths(int count, int width, int* out);

// Commands and notifications.
void OnCommand(WPARAM wp);
void OnNotify(NMHDR* hdr);
int msg_box(const char* text);
char* menu_text(HMENU menu, int command);
void OnInit();
// Reads "self" into mself and, outside admin mode with self-service off,
// greys the search-and-add commands. At start, after F2 and after the
// settings were written.
void SelfService();
extern int mself;  // "self" as the console takes it (svc_self)
int ShowInfo(HINSTANCE inst, HWND owner, int dialog);
INT_PTR CALLBACK InfoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
void InfoPaint(HWND hwnd);
extern const char* const minfo_url;

// Program folder: the module path up to its last backslash.
void program_folder(char* out, size_t size);
