// Fixture that runs the real console window in the test process.
#pragma once
#include "testutil.h"
#include "shell.h"
#include "views.h"
#include "search.h"

namespace tu {

class ConsoleTest : public ShareTest {
protected:
    HWND hwnd = nullptr;
    // Starts the console as WinMain would (without the mutex and the
    // message loop); the test pumps messages with wait_until/pump.
    void start(const char* cmdline = "", int show = SW_SHOWNORMAL)
    {
        hwnd = StartConsole(GetModuleHandleA(nullptr), cmdline, show);
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override
    {
        StopConsole();
        hwnd = nullptr;
        ShareTest::TearDown();
    }
    // A column heading as the list view shows it.
    std::string header(int col)
    {
        char buf[NX_PATH] = "";
        LVCOLUMNA c = {};
        c.mask = LVCF_TEXT;
        c.pszText = buf;
        c.cchTextMax = sizeof buf;
        if (!SendMessageA(mlvw.handle, LVM_GETCOLUMNA, col, (LPARAM)&c)) return "<none>";
        return buf;
    }
    // Text of a list cell as the list view shows it (through the model).
    std::string cell(int row, int col)
    {
        char buf[NX_PATH] = "";
        LVITEMA it = {};
        it.iSubItem = col;
        it.pszText = buf;
        it.cchTextMax = sizeof buf;
        SendMessageA(mlvw.handle, LVM_GETITEMTEXTA, row, (LPARAM)&it);
        return buf;
    }
    void select_row(int row)
    {
        LVITEMA it = {};
        it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        it.state = 0;
        SendMessageA(mlvw.handle, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&it);
        if (row < 0) return;
        it.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(mlvw.handle, LVM_SETITEMSTATE, row, (LPARAM)&it);
    }
    void command(int id) { SendMessageA(hwnd, WM_COMMAND, id, 0); }
};

}  // namespace tu
