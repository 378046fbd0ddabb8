// How the virtual list shows, empties and sorts the list model.
#include "views.h"
#include "log.h"
#include "rowsort.h"
#include "editrules.h"
#include "shell.h"
#include <algorithm>

static const char* const package_headers[NCOLS] = {"Name", "Manufacturer", "Version", "Script", "Status", "Order"};

void Clear(ClearTo to)
{
    mmodel.clear();
    mobjects = 0;
    // The package columns stay when the package view is refilled: removing
    // and inserting the same six would only cost time.
    bool packages = to == CLEAR_PACKAGES;
    bool keep = packages && mview == VIEW_PACKAGES && mlvw.columns == NCOLS;
    mlvw.delete_all_items();
    if (!keep) mlvw.delete_all_columns();
    mlvw.set_item_count(0);
    // OnConf and ReadCSV name their view after clearing.
    mview = packages ? VIEW_PACKAGES : VIEW_NONE;
    if (packages && !keep)
        for (int i = 0; i < NCOLS; i++) mlvw.insert_column(package_headers[i], i, 0, 0);
    OnSize();
    log_line(mlog, "Clear () OK ...\n");
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

// Reorders the display with sort. The list selects by position, so the
// selection moves with its row; and the list is repainted here because
// OnPaint leaves it alone while a search runs: the commands that stay
// allowed then (Delete above all) must act on the row the user sees.
template <class Sort> static void sort_view(Sort sort)
{
    int p = mlvw.get_next_selected(-1);
    int r = p >= 0 && (size_t)p < mrows.size() ? mrows[p] : -1;
    sort();
    if (r >= 0) {
        auto at = std::find(mrows.begin(), mrows.end(), r);
        if (at != mrows.end() && at - mrows.begin() != p) mlvw.select_only((int)(at - mrows.begin()));
    }
    mlvw.invalidate();
    mselected = 0;
}

void OnSort()
{
    if (mview != VIEW_CONFIG) sort_view([] { mmodel.sort(msortcol, msortdesc); });
    if (mwin.window) OnPaint();
    log_line(mlog, "OnSort () OK ...\n");
}

void OnSortByOrder()
{
    // Ascending, whatever the last header click left: the row after is the
    // next one to install. Numbers compare as numbers here, so a move or a
    // save past row 999 finds the right neighbours.
    msortcol = COL_ORDER;
    msortdesc = 0;
    if (mview != VIEW_CONFIG) sort_view([] { sort_by_order(mmodel); });
    if (mwin.window) OnPaint();
    log_line(mlog, "OnSort () OK ...\n");
}
