// Child controls, their layout and the status band.
#include "shell.h"
#include "scoped.h"
#include "log.h"
#include "resource.h"
#include "strutil.h"
#include "fleet.h"
#include "views.h"
#include "search.h"

int OnCreate()
{
    HINSTANCE inst = mwin.instance;
    HIMAGELIST strip_a = mwin.toolbar_images.load(inst, IDB_TOOLBAR, 16, 0);
    if (!mtbr.create(inst, mwin.window, TBSTYLE_FLAT | TBSTYLE_TOOLTIPS, IDC_TOOLBAR)) return 1;
    mtbr.set_image_list(strip_a);
    TBBUTTON buttons[6] = {
        {0, CMD_FIND, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
        {1, CMD_SAVE, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
        {2, CMD_LATER, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {3, CMD_EARLIER, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageA(mtbr.handle, TB_ADDBUTTONSA, sizeof buttons / sizeof buttons[0], (LPARAM)buttons);
    log_line(mlog, "mtbr () OK ...\n");

    HIMAGELIST strip_b = mwin.item_images.load(inst, IDB_IMAGES, 16, 10);
    if (!strip_b) msg_box("Loading the tree and list pictures (bitmap 105) failed!");
    if (!mtvw.create(inst, mwin.window,
                     TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_VSCROLL,
                     WS_EX_CLIENTEDGE, IDC_VIEW))
        return 2;
    mtvw.set_image_list(strip_b);
    if (mtvw.get_item_height() < 18) mtvw.set_item_height(18);
    log_line(mlog, "mtvw () OK ...\n");

    // The tree shows the same pictures: the list must not destroy them.
    if (!mlvw.create(inst, mwin.window, LVS_REPORT | LVS_OWNERDATA | LVS_SHAREIMAGELISTS | WS_VSCROLL,
                     WS_EX_CLIENTEDGE, IDC_VIEW))
        return 3;
    mlvw.set_image_list(strip_b);
    mlvw.set_ext_style(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    log_line(mlog, "mlvw () OK ...\n");

    OnSize();
    OnInit();
    SetTimer(mwin.window, TIMER_ID, 1000, nullptr);
    return 0;
}

void column_widths(int count, int width, int* out)
{
    if (count == 2) {
        out[0] = out[1] = (width - 8) / 2;
    } else if (count == 3) {
        out[0] = out[1] = out[2] = (width - 6) / 3;
    } else if (count == DEV_COLS) {
        int u = (width - 4) / 10;
        int w[DEV_COLS] = {2 * u, 2 * u, u, u, u, u, 2 * u};
        for (int i = 0; i < DEV_COLS; i++) out[i] = w[i];
    } else {
        int u = (width - 4) / 9;
        int w[NCOLS] = {2 * u, u, u, 2 * u, 2 * u, u};
        for (int i = 0; i < NCOLS; i++) out[i] = w[i];
    }
}

void OnSize()
{
    RECT rc;
    GetClientRect(mwin.window, &rc);
    int W = rc.right, H = rc.bottom;
    if (mtbr.handle) MoveWindow(mtbr.handle, 0, 0, W, 26, TRUE);
    if (mtvw.handle) MoveWindow(mtvw.handle, 0, 28, msplit, H - 42, TRUE);
    if (mlvw.handle) {
        MoveWindow(mlvw.handle, msplit + 3, 28, W - msplit - 3, H - 42, TRUE);
        int w[DEV_COLS];
        column_widths(mlvw.columns, W - msplit, w);
        int n = mlvw.columns == 2 ? 2 : mlvw.columns == 3 ? 3 : mlvw.columns == DEV_COLS ? (int)DEV_COLS : (int)NCOLS;
        for (int i = 0; i < n; i++) mlvw.set_column_width(i, w[i]);
    }
}

void OnSelChange()
{
    mselected = mlvw.get_selected_count();
    RECT rc;
    GetClientRect(mwin.window, &rc);
    rc.top = rc.bottom - 10;
    InvalidateRect(mwin.window, &rc, FALSE);
}

const char* status_text()
{
    static const char* const frames[4] = {"Searching Packages", "Searching Packages .", "Searching Packages ..",
                                          "Searching Packages ..."};
    static const char* const loading[4] = {"Loading Devices", "Loading Devices .", "Loading Devices ..",
                                           "Loading Devices ..."};
    if (msearch == BUSY_DEVICES) return loading[(unsigned)mticks % 4];
    if (msearch) return frames[(unsigned)mticks % 4];
    // What the user must act on comes before a network error.
    static char restart[64];
    if (mrestartby[0] && !fmt_str(restart, "Restart required by %s", mrestartby)) return restart;
    return mncfg.fail ? "Network error, check configuration!" : "Ready";
}

void OnPaint()
{
    HWND hwnd = mwin.window;
    RECT rc;
    GetClientRect(hwnd, &rc);
    int W = rc.right, H = rc.bottom;
    bool searching = msearch != 0;
    if (searching) rc.top = H - 16;
    InvalidateRect(hwnd, &rc, TRUE);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    FillRect(dc, &rc, (HBRUSH)(COLOR_BTNFACE + 1));
    // The fill covers the children; have them draw over it at once.
    if (!searching) {
        if (mtvw.handle) RedrawWindow(mtvw.handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        if (mlvw.handle) RedrawWindow(mlvw.handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    ScopedGdi<HFONT> font(CreateFontA(13, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 100, 0, "Tahoma"));
    if (font) {
        HGDIOBJ old = SelectObject(dc, font.get());
        SetBkMode(dc, TRANSPARENT);
        const char* text = status_text();
        SetTextAlign(dc, TA_BASELINE | TA_LEFT);
        TextOutA(dc, 5, H - 3, text, (int)strlen(text));
        char counts[NX_PATH];
        fmt_str(counts, "Objects: %d Selected: %d", mobjects, mselected);
        SetTextAlign(dc, TA_BASELINE | TA_RIGHT);
        TextOutA(dc, W - 5, H - 3, counts, (int)strlen(counts));
        SelectObject(dc, old);
    }
    EndPaint(hwnd, &ps);
    log_line(mlog, "OnPaint () OK ...\n");
}
