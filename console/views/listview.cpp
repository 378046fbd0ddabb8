// How the virtual list shows, empties and sorts the list model.
#include "views.h"
#include "log.h"
#include "rowsort.h"
#include "rules.h"
#include "shell.h"

static const char* const package_headers[NCOLS] = {"Name", "Manufacturer", "Version", "Script", "Status", "Order"};

int Clear(int flag)
{
    mmodel.clear();
    mobjects = 0;
    // The package columns stay when the package view is refilled: removing
    // and inserting the same six would only cost time.
    bool keep = flag && mview == VIEW_PACKAGES && mlvw.columns == NCOLS;
    mlvw.delete_all_items();
    if (!keep) mlvw.delete_all_columns();
    mlvw.set_item_count(0);
    // OnConf and ReadCSV name their view after clearing.
    mview = flag ? VIEW_PACKAGES : VIEW_NONE;
    if (flag && !keep)
        for (int i = 0; i < NCOLS; i++) mlvw.insert_column(package_headers[i], i, 0, 0);
    OnSize();
    log_line(mlog, "Clear () OK ...\n");
    return 0;
}

void OnGetDispInfo(NMLVDISPINFOA* info)
{
    if (!info) return;
    if (mview == VIEW_DEVICES) return DevicesDispInfo(info);
    LVITEMA& it = info->item;
    static char empty[1] = "";
    int r = it.iItem;
    if (!mrows.empty()) r = it.iItem >= 0 && (size_t)it.iItem < mrows.size() ? mrows[it.iItem] : -1;
    if (r < 0 || mcols[0].empty() || (size_t)r >= mcols[0].size()) {
        // Nothing to show; never leave the list's own buffer unanswered.
        if (it.mask & LVIF_TEXT) it.pszText = empty;
        if (it.mask & LVIF_IMAGE) it.iImage = I_IMAGENONE;
        return;
    }
    // The list may ask for the image only, the text only, or both.
    if (it.mask & LVIF_IMAGE) it.iImage = (size_t)r < mimages.size() ? mimages[r] : I_IMAGENONE;
    if (it.mask & LVIF_TEXT) {
        int sub = it.iSubItem;
        // Handed out by reference: the list copies what it needs.
        it.pszText = sub >= 0 && sub < NCOLS && (size_t)r < mcols[sub].size() ? (char*)mcols[sub][r].c_str() : empty;
    }
}

bool CompareRows(int a, int b) { return row_less(mcols, msortcol, msortdesc, a, b); }

int OnSort()
{
    if (mview != VIEW_CONFIG) {
        // The same order as CompareRows, from a key array.
        mmodel.sort(msortcol, msortdesc);
        mselected = 0;
    }
    if (mwin.window) OnPaint();
    log_line(mlog, "OnSort () OK ...\n");
    return 0;
}

int OnSortByOrder()
{
    // Ascending, whatever the last header click left: the row after is the
    // next one to install. Numbers compare as numbers here, so a move or a
    // save past row 999 finds the right neighbours.
    msortcol = COL_ORDER;
    msortdesc = 0;
    if (mview != VIEW_CONFIG) {
        sort_by_order(mmodel);
        mselected = 0;
    }
    if (mwin.window) OnPaint();
    log_line(mlog, "OnSort () OK ...\n");
    return 0;
}
