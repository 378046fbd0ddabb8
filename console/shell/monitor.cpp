// Service status monitor: the progress text of the package being
// installed, and clearing the desktop on the first tick.
#include "search.h"
#include "creg.h"
#include "log.h"
#include "editrules.h"
#include "service_contract.h"
#include "shell.h"
#include "strutil.h"
#include "views.h"
#include "resource.h"

char mcurcomp[NX_PATH], mcurname[NX_PATH];

// Texts of windows that stay as they are; the last keeps the console's own.
static const char* const mkeep[] = {"People", "Start", "Store", "System", NX_CONSOLE_TITLE};

BOOL CALLBACK MinimizeProc(HWND hwnd, LPARAM param)
{
    if (!hwnd || !IsWindowVisible(hwnd)) return TRUE;
    char title[NX_PATH] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    title[sizeof title - 1] = 0;
    if (!title[0]) return TRUE;
    for (const char* keep : mkeep)
        if (strstr(title, keep)) return TRUE;
    log_line(mlog, "minimize:%s\n", title);
    ShowWindowAsync(hwnd, SW_SHOWMINIMIZED);
    return TRUE;
}

char mrestartby[32];

// The restart deadline the service keeps: on change, the band is painted
// again and "Restart Now" comes onto or leaves the menu bar.
static void restart_deadline(CReg& reg)
{
    char by[32] = "";
    const char* text = reg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_RESTART_BY);
    if (text && strlen(text) < sizeof by) copy_str(by, text);
    if (strcmp(by, mrestartby) == 0) return;
    copy_str(mrestartby, by);
    log_line(mlog, "OnInfo (restart by %s) OK ...\n", by[0] ? by : "-");
    if (!mwin.window) return;
    if (HMENU bar = GetMenu(mwin.window)) {
        RemoveMenu(bar, CMD_RESTART, MF_BYCOMMAND);
        if (by[0]) AppendMenuA(bar, MF_STRING, CMD_RESTART, "&Restart Now");
        DrawMenuBar(mwin.window);
    }
    InvalidateRect(mwin.window, nullptr, FALSE);
}

void OnInfo()
{
    int n = mlvw.get_item_count();
    CReg reg;
    restart_deadline(reg);
    const char* const names[3] = {SVC_NOW_COMP, SVC_NOW_NAME, SVC_NOW_VERS};
    // The version must be there too, but names no row: only its presence.
    char* const bufs[3] = {mcurcomp, mcurname, nullptr};
    int present = 0;
    bool cut = false;  // a name or manufacturer longer than its buffer
    for (int i = 0; i < 3; i++) {
        // Read twice on purpose (CReg::ReadStr).
        if (!reg.ReadStr(SVC_ROOT, NX_KEY_PKGS, names[i])) continue;
        present++;
        if (!bufs[i]) continue;
        // Values longer than the buffers are cut, and a cut name or
        // manufacturer names no row (list fields are never that long).
        if (const char* text = reg.ReadStr(SVC_ROOT, NX_KEY_PKGS, names[i]))
            cut = snprintf(bufs[i], NX_PATH, "%s", text) >= NX_PATH || cut;
    }
    if (present < 3) return;
    bool first = mticks == 0;
    if (first) EnumDesktopWindows(nullptr, MinimizeProc, 0);

    // The rows on display, as the list shows them.
    std::vector<int> rows;
    bool listed = info_rows(mmodel, n, mcurname, mcurcomp, rows);
    if (cut) rows.clear();
    for (int r : rows) {
        if (!reg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO)) continue;
        const char* text = reg.ReadStr(SVC_ROOT, NX_KEY_PKGS, SVC_NOW_INFO);
        if (!text) continue;
        char info[NX_PATH];
        snprintf(info, sizeof info, "%s", text);
        mmodel.set_cell(r, COL_STAT, info);
    }
    // The list asks the model for its texts again at its next paint.
    if (listed && mlvw.handle) RedrawWindow(mlvw.handle, nullptr, nullptr, RDW_INVALIDATE);
    if (first) log_line(mlog, "OnInfo () OK ...\n");
}
