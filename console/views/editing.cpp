// Editing the package view: check, move, delete, edit properties; and the
// small dialog helper shared with the configuration dialog.
#include "views.h"
#include "log.h"
#include "resource.h"
#include "rowsort.h"
#include "editrules.h"
#include "shell.h"
#include "strutil.h"

CEditDlg mdlg;

// The dialog gets its object as the creation parameter and keeps it in
// DWLP_USER, so each open dialog works on its own fields.
INT_PTR CEditDlg::run(HINSTANCE inst, HWND owner, int dialog)
{
    return DialogBoxParamA(inst, MAKEINTRESOURCEA(dialog), owner, EditDlgProc, (LPARAM)this);
}

INT_PTR CALLBACK EditDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) SetWindowLongPtrA(hwnd, DWLP_USER, lp);
    CEditDlg* d = (CEditDlg*)GetWindowLongPtrA(hwnd, DWLP_USER);
    if (!d) return 0;
    switch (msg) {
    case WM_INITDIALOG:
        for (int i = 0; i < SVC_SETTINGS; i++)
            if (HWND edit = GetDlgItem(hwnd, IDC_EDIT0 + i)) {
                SetWindowTextA(edit, d->field[i]);
                if (d->locked[i]) SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
            }
        // Let the dialog manager put the focus on the first field.
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wp);
        if (id != IDOK && id != IDCANCEL) break;
        // Esc and the close box take the typed texts over as well.
        for (int i = 0; i < SVC_SETTINGS; i++) {
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

void OnCheck()
{
    check_row(mmodel, selected_row());
    mselected = ready_count(mmodel);
    log_line(mlog, "OnCheck () %d OK ...\n", (int)mrows.size());
}

void OnMove(MoveWay way)
{
    if (mview != VIEW_PACKAGES) {
        // Only the package view has an install order.
        log_line(mlog, "OnMove () OK ...\n");
        return;
    }
    int p = move_row(mmodel, selected_row(), way == MOVE_EARLIER);
    // Install order, ascending, for the display as well.
    OnSortByOrder();
    // The list selects by position: keep the selection on the moved row.
    if (p >= 0) mlvw.select_only(p);
    log_line(mlog, "OnMove () OK ...\n");
}

void OnDelete()
{
    int removed = -1;
    int p = mlvw.get_next_selected(-1);
    if (p >= 0 && (size_t)p < mrows.size()) {
        removed = mrows[p];
        mlvw.set_item_count(mlvw.get_item_count() - 1);
        mmodel.remove_shown(p);
    }
    mobjects = (int)mrows.size();
    if (mwin.window) OnPaint();
    log_line(mlog, "OnDelete (%d) OK ...\n", removed);
}

void OnEdit(EditWhat what)
{
    if (what == EDIT_SETTINGS) return EditConf();
    int p = selected_row();
    // Only package rows have properties to edit.
    if (p < 0 || mview != VIEW_PACKAGES) return;
    int r = mrows[p];
    static const int cols[4] = {COL_NAME, COL_COMP, COL_VERS, COL_PATH};
    for (int i = 0; i < SVC_SETTINGS; i++) mdlg.field[i][0] = 0;
    for (int i = 0; i < 4; i++) copy_str(mdlg.field[i], cell_of(mcols[cols[i]], r).c_str());
    mdlg.run(mwin.instance, mwin.window, IDD_EDIT);
    for (int i = 0; i < 4; i++) mmodel.set_cell(r, cols[i], mdlg.field[i]);
    if (mwin.window) OnPaint();
    log_line(mlog, "OnEdit () OK ...\n");
}
