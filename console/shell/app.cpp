// Start-up, main window, message loop and the splitter.
#include "shell.h"
#include "creg.h"
#include "log.h"
#include "resource.h"
#include "search.h"
#include "service_contract.h"
#include "strutil.h"
#include "scoped.h"
#include "views.h"

// What a second console looks for. Held until the process ends: defined
// before mnet, so it is released after mnet has cancelled its drive mapping
// (global objects go in reverse order), and no second console starts while
// that is under way.
static ScopedHandle minstance;

CWin mwin;
int madmin, mview, mdrag, msavehot, msortdesc, msortcol, mselected, mobjects, msplit = 150;
std::atomic<int> msearch{BUSY_NONE};
std::atomic<int> mticks{0};
NCFG mncfg;
// Created before the log is open, so it never writes log lines.
CNet mnet(mlog);
char mtext[NX_PATH];
static HACCEL maccel;

CWin::CWin()
{
    cursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    style = WS_OVERLAPPEDWINDOW;
    int fw = GetSystemMetrics(SM_CXFULLSCREEN), fh = GetSystemMetrics(SM_CYFULLSCREEN);
    width = 2 * fw / 3;
    height = 2 * fh / 3;
    x = (fw - width) / 2;
    y = (fh - height) / 2;
}

HWND CWin::create(HINSTANCE inst, int show)
{
    ZeroMemory(&wclass, sizeof wclass);
    wclass.style = CS_HREDRAW | CS_VREDRAW;
    wclass.lpfnWndProc = procedure;
    wclass.hCursor = cursor;
    wclass.hIcon = icon;
    wclass.hInstance = GetModuleHandleA(nullptr);
    wclass.hbrBackground = (HBRUSH)(COLOR_MENU + 1);
    wclass.lpszClassName = "CWin";
    if (!RegisterClassA(&wclass)) return nullptr;
    window = CreateWindowExA(0, "CWin", title, style, x, y, width, height, nullptr, menu, GetModuleHandleA(nullptr),
                             nullptr);
    if (!window) return nullptr;
    ShowWindow(window, show);
    return window;
}

void ResetShellState(const char* cmdline)
{
    madmin = cmdline && _stricmp(cmdline, "/admin") == 0;
    mview = mdrag = msavehot = msortdesc = msortcol = mselected = mobjects = 0;
    msearch = BUSY_NONE;
    mticks = 0;
    msplit = 150;
    mrestartby[0] = 0;
}

void program_folder(char* out, size_t size)
{
    char path[NX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) path[0] = 0;
    char* slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    copy_str(out, size, path);
}

HWND StartConsole(HINSTANCE inst, const char* cmdline, int show)
{
    OpenLog();
    log_line(mlog, "WinMain () RUN ...\n");
    ResetShellState(cmdline);
    ZeroMemory(&mncfg, sizeof mncfg);
    set_ncfg(&mncfg);
    if (int e = CReg().KeyError(SVC_ROOT, NX_KEY)) log_line(mlog, SVC_NO_KEY_LOG, NX_KEY, e);
    mwin.instance = inst;
    mwin.procedure = WndProc;
    mwin.icon = LoadIconA(inst, MAKEINTRESOURCEA(IDI_MAIN));
    mwin.menu = LoadMenuA(inst, MAKEINTRESOURCEA(IDM_MAIN));
    copy_str(mwin.title, NX_CONSOLE_TITLE);
    if (!mwin.create(inst, show)) return nullptr;
    OnCreate();
    maccel = LoadAcceleratorsA(inst, MAKEINTRESOURCEA(IDA_MAIN));
    log_line(mlog, "WinMain () MSG ...\n");
    return mwin.window;
}

