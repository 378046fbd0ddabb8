// Editing the package view: check, move, delete, edit properties; and the
// small dialog helper shared with the configuration dialog.
#include "views.h"
#include "log.h"
#include "resource.h"
#include "rowsort.h"
#include "shell.h"
#include "strutil.h"
#include <stdlib.h>
#include <algorithm>

// The instance EditDlgProc works on: one edit dialog at a time.
static CEditDlg* mdlgcur;
CEditDlg mdlg;

CEditDlg::CEditDlg() { mdlgcur = this; }

INT_PTR CEditDlg::run(HINSTANCE inst, HWND owner, int dialog)
{
    mdlgcur = this;
    return DialogBoxParamA(inst, MAKEINTRESOURCEA(dialog), owner, EditDlgProc, 0);
}

INT_PTR CALLBACK EditDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CEditDlg* d = mdlgcur;
    if (!d) return 0;
    switch (msg) {
    case WM_INITDIALOG:
        for (int i = 0; i < 10; i++)
            if (HWND edit = GetDlgItem(hwnd, IDC_EDIT0 + i)) SetWindowTextA(edit, d->field[i]);
        // Let the dialog manager put the focus on the first field.
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wp);
        if (id != IDOK && id != IDCANCEL) break;
        // Esc and the close box take the typed texts over as well.
        for (int i = 0; i < 10; i++) {
            d->field[i][0] = 0;
            if (HWND edit = GetDlgItem(hwnd, IDC_EDIT0 + i)) GetWindowTextA(edit, d->field[i], sizeof d->field[i]);
        }
        EndDialog(hwnd, id);
        break;
    }
    }
    return 0;
}

// The first selected display position when it shows a row, else -1.
static int selected_row()
{
    int p = mlvw.get_next_selected(-1);
    if (p < 0 || (size_t)p >= mrows.size()) return -1;
    int r = mrows[p];
    if (r < 0 || (size_t)r >= mimages.size()) return -1;
    return p;
}

// Selects and focuses display position p alone.
static void select_only(int p)
{
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(mlvw.handle, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&it);
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(mlvw.handle, LVM_SETITEMSTATE, p, (LPARAM)&it);
}

static std::string& cell_ref(int col, int r)
{
    if (mcols[col].size() <= (size_t)r) mcols[col].resize(r + 1);
    return mcols[col][r];
}

int OnCheck()
{
    int p = selected_row();
    if (p >= 0) {
        int r = mrows[p];
        int s = mimages[r];
        bool toggle = true, checked = false;
        if (s == IMG_AVAILABLE || s == IMG_EXCLUDED) {
            mimages[r] = IMG_READY;
            cell_ref(COL_STAT, r) = "ready to install";
            checked = true;
        } else if (s == IMG_READY) {
            mimages[r] = IMG_AVAILABLE;
            cell_ref(COL_STAT, r) = "available";
        } else {
            toggle = false;
        }
        if (toggle) {
            if (mprior.size() < mimages.size()) mprior.resize(mimages.size());
            mprior[r] = 0;
            // Other versions of the same package (same name and manufacturer)
            // are crossed out while one is checked; only their picture changes.
            const std::string& name = cell_of(mcols[COL_NAME], r);
            const std::string& comp = cell_of(mcols[COL_COMP], r);
            for (int q : mrows) {
                if (q == r || q < 0 || (size_t)q >= mimages.size()) continue;
                if (cell_of(mcols[COL_NAME], q) != name || cell_of(mcols[COL_COMP], q) != comp) continue;
                int& state = mimages[q];
                if (checked) {
                    // Listed and installed rows get their state back on uncheck.
                    if (state == IMG_LISTED || state == IMG_INSTALLED) mprior[q] = state;
                    state = IMG_EXCLUDED;
                } else if (state == IMG_EXCLUDED) {
                    state = mprior[q] ? mprior[q] : IMG_AVAILABLE;
                    mprior[q] = 0;
                } else if (state != IMG_LISTED && state != IMG_INSTALLED) {
                    state = IMG_AVAILABLE;
                }
            }
        }
    }
    int ready = 0;
    for (int q : mrows)
        if (q >= 0 && (size_t)q < mimages.size() && mimages[q] == IMG_READY) ready++;
    mselected = ready;
    log_line(mlog, "OnCheck () %d OK ...\n", (int)mrows.size());
    return 0;
}

int OnMove(int flag)
{
    if (!mpkgview) {
        // Only the package view has an install order.
        log_line(mlog, "OnMove () OK ...\n");
        return 0;
    }
    int p = selected_row();
    int r = p >= 0 ? mrows[p] : -1;
    // Ascending install order, so that the row below is the next one to
    // install; in a descending display the swap would duplicate numbers.
    msortcol = COL_ORDER;
    msortdesc = 0;
    OnSort();
    // The list selects by position: after the sort the selection would name
    // whatever row now stands there. Keep it on the row the user chose.
    if (r >= 0) {
        int q = (int)(std::find(mrows.begin(), mrows.end(), r) - mrows.begin());
        if (q != p) select_only(q);
        p = q;
    }
    if (p >= 0) {
        int s = mimages[r];
        if (s >= IMG_AVAILABLE && s <= IMG_INSTALLED) {
            long long b = strtol(cell_of(mcols[COL_ORDER], r).c_str(), nullptr, 10);
            char text[24];
            int last = (int)mrows.size() - 1;
            if (!flag && p < last) {
                snprintf(text, sizeof text, "%03lld", b);
                cell_ref(COL_ORDER, mrows[p + 1]) = text;
                snprintf(text, sizeof text, "%03lld", b + 1);
                cell_ref(COL_ORDER, r) = text;
            } else if (flag && p > 0) {
                snprintf(text, sizeof text, "%03lld", b);
                cell_ref(COL_ORDER, mrows[p - 1]) = text;
                snprintf(text, sizeof text, "%03lld", b - 1);
                cell_ref(COL_ORDER, r) = text;
            }
        }
    }
    OnSort();
    // The selection follows the row.
    SendMessageA(mlvw.handle, WM_KEYDOWN, flag ? VK_UP : VK_DOWN, 0);
    log_line(mlog, "OnMove () OK ...\n");
    return 0;
}

int OnDelete()
{
    int removed = -1;
    int p = mlvw.get_next_selected(-1);
    if (p >= 0 && (size_t)p < mrows.size()) {
        removed = mrows[p];
        mlvw.set_item_count(mlvw.get_item_count() - 1);
        mrows.erase(mrows.begin() + p);
    }
    mobjects = (int)mrows.size();
    if (mwin.window) OnPaint();
    log_line(mlog, "OnDelete (%d) OK ...\n", removed);
    return 0;
}

int OnEdit(int flag)
{
    if (flag) return EditConf();
    int p = selected_row();
    medit = p;
    // Only package rows have properties to edit.
    if (p < 0 || !mpkgview) return 0;
    int r = mrows[p];
    static const int cols[4] = {COL_NAME, COL_COMP, COL_VERS, COL_PATH};
    for (int i = 0; i < 10; i++) mdlg.field[i][0] = 0;
    for (int i = 0; i < 4; i++) copy_str(mdlg.field[i], cell_of(mcols[cols[i]], r).c_str());
    mdlg.run(mwin.instance, mwin.window, IDD_EDIT);
    for (int i = 0; i < 4; i++) cell_ref(cols[i], r) = mdlg.field[i];
    if (mwin.window) OnPaint();
    log_line(mlog, "OnEdit () OK ...\n");
    return 0;
}
