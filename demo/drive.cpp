#include "drive.h"
#include "ncfg.h"  // NX_PATH
#include "scoped.h"
#include <commctrl.h>
#include <string.h>

namespace nxd {

namespace {

// Memory in the console's process for the records of control messages.
class RemoteBuf {
public:
    RemoteBuf(HWND w, size_t size) : size_(size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        proc_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (proc_) mem_ = (char*)VirtualAllocEx(proc_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    RemoteBuf(const RemoteBuf&) = delete;
    RemoteBuf& operator=(const RemoteBuf&) = delete;
    ~RemoteBuf()
    {
        if (mem_) VirtualFreeEx(proc_.get(), mem_, 0, MEM_RELEASE);
    }
    bool ok() const { return mem_ != nullptr; }
    char* at(size_t off) const { return mem_ + off; }
    bool put(size_t off, const void* data, size_t n)
    {
        SIZE_T done = 0;
        return off + n <= size_ && WriteProcessMemory(proc_.get(), mem_ + off, data, n, &done) && done == n;
    }
    bool get(size_t off, void* data, size_t n)
    {
        SIZE_T done = 0;
        return off + n <= size_ && ReadProcessMemory(proc_.get(), mem_ + off, data, n, &done) && done == n;
    }

private:
    ScopedHandle proc_;
    char* mem_ = nullptr;
    size_t size_;
};

struct ChildFind {
    const char* cls;
    HWND found;
};

BOOL CALLBACK child_by_class(HWND h, LPARAM lp)
{
    ChildFind* f = (ChildFind*)lp;
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    if (_stricmp(cls, f->cls) == 0) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

HWND child(HWND w, const char* cls)
{
    if (!w) return nullptr;
    ChildFind f = {cls, nullptr};
    EnumChildWindows(w, child_by_class, (LPARAM)&f);
    return f.found;
}

struct DialogFind {
    DWORD pid;
    const std::string* title;
    HWND found;
};

BOOL CALLBACK dialog_of(HWND h, LPARAM lp)
{
    DialogFind* f = (DialogFind*)lp;
    char cls[64], text[256];
    GetClassNameA(h, cls, sizeof cls);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != f->pid || strcmp(cls, "#32770") != 0 || !IsWindowVisible(h)) return TRUE;
    GetWindowTextA(h, text, sizeof text);
    if (*f->title == text) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK longest_static(HWND h, LPARAM lp)
{
    char cls[32];
    GetClassNameA(h, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0) {
        char t[1024];
        GetWindowTextA(h, t, sizeof t);
        std::string* best = (std::string*)lp;
        if (strlen(t) > best->size()) *best = t;
    }
    return TRUE;
}

std::string tree_text(HWND tv, HTREEITEM item)
{
    RemoteBuf rb(tv, sizeof(TVITEMA) + NX_PATH);
    if (!rb.ok()) return "";
    TVITEMA it = {};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = item;
    it.pszText = rb.at(sizeof it);
    it.cchTextMax = NX_PATH;
    char zero = 0;
    rb.put(sizeof it, &zero, 1);
    rb.put(0, &it, sizeof it);
    if (!SendMessageA(tv, TVM_GETITEMA, 0, (LPARAM)rb.at(0))) return "";
    char text[261] = {};
    rb.get(sizeof it, text, NX_PATH);
    return text;
}

HTREEITEM tree_walk(HWND tv, HTREEITEM item, const std::string& text)
{
    for (; item; item = (HTREEITEM)SendMessageA(tv, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item)) {
        if (tree_text(tv, item) == text) return item;
        HTREEITEM c = (HTREEITEM)SendMessageA(tv, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)item);
        if (HTREEITEM f = tree_walk(tv, c, text)) return f;
    }
    return nullptr;
}

// Every event carries its absolute screen position, so that no event is
// placed by where an earlier one left the pointer.
void send_mouse(DWORD flags, POINT p)
{
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = (p.x * 65536 + w / 2) / w;
    in.mi.dy = (p.y * 65536 + h / 2) / h;
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

}  // namespace

HWND console() { return FindWindowA("CWin", nullptr); }

HWND wait_console(int ms)
{
    DWORD end = GetTickCount() + ms;
    for (;;) {
        HWND w = console();
        if (w && IsWindowVisible(w) && list(w)) return w;
        if ((int)(end - GetTickCount()) <= 0) return nullptr;
        Sleep(50);
    }
}

bool wait_gone(int ms)
{
    DWORD end = GetTickCount() + ms;
    while (console()) {
        if ((int)(end - GetTickCount()) <= 0) return false;
        Sleep(50);
    }
    return true;
}

DWORD console_pid(HWND w)
{
    DWORD pid = 0;
    if (w) GetWindowThreadProcessId(w, &pid);
    return pid;
}

HWND tree(HWND w) { return child(w, "SysTreeView32"); }
HWND list(HWND w) { return child(w, "SysListView32"); }
HWND toolbar(HWND w) { return child(w, "ToolbarWindow32"); }

std::string title(HWND w)
{
    char t[520] = {};
    if (w) GetWindowTextA(w, t, sizeof t);
    return t;
}

int list_rows(HWND w)
{
    HWND lv = list(w);
    return lv ? (int)SendMessageA(lv, LVM_GETITEMCOUNT, 0, 0) : -1;
}

int list_cols(HWND w)
{
    HWND lv = list(w);
    HWND hd = lv ? (HWND)SendMessageA(lv, LVM_GETHEADER, 0, 0) : nullptr;
    return hd ? (int)SendMessageA(hd, HDM_GETITEMCOUNT, 0, 0) : -1;
}

std::string list_cell(HWND w, int row, int col)
{
    HWND lv = list(w);
    if (!lv) return "";
    RemoteBuf rb(lv, sizeof(LVITEMA) + NX_PATH);
    if (!rb.ok()) return "";
    LVITEMA it = {};
    it.iSubItem = col;
    it.pszText = rb.at(sizeof it);
    it.cchTextMax = NX_PATH;
    char zero = 0;
    rb.put(sizeof it, &zero, 1);
    rb.put(0, &it, sizeof it);
    SendMessageA(lv, LVM_GETITEMTEXTA, row, (LPARAM)rb.at(0));
    // The control may answer with its own buffer; the record then points there.
    LVITEMA back = {};
    rb.get(0, &back, sizeof back);
    char text[261] = {};
    if (back.pszText == it.pszText) rb.get(sizeof it, text, NX_PATH);
    return text;
}

int list_image(HWND w, int row)
{
    HWND lv = list(w);
    if (!lv) return -1;
    RemoteBuf rb(lv, sizeof(LVITEMA));
    if (!rb.ok()) return -1;
    LVITEMA it = {};
    it.mask = LVIF_IMAGE;
    it.iItem = row;
    it.iImage = -1;
    rb.put(0, &it, sizeof it);
    if (!SendMessageA(lv, LVM_GETITEMA, 0, (LPARAM)rb.at(0))) return -1;
    rb.get(0, &it, sizeof it);
    return it.iImage;
}

std::vector<std::vector<std::string>> list_table(HWND w)
{
    std::vector<std::vector<std::string>> t;
    int n = list_rows(w), c = list_cols(w);
    for (int r = 0; r < n; r++) {
        std::vector<std::string> row;
        for (int k = 0; k < c; k++) row.push_back(list_cell(w, r, k));
        t.push_back(row);
    }
    return t;
}

int find_row(HWND w, int col, const std::string& text)
{
    int n = list_rows(w);
    for (int r = 0; r < n; r++)
        if (list_cell(w, r, col) == text) return r;
    return -1;
}

bool row_rect(HWND w, int row, RECT* r)
{
    HWND lv = list(w);
    if (!lv) return false;
    RemoteBuf rb(lv, sizeof(RECT));
    if (!rb.ok()) return false;
    RECT q = {};
    q.left = LVIR_BOUNDS;
    rb.put(0, &q, sizeof q);
    if (!SendMessageA(lv, LVM_GETITEMRECT, row, (LPARAM)rb.at(0))) return false;
    return rb.get(0, r, sizeof *r);
}

bool select_row(HWND w, int row)
{
    HWND lv = list(w);
    if (!lv) return false;
    RemoteBuf rb(lv, sizeof(LVITEMA));
    if (!rb.ok()) return false;
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    it.state = 0;
    rb.put(0, &it, sizeof it);
    SendMessageA(lv, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)rb.at(0));
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    rb.put(0, &it, sizeof it);
    return SendMessageA(lv, LVM_SETITEMSTATE, row, (LPARAM)rb.at(0)) != 0;
}

HTREEITEM tree_find(HWND w, const std::string& text)
{
    HWND tv = tree(w);
    if (!tv) return nullptr;
    HTREEITEM root = (HTREEITEM)SendMessageA(tv, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    return tree_walk(tv, root, text);
}

bool tree_select(HWND w, const std::string& text)
{
    HWND tv = tree(w);
    HTREEITEM item = tree_find(w, text);
    if (!item) return false;
    return SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item) != 0;
}

std::string tree_selected(HWND w)
{
    HWND tv = tree(w);
    if (!tv) return "";
    HTREEITEM item = (HTREEITEM)SendMessageA(tv, TVM_GETNEXTITEM, TVGN_CARET, 0);
    return item ? tree_text(tv, item) : "";
}

bool button_rect(HWND w, int command, RECT* r)
{
    HWND tb = toolbar(w);
    if (!tb) return false;
    RemoteBuf rb(tb, sizeof(RECT));
    if (!rb.ok()) return false;
    if (!SendMessageA(tb, TB_GETRECT, command, (LPARAM)rb.at(0))) return false;
    return rb.get(0, r, sizeof *r);
}

void post_command(HWND w, int id) { PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void post_key(HWND w, UINT vk)
{
    HWND target = list(w) ? list(w) : w;
    UINT scan = MapVirtualKeyA(vk, 0);
    PostMessageA(target, WM_KEYDOWN, vk, (LPARAM)(1 | (scan << 16)));
    PostMessageA(target, WM_KEYUP, vk, (LPARAM)(1 | (scan << 16) | 0xC0000000u));
}

void mouse_move(HWND wnd, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(wnd, &p);
    SetCursorPos(p.x, p.y);
    send_mouse(0, p);
}

void mouse_click(HWND wnd, int x, int y, bool twice)
{
    POINT p = {x, y};
    ClientToScreen(wnd, &p);
    mouse_move(wnd, x, y);
    Sleep(50);
    for (int i = 0; i < (twice ? 2 : 1); i++) {
        send_mouse(MOUSEEVENTF_LEFTDOWN, p);
        send_mouse(MOUSEEVENTF_LEFTUP, p);
    }
}

void mouse_park()
{
    POINT p = {GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1};
    SetCursorPos(p.x, p.y);
    send_mouse(0, p);
}

HWND find_dialog(HWND w, const std::string& title)
{
    DialogFind f = {console_pid(w), &title, nullptr};
    if (!f.pid) return nullptr;
    EnumWindows(dialog_of, (LPARAM)&f);
    return f.found;
}

HWND wait_dialog(HWND w, const std::string& title, int ms)
{
    DWORD end = GetTickCount() + ms;
    for (;;) {
        if (HWND d = find_dialog(w, title)) return d;
        if ((int)(end - GetTickCount()) <= 0) return nullptr;
        Sleep(50);
    }
}

std::string dialog_text(HWND dlg)
{
    std::string best;
    if (dlg) EnumChildWindows(dlg, longest_static, (LPARAM)&best);
    return best;
}

void press(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id)); }

std::string geometry(HWND w)
{
    RECT r = {};
    if (!w || !GetWindowRect(w, &r)) return "";
    char g[64];
    snprintf(g, sizeof g, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
    return g;
}

}  // namespace nxd
