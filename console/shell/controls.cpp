#include "controls.h"
#include <string.h>

CTbr mtbr;
CTvw mtvw;
CLvw mlvw;

HIMAGELIST CIml::load(HINSTANCE inst, int bitmap, int width, int grow)
{
    // CLR_DEFAULT: the top-left pixel's colour is transparent.
    handle.reset(ImageList_LoadImageA(inst, MAKEINTRESOURCEA(bitmap), width, grow, CLR_DEFAULT, IMAGE_BITMAP,
                                      LR_CREATEDIBSECTION));
    return handle.get();
}

HWND CTbr::create(HINSTANCE inst, HWND parent, DWORD style, int id)
{
    handle = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             (HMENU)(INT_PTR)id, inst, nullptr);
    if (handle) SendMessageA(handle, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    return handle;
}

LRESULT CTbr::set_image_list(HIMAGELIST iml) { return SendMessageA(handle, TB_SETIMAGELIST, 0, (LPARAM)iml); }

HWND CTvw::create(HINSTANCE inst, HWND parent, DWORD style, DWORD exstyle, int id)
{
    handle = CreateWindowExA(exstyle, WC_TREEVIEWA, nullptr, style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             (HMENU)(INT_PTR)id, inst, nullptr);
    return handle;
}

HTREEITEM CTvw::insert_item(const char* t, int image, HTREEITEM parent, HTREEITEM after)
{
    TVINSERTSTRUCTA is = {};
    is.hParent = parent ? parent : TVI_ROOT;
    is.hInsertAfter = after ? after : TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    is.item.pszText = (char*)t;
    is.item.iImage = image;
    is.item.iSelectedImage = image;
    return (HTREEITEM)SendMessageA(handle, TVM_INSERTITEMA, 0, (LPARAM)&is);
}

HTREEITEM CTvw::get_root() { return (HTREEITEM)SendMessageA(handle, TVM_GETNEXTITEM, TVGN_ROOT, 0); }

HTREEITEM CTvw::get_selection() { return (HTREEITEM)SendMessageA(handle, TVM_GETNEXTITEM, TVGN_CARET, 0); }

char* CTvw::get_item_text(HTREEITEM item)
{
    memset(text, 0, sizeof text);
    TVITEMA it = {};
    it.mask = TVIF_TEXT;
    it.hItem = item ? item : get_selection();
    it.pszText = text;
    it.cchTextMax = sizeof text;
    SendMessageA(handle, TVM_GETITEMA, 0, (LPARAM)&it);
    text[sizeof text - 1] = 0;
    return text;
}

int CTvw::get_item_height() { return (int)SendMessageA(handle, TVM_GETITEMHEIGHT, 0, 0); }
int CTvw::set_item_height(int height) { return (int)SendMessageA(handle, TVM_SETITEMHEIGHT, height, 0); }
LRESULT CTvw::set_image_list(HIMAGELIST iml) { return SendMessageA(handle, TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)iml); }
LRESULT CTvw::select_item(HTREEITEM item) { return SendMessageA(handle, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item); }
LRESULT CTvw::expand(HTREEITEM item, int action) { return SendMessageA(handle, TVM_EXPAND, action, (LPARAM)item); }

HWND CLvw::create(HINSTANCE inst, HWND parent, DWORD style, DWORD exstyle, int id)
{
    handle = CreateWindowExA(exstyle, WC_LISTVIEWA, nullptr, style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             (HMENU)(INT_PTR)id, inst, nullptr);
    columns = 0;
    return handle;
}

LRESULT CLvw::insert_column(const char* t, int index, int width, int align)
{
    LVCOLUMNA c = {};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = align == 1 ? LVCFMT_CENTER : align == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    c.cx = width;
    c.pszText = (char*)t;
    c.iSubItem = index;
    LRESULT r = SendMessageA(handle, LVM_INSERTCOLUMNA, index, (LPARAM)&c);
    columns++;
    return r;
}

LRESULT CLvw::set_item_count(int count) { return SendMessageA(handle, LVM_SETITEMCOUNT, count, 0); }
LRESULT CLvw::set_image_list(HIMAGELIST iml) { return SendMessageA(handle, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)iml); }
LRESULT CLvw::set_ext_style(DWORD bits) { return SendMessageA(handle, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)bits); }

LRESULT CLvw::set_column_width(int column, int width)
{
    return SendMessageA(handle, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width & 0xffff, 0));
}

int CLvw::get_item_image(int row)
{
    LVITEMA it = {};
    it.mask = LVIF_IMAGE;
    it.iItem = row;
    if (!SendMessageA(handle, LVM_GETITEMA, 0, (LPARAM)&it)) return 0;
    return it.iImage;
}

int CLvw::get_item_count() { return (int)SendMessageA(handle, LVM_GETITEMCOUNT, 0, 0); }
int CLvw::get_selected_count() { return (int)SendMessageA(handle, LVM_GETSELECTEDCOUNT, 0, 0); }
int CLvw::get_next_selected(int start) { return (int)SendMessageA(handle, LVM_GETNEXTITEM, start, LVNI_SELECTED); }
LRESULT CLvw::delete_all_items() { return SendMessageA(handle, LVM_DELETEALLITEMS, 0, 0); }
BOOL CLvw::invalidate() { return InvalidateRect(handle, nullptr, FALSE); }

void CLvw::select_only(int row)
{
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(handle, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&it);
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(handle, LVM_SETITEMSTATE, row, (LPARAM)&it);
    SendMessageA(handle, LVM_ENSUREVISIBLE, row, FALSE);
}

void CLvw::delete_all_columns()
{
    while (SendMessageA(handle, LVM_DELETECOLUMN, 0, 0)) {
    }
    columns = 0;
}
