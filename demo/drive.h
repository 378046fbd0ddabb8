// Driving a running console from another process: its window, tree, list,
// toolbar and modal dialogs. Used by nxdrive.exe and the end-to-end tests.
// Pointers in control messages are read in the console's address space, so
// the records those messages take are placed there (RemoteBuf).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

namespace nxd {

// The console's main window (class "CWin"), or null.
HWND console();
// Waits up to ms for a visible console window; null on time-out.
HWND wait_console(int ms);
// Waits up to ms until no console window exists.
bool wait_gone(int ms);
DWORD console_pid(HWND w);

HWND tree(HWND w);      // the tree view child
HWND list(HWND w);      // the list view child
HWND toolbar(HWND w);   // the toolbar child

std::string title(HWND w);

// List view: rows on display and cell texts (display row, column).
int list_rows(HWND w);
int list_cols(HWND w);
std::string list_cell(HWND w, int row, int col);
// Picture index of a row (its state in the package views), -1 on failure.
int list_image(HWND w, int row);
std::vector<std::vector<std::string>> list_table(HWND w);
// Display row whose column col equals text, or -1.
int find_row(HWND w, int col, const std::string& text);
// Bounds of a row in the list's client coordinates.
bool row_rect(HWND w, int row, RECT* r);
// Selects exactly that row (LVM_SETITEMSTATE), as a click would.
bool select_row(HWND w, int row);

// Tree: the node with that text (depth-first), or null; selecting it
// makes the console switch its view before this returns.
HTREEITEM tree_find(HWND w, const std::string& text);
bool tree_select(HWND w, const std::string& text);
std::string tree_selected(HWND w);

// Toolbar button rectangle in the toolbar's client coordinates.
bool button_rect(HWND w, int command, RECT* r);

// Posts a command, or a key to the list (through the console's message loop
// and accelerators, as typed keys go).
void post_command(HWND w, int id);
void post_key(HWND w, UINT vk);

// Real mouse input at a point of a window's client area.
void mouse_move(HWND wnd, int x, int y);
void mouse_click(HWND wnd, int x, int y, bool twice = false);
void mouse_park();  // bottom right corner, so no tooltip shows

// Visible dialog (#32770) of the console's process with that title, or null.
HWND find_dialog(HWND w, const std::string& title);
HWND wait_dialog(HWND w, const std::string& title, int ms);
std::string dialog_text(HWND dlg);  // the longest static text
void press(HWND dlg, int id);

// Window rectangle as ImageMagick geometry "WxH+X+Y".
std::string geometry(HWND w);

}  // namespace nxd
