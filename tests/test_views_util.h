// Helpers shared by the view tests: lists on disk, the list as shown.
#pragma once
#include "consoletest.h"
#include "resource.h"
#include <string>
#include <vector>

namespace tu {

// A list file as the console writes it: CR LF line ends on disk.
inline std::string crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

inline std::string section(const std::string& comp, const std::string& name, const std::string& vers,
                           const std::string& path, const std::string& stat = "")
{
    // A status counts only before the section's fourth key.
    std::string s = "[" + comp + " " + name + "]\n";
    if (!stat.empty()) s += "stat=" + stat + "\n";
    return s + "comp=" + comp + "\nname=" + name + "\npath=" + path + "\nvers=" + vers + "\n\n";
}

class ViewsTest : public ConsoleTest {
protected:
    std::string device_list() { return pub + "\\nxsvc.ini"; }
    void write_list(const std::string& path, const std::string& text) { ASSERT_TRUE(write_file(path, crlf(text))); }

    int count() { return mlvw.get_item_count(); }
    int image(int row) { return mlvw.get_item_image(row); }
    // Texts of one column in display order.
    std::vector<std::string> column(int col)
    {
        std::vector<std::string> v;
        for (int i = 0; i < count(); i++) v.push_back(cell(i, col));
        return v;
    }
    std::vector<int> images()
    {
        std::vector<int> v;
        for (int i = 0; i < count(); i++) v.push_back(image(i));
        return v;
    }
    int header_count() { return (int)SendMessageA((HWND)SendMessageA(mlvw.handle, LVM_GETHEADER, 0, 0), HDM_GETITEMCOUNT, 0, 0); }
    // A notification as the controls send it to the main window.
    void notify(HWND from, int code, NMHDR* hdr = nullptr)
    {
        NMHDR local = {};
        if (!hdr) hdr = &local;
        hdr->hwndFrom = from;
        hdr->idFrom = GetDlgCtrlID(from);
        hdr->code = (UINT)code;
        SendMessageA(hwnd, WM_NOTIFY, hdr->idFrom, (LPARAM)hdr);
    }
    void column_click(int col)
    {
        NMLISTVIEW nm = {};
        nm.iItem = -1;
        nm.iSubItem = col;
        notify(mlvw.handle, LVN_COLUMNCLICK, &nm.hdr);
    }
    void double_click() { notify(mlvw.handle, NM_DBLCLK); }
    // The Delete key pressed in the list: the list itself tells its parent.
    void press_delete() { SendMessageA(mlvw.handle, WM_KEYDOWN, VK_DELETE, 0); }
    // Clicks the picture of a row: the pointer lies on the row's image.
    void click_picture(int row)
    {
        select_row(row);
        RECT item = {};
        item.left = LVIR_ICON;
        SendMessageA(mlvw.handle, LVM_GETITEMRECT, row, (LPARAM)&item);
        POINT pt = {msplit + 10, 0};
        ClientToScreen(hwnd, &pt);
        POINT in_list = {0, (item.top + item.bottom) / 2};
        ClientToScreen(mlvw.handle, &in_list);
        SetCursorPos(pt.x, in_list.y);
        // The pointer position reaches the program through the display, and
        // a late motion event from an earlier move may still put it back:
        // wait until it has stayed there over a few rounds of messages.
        int stable = 0;
        ASSERT_TRUE(wait_until([&] {
            POINT now;
            GetCursorPos(&now);
            if (now.x == pt.x && now.y == in_list.y) return ++stable >= 3;
            stable = 0;
            SetCursorPos(pt.x, in_list.y);
            return false;
        }));
        notify(mlvw.handle, NM_CLICK);
    }
    bool quit_posted()
    {
        MSG m;
        return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
    }
};

}  // namespace tu
