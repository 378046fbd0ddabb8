// Thin wrappers over the common controls: one handle, one message per
// operation, the control's answer returned as is.
#pragma once
#include <windows.h>
#include "ncfg.h"  // NX_PATH
#include <commctrl.h>
#include "scoped.h"

// An image list from a bitmap resource, owned: controls given it must not
// destroy it themselves (LVS_SHAREIMAGELISTS for a list view).
class CIml {
public:
    ScopedImageList handle;
    HIMAGELIST load(HINSTANCE inst, int bitmap, int width, int grow);
};

class CTbr {
public:
    HWND handle = nullptr;
    HWND create(HINSTANCE inst, HWND parent, DWORD style, int id);
    LRESULT set_image_list(HIMAGELIST iml);
};

class CTvw {
public:
    HWND handle = nullptr;
    char text[NX_PATH] = {};
    HWND create(HINSTANCE inst, HWND parent, DWORD style, DWORD exstyle, int id);
    HTREEITEM insert_item(const char* text, int image, HTREEITEM parent, HTREEITEM after);
    HTREEITEM get_root();
    HTREEITEM get_selection();
    char* get_item_text(HTREEITEM item);
    int get_item_height();
    int set_item_height(int height);
    LRESULT set_image_list(HIMAGELIST iml);
    LRESULT select_item(HTREEITEM item);
    LRESULT expand(HTREEITEM item, int action);
};

class CLvw {
public:
    HWND handle = nullptr;
    int columns = 0;
    HWND create(HINSTANCE inst, HWND parent, DWORD style, DWORD exstyle, int id);
    LRESULT insert_column(const char* text, int index, int width, int align);
    LRESULT set_item_count(int count);
    LRESULT set_image_list(HIMAGELIST iml);
    LRESULT set_ext_style(DWORD bits);
    LRESULT set_column_width(int column, int width);
    int get_item_image(int row);
    int get_item_count();
    int get_selected_count();
    int get_next_selected(int start);
    LRESULT delete_all_items();
    void delete_all_columns();
    // Repaints every row from the model at the next paint.
    BOOL invalidate();
    // Selects and focuses row alone and scrolls it into view.
    void select_only(int row);
};

extern CTbr mtbr;
extern CTvw mtvw;
extern CLvw mlvw;