void StopConsole()
{
    if (mwin.window) {
        // A worker's result still queued is taken now: once the window is
        // gone nothing takes it, and that work would never end.
        MSG m;
        for (UINT done : {WM_NX_SEARCHDONE, WM_NX_DEVICESDONE})
            while (PeekMessageA(&m, mwin.window, done, done, PM_REMOVE)) DispatchMessageA(&m);
        KillTimer(mwin.window, TIMER_ID);
        DestroyWindow(mwin.window);
    }
    UnregisterClassA("CWin", GetModuleHandleA(nullptr));
    mwin.window = nullptr;
    mtbr.handle = nullptr;
    mtvw.handle = nullptr;
    mlvw.handle = nullptr;
    mlvw.columns = 0;
    mpkgs = minv = mdevs = mdevnode = nullptr;
    for (auto& c : mcsv) c = nullptr;
    minvdir.clear_list();
    mmodel.clear();
    if (maccel) DestroyAcceleratorTable(maccel);
    maccel = nullptr;
    CloseLog();
}

int nxwin_main(HINSTANCE inst, const char* cmdline, int show)
{
    ScopedHandle instance(CreateMutexA(nullptr, TRUE, "nxwin"));
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 1;
    minstance = std::move(instance);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    if (!StartConsole(inst, cmdline, show)) {
        char text[NX_PATH];
        fmt_str(text, NX_CONSOLE_TITLE " could not create its main window (error %d).", (int)GetLastError());
        MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
        log_line(mlog, "WinMain () END ...\n");
        return 2;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(mwin.window, maccel, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    log_line(mlog, "WinMain () END ...\n");
    return 0;
}

// Keeps both panes usable: the tree and the list each keep at least this
// many pixels while the splitter is dragged.
static const int MIN_PANE = 40;

static int clamp_split(int x, int width)
{
    if (x > 0x7fff) x -= 0x10000;  // the low 16 bits of a point left of the window
    int hi = width - MIN_PANE;
    if (hi < MIN_PANE) return width / 2;
    if (x < MIN_PANE) return MIN_PANE;
    if (x > hi) return hi;
    return x;
}

static bool on_splitter(int x, int y)
{
    RECT rc;
    GetClientRect(mwin.window, &rc);
    return x != msplit && y < rc.bottom - 16;
}

// The splitter drag: a press on the splitter starts it, moves with the left
// button down place the splitter, the release ends it.
static void splitter_press(HWND hwnd, LPARAM lp)
{
    if (!on_splitter(LOWORD(lp), HIWORD(lp))) return;
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_SIZEWE));
    mdrag = 1;
    SetCapture(hwnd);
}

static void splitter_move(HWND hwnd, WPARAM wp, LPARAM lp)
{
    int x = LOWORD(lp), y = HIWORD(lp);
    if (!on_splitter(x, y) && !mdrag) return;
    SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_SIZEWE));
    if (wp != MK_LBUTTON || !mdrag) return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    msplit = clamp_split(x, rc.right);
    OnSize();
    UpdateWindow(hwnd);
}

static void splitter_release()
{
    mdrag = 0;
    ReleaseCapture();
}

// Each second: the band's animation while something loads, else the
// service's progress.
static void on_timer()
{
    if (msearch)
        OnPaint();
    else if (mview != VIEW_CONFIG && mview != VIEW_DEVICES && mview != VIEW_DEVICE)
        OnInfo();  // this device's progress, never on another device's rows
    mticks++;
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        // The controls are gone: nothing shows the pictures any more.
        mwin.toolbar_images.handle.reset();
        mwin.item_images.handle.reset();
        break;
    case WM_SIZE:
        if (mwin.window) OnSize();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_NOTIFY:
        OnNotify((NMHDR*)lp);
        return 0;
    case WM_KEYDOWN:
        if (wp == VK_F1) SendMessageA(hwnd, WM_COMMAND, CMD_HELP, 0);
        return 0;
    case WM_COMMAND:
        OnCommand(wp);
        return 0;
    case WM_TIMER:
        on_timer();
        return 0;
    case WM_NX_SEARCHDONE:
        return OnSearchDone(lp);
    case WM_NX_DEVICESDONE:
        return OnDevicesDone(lp);
    case WM_MOUSEMOVE:
        splitter_move(hwnd, wp, lp);
        return 0;
    case WM_LBUTTONDOWN:
        splitter_press(hwnd, lp);
        return 0;
    case WM_LBUTTONUP:
        splitter_release();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
