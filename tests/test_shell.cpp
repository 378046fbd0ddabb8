// The console shell: start-up, layout, status band, command and
// notification routing, splitter, Info dialog; in-process against the real
// window and as whole-program runs of nxwin.exe.
#include "consoletest.h"
#include "log.h"
#include "resource.h"
#include "strutil.h"

using namespace tu;

namespace {

struct FindCtx {
    DWORD pid;
    HWND found;
};

HWND main_window_of(DWORD pid)
{
    FindCtx c = {pid, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL __attribute__((stdcall)) {
            FindCtx* c = (FindCtx*)lp;
            DWORD p = 0;
            GetWindowThreadProcessId(h, &p);
            char cls[32];
            GetClassNameA(h, cls, sizeof cls);
            if (p == c->pid && strcmp(cls, "CWin") == 0) {
                c->found = h;
                return FALSE;
            }
            return TRUE;
        },
        (LPARAM)&c);
    return c.found;
}

std::string nxwin_exe() { return exe_dir() + "\\nxwin.exe"; }

class Program : public NxTest {};

TEST_F(Program, NormalRunLogsItsPhasesInOrderAndExitsZero)
{
    Proc p;
    ASSERT_TRUE(start_program("\"" + nxwin_exe() + "\"", &p));
    HWND w = nullptr;
    ASSERT_TRUE(wait_until([&] { return (w = main_window_of(p.pid)) != nullptr; }, 15000));
    char title[NX_PATH];
    GetWindowTextA(w, title, sizeof title);
    EXPECT_EQ(std::string(title).rfind("NXSvc Console", 0), 0u) << title;
    ASSERT_TRUE(wait_until([&] { return log_text().find("WinMain () MSG ...") != std::string::npos; }, 10000));
    PostMessageA(w, WM_COMMAND, CMD_EXIT, 0);
    EXPECT_EQ(p.wait(15000), 0);
    std::string text = log_text();
    ASSERT_EQ(text.rfind("Logfile created by nxwin.exe:\n", 0) == 0 || text.rfind("Logfile created by nxwin.exe:\r\n", 0) == 0,
              true);
    std::vector<std::string> want = {"WinMain () RUN ...", "mtbr () OK ...", "mtvw () OK ...", "mlvw () OK ...",
                                     "OnInit () OK ...", "WinMain () MSG ...", "WinMain () END ..."};
    std::vector<std::string> got;
    for (auto& l : log_bodies(text))
        for (auto& w2 : want)
            if (l == w2) got.push_back(l);
    EXPECT_EQ(got, want);
}

TEST_F(Program, SecondInstanceEndsWithOneAndLeavesTheLogAlone)
{
    Proc first;
    ASSERT_TRUE(start_program("\"" + nxwin_exe() + "\"", &first));
    HWND w = nullptr;
    ASSERT_TRUE(wait_until([&] { return (w = main_window_of(first.pid)) != nullptr; }, 15000));
    ASSERT_TRUE(wait_until([&] { return log_text().find("WinMain () MSG ...") != std::string::npos; }, 10000));
    std::string before = log_text();
    EXPECT_EQ(run_program("\"" + nxwin_exe() + "\" /admin", 15000), 1);
    std::string after = log_text();
    // The first instance may have painted meanwhile; its earlier lines stay.
    EXPECT_EQ(after.substr(0, before.size()), before);
    PostMessageA(w, WM_COMMAND, CMD_EXIT, 0);
    EXPECT_EQ(first.wait(15000), 0);
}

TEST(ShellState, AdminOnlyForTheWholeCommandLine)
{
    struct { const char* cmd; int admin; } rows[] = {
        {"/admin", 1}, {"/ADMIN", 1}, {"/Admin", 1}, {"/admin ", 0}, {"-admin", 0}, {"", 0}, {" /admin", 0},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.cmd);
        ResetShellState(r.cmd);
        EXPECT_EQ(madmin, r.admin);
        EXPECT_EQ(msplit, 150);
    }
    ResetShellState("");
}

TEST(Layout, ColumnWidthsByCount)
{
    struct { int count, L; std::vector<int> want; } rows[] = {
        {6, 454, {100, 50, 50, 100, 100, 50}},
        {0, 454, {100, 50, 50, 100, 100, 50}},
        {1, 454, {100, 50, 50, 100, 100, 50}},
        {5, 454, {100, 50, 50, 100, 100, 50}},
        {2, 454, {223, 223}},
        {3, 454, {149, 149, 149}},
        {6, 10, {0, 0, 0, 0, 0, 0}},
        {2, 0, {-4, -4}},
        {6, -50, {-12, -6, -6, -12, -12, -6}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.count << " columns, L=" << r.L);
        int w[6] = {};
        column_widths(r.count, r.L, w);
        for (size_t i = 0; i < r.want.size(); i++) EXPECT_EQ(w[i], r.want[i]) << "column " << i;
    }
}

TEST(Layout, StatusBandTexts)
{
    ResetShellState("");
    NCFG saved = mncfg;
    mncfg.fail = 0;
    EXPECT_STREQ(status_text(), "Ready");
    mncfg.fail = 1;
    EXPECT_STREQ(status_text(), "Network error, check configuration!");
    msearch = 1;
    const char* frames[] = {"Searching Packages", "Searching Packages .", "Searching Packages ..",
                            "Searching Packages ..."};
    for (int t = 0; t < 9; t++) {
        mticks = t;
        EXPECT_STREQ(status_text(), frames[t % 4]) << t;
    }
    msearch = 0;
    mncfg = saved;
    ResetShellState("");
}

class Window : public ConsoleTest {};

TEST_F(Window, LayoutFollowsTheTableAndTheCentredTwoThirds)
{
    start();
    RECT wr, cr;
    GetWindowRect(hwnd, &wr);
    int fw = GetSystemMetrics(SM_CXFULLSCREEN), fh = GetSystemMetrics(SM_CYFULLSCREEN);
    EXPECT_EQ(wr.right - wr.left, 2 * fw / 3);
    EXPECT_EQ(wr.bottom - wr.top, 2 * fh / 3);
    EXPECT_EQ(wr.left, (fw - 2 * fw / 3) / 2);
    GetClientRect(hwnd, &cr);
    auto rect_of = [&](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, hwnd, (POINT*)&r, 2);
        return r;
    };
    RECT tv = rect_of(mtvw.handle), lv = rect_of(mlvw.handle);
    EXPECT_EQ(tv.left, 0);
    EXPECT_EQ(tv.top, 28);
    EXPECT_EQ(tv.right, msplit);
    EXPECT_EQ(tv.bottom, cr.bottom - 14);
    EXPECT_EQ(lv.left, msplit + 3);
    EXPECT_EQ(lv.right, cr.right);
    EXPECT_EQ(GetDlgCtrlID(mtvw.handle), IDC_VIEW);
    EXPECT_EQ(GetDlgCtrlID(mlvw.handle), IDC_VIEW);
    EXPECT_EQ(GetDlgCtrlID(mtbr.handle), IDC_TOOLBAR);
    EXPECT_EQ(SendMessageA(mtbr.handle, TB_BUTTONCOUNT, 0, 0), 6);
    EXPECT_GE(mtvw.get_item_height(), 18);
    DWORD ex = (DWORD)SendMessageA(mlvw.handle, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(ex, (DWORD)(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    EXPECT_TRUE(GetWindowLongA(mlvw.handle, GWL_STYLE) & LVS_OWNERDATA);
}

TEST_F(Window, ColumnWidthsReachTheListAndNarrowWindowsKeepWorking)
{
    start();
    // Six empty package columns, as the package view sets them up.
    mlvw.delete_all_columns();
    const char* heads[] = {"Name", "Manufacturer", "Version", "Script", "Status", "Order"};
    for (int i = 0; i < 6; i++) mlvw.insert_column(heads[i], i, 0, 0);
    RECT cr;
    GetClientRect(hwnd, &cr);
    // Client width W with W - msplit = 454.
    RECT wr;
    GetWindowRect(hwnd, &wr);
    int frame = (wr.right - wr.left) - cr.right;
    SetWindowPos(hwnd, nullptr, 0, 0, 454 + msplit + frame, wr.bottom - wr.top, SWP_NOMOVE | SWP_NOZORDER);
    int want[6] = {100, 50, 50, 100, 100, 50};
    for (int i = 0; i < 6; i++) EXPECT_EQ(SendMessageA(mlvw.handle, LVM_GETCOLUMNWIDTH, i, 0), want[i]) << i;
    // Narrower than the splitter: the widths go below zero and the window
    // stays alive.
    SetWindowPos(hwnd, nullptr, 0, 0, 100, 200, SWP_NOMOVE | SWP_NOZORDER);
    pump(50);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindow(mlvw.handle));
}

TEST_F(Window, TimerTicksCountAndAnimateDuringASearch)
{
    start();
    mview = VIEW_CONFIG;
    int t0 = mticks;
    for (int i = 0; i < 3; i++) SendMessageA(hwnd, WM_TIMER, TIMER_ID, 0);
    EXPECT_EQ(mticks, t0 + 3);
    mview = VIEW_NONE;
    msearch = 1;
    mticks = 0;
    std::string before = log_text();
    SendMessageA(hwnd, WM_TIMER, 1, 0);  // the identifier is not tested
    EXPECT_EQ(mticks, 1);
    std::string after = log_text();
    EXPECT_NE(after.find("OnPaint () OK ...", before.size()), std::string::npos);
    EXPECT_STREQ(status_text(), "Searching Packages .");
    msearch = 0;
}

TEST_F(Window, ExitAndClosingPostQuit)
{
    start();
    auto quit_posted = [] {
        MSG m;
        bool q = false;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT)
                q = true;
            else
                DispatchMessageA(&m);  // an undispatched WM_PAINT comes back for ever
        }
        return q;
    };
    command(CMD_ENTER);
    EXPECT_FALSE(quit_posted());
    command(12345);
    EXPECT_FALSE(quit_posted());
    command(CMD_EXIT);
    EXPECT_TRUE(quit_posted());
    EXPECT_TRUE(IsWindow(hwnd)) << "Exit posts quit without destroying the window";
    DestroyWindow(hwnd);
    EXPECT_TRUE(quit_posted());
}

TEST_F(Window, EnterIsConsumedByTheAcceleratorTable)
{
    start();
    HACCEL acc = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDA_MAIN));
    ASSERT_NE(acc, nullptr);
    MSG m = {mlvw.handle, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(TranslateAcceleratorA(hwnd, acc, &m));
    m.wParam = VK_F5;
    // F5 would start a search; only check that it is translated.
    ACCEL table[16];
    int n = CopyAcceleratorTableA(acc, table, 16);
    bool f5 = false;
    for (int i = 0; i < n; i++) f5 |= table[i].key == VK_F5 && table[i].cmd == CMD_FIND;
    EXPECT_TRUE(f5);
    DestroyAcceleratorTable(acc);
}

TEST_F(Window, F1OpensHelpOnlyWithTheFocusOnTheMainWindow)
{
    // The build's help file lies beside the test programs, the console's
    // folder here, so Help starts the help viewer. The shell has started it
    // when Help returns; test_help checks the window it shows.
    start();
    ModalAutomator a;
    ASSERT_TRUE(find_processes("hh.exe").empty()) << "a help viewer runs already";
    SetFocus(mlvw.handle);
    SendMessageA(mlvw.handle, WM_KEYDOWN, VK_F1, 0);
    EXPECT_TRUE(find_processes("hh.exe").empty()) << "F1 in the list opens nothing";
    SetFocus(hwnd);
    SendMessageA(GetFocus(), WM_KEYDOWN, VK_F1, 0);
    std::vector<DWORD> viewers = find_processes("hh.exe");
    EXPECT_EQ(viewers.size(), 1u);
    for (DWORD pid : viewers) {
        wait_until([&] { return !process_windows(pid).empty(); }, 30000);
        close_process(pid);
    }
    EXPECT_TRUE(find_processes("hh.exe").empty());
    EXPECT_TRUE(a.unexpected.empty()) << a.unexpected[0];
}

std::string tooltip_of(int command)
{
    HWND tips = (HWND)SendMessageA(mtbr.handle, TB_GETTOOLTIPS, 0, 0);
    if (!tips) return "<no tooltips>";
    char buf[NX_PATH] = "";
    TOOLINFOA ti = {};
    ti.cbSize = sizeof ti;
    ti.hwnd = mtbr.handle;
    ti.uId = command;
    ti.lpszText = buf;
    SendMessageA(tips, TTM_GETTEXTA, sizeof buf, (LPARAM)&ti);
    return buf;
}

TEST_F(Window, TooltipsInUserMode)
{
    start();
    EXPECT_EQ(tooltip_of(CMD_FIND), "Find Packages in UNC path");
    EXPECT_EQ(tooltip_of(CMD_SAVE), "Save Package List for this Device");
    EXPECT_EQ(tooltip_of(CMD_EARLIER), "Change Install Order (INSTALL EARLIER ...)");
    EXPECT_EQ(tooltip_of(CMD_LATER), "Change Install Order (INSTALL LATER ...)");
}

TEST_F(Window, AdminSaveButtonTooltipAndHotState)
{
    start("/admin");
    EXPECT_EQ(tooltip_of(CMD_SAVE), "Save current Package List");
    EXPECT_EQ(msavehot, 0);
    SendMessageA(mtbr.handle, TB_SETHOTITEM, 2, 0);  // the Save button
    EXPECT_EQ(msavehot, 1);
    SendMessageA(mtbr.handle, TB_SETHOTITEM, 0, 0);  // Find
    EXPECT_EQ(msavehot, 0);
    SendMessageA(mtbr.handle, TB_SETHOTITEM, 2, 0);
    SendMessageA(mtbr.handle, TB_SETHOTITEM, (WPARAM)-1, 0);  // pointer leaves
    EXPECT_EQ(msavehot, 0);
}

// "self" 0 greys and ignores the search (menu, F5, toolbar) and Edit
// Properties outside admin mode; another type or value counts as 1, logged.
TEST_F(Window, SelfServiceOffTakesAwayTheAddCommands)
{
    struct Case {
        const char *what, *cmdline;
        DWORD type, value;
        bool on;
        const char* logged;
    } cases[] = {
        {"absent", "", REG_NONE, 0, true, nullptr},
        {"0", "", REG_DWORD, 0, false, nullptr},
        {"1", "", REG_DWORD, 1, true, nullptr},
        {"2", "", REG_DWORD, 2, true, "Settings (self) neither 0 nor 1, taken as 1 ..."},
        {"text 0", "", REG_SZ, 0, true, "Settings (self) not a REG_DWORD, taken as 1 ..."},
        {"0, admin mode", "/admin", REG_DWORD, 0, true, nullptr},
    };
    ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", "[A B]\ncomp=A\nname=B\npath=Y:\\pkg\\A\\B\\1\\Install.cmd\nvers=1\n"));
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, NX_KEY, "self");
        if (c.type != REG_NONE) reg_set_raw(NX_KEY, "self", c.type, c.type == REG_SZ ? (const void*)"0" : &c.value,
                                             c.type == REG_SZ ? 2 : 4);
        start(c.cmdline);
        EXPECT_EQ(!(GetMenuState(GetSubMenu(GetMenu(hwnd), 0), CMD_FIND, MF_BYCOMMAND) & MF_GRAYED), c.on);
        EXPECT_EQ(SendMessageA(mtbr.handle, TB_ISBUTTONENABLED, CMD_FIND, 0) != 0, c.on);
        EXPECT_EQ(log_text().find(c.logged ? c.logged : "Settings (self)") != std::string::npos, c.logged != nullptr);
        if (!c.on) {
            // Neither F5 nor a double-click on a package (Edit Properties) does anything.
            ModalAutomator a;
            command(CMD_FIND);
            mtvw.select_item(mpkgs);
            ASSERT_EQ(mlvw.get_item_count(), 1);
            select_row(0);
            NMHDR dbl = {mlvw.handle, IDC_VIEW, (UINT)NM_DBLCLK};
            OnNotify(&dbl);
            EXPECT_TRUE(a.unexpected.empty());
            EXPECT_EQ(log_text().find("FindCMD ("), std::string::npos);
            EXPECT_EQ(log_text().find("OnEdit ("), std::string::npos);
        }
        StopConsole();
    }
}

TEST_F(Window, MenuTextReadsByCommand)
{
    start();
    HMENU file = GetSubMenu(GetMenu(hwnd), 0);
    EXPECT_STREQ(menu_text(file, CMD_SHOWREPORT), "Show Assignmets for this Device");
    EXPECT_STREQ(menu_text(file, CMD_EXIT), "Exit");
    EXPECT_STREQ(menu_text(file, 9999), "");
}

TEST_F(Window, SplitterDragIsClampedToUsablePanes)
{
    start();
    RECT cr;
    GetClientRect(hwnd, &cr);
    int y = cr.bottom / 2;
    // A press exactly at msplit is not on the splitter.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(msplit, y));
    EXPECT_EQ(mdrag, 0);
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(msplit + 1, y));
    EXPECT_EQ(mdrag, 1);
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, y));
    EXPECT_EQ(msplit, 300);
    // Past the left edge the low 16 bits are near 65535.
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((WORD)-20, y));
    EXPECT_GT(msplit, 0);
    EXPECT_LT(msplit, cr.right / 2);
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(cr.right + 500, y));
    EXPECT_LT(msplit, cr.right);
    RECT lv;
    GetWindowRect(mlvw.handle, &lv);
    EXPECT_GT(lv.right - lv.left, 0);
    // Shift held: no move.
    int at = msplit;
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(200, y));
    EXPECT_EQ(msplit, at);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(200, y));
    EXPECT_EQ(mdrag, 0);
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(250, y));
    EXPECT_EQ(msplit, at) << "no drag after the button is released";
}

TEST_F(Window, ShowReportWithoutAReportOrBrowserDoesNotFail)
{
    start();
    command(CMD_SHOWREPORT);
    pump(100);
    EXPECT_TRUE(IsWindow(hwnd));
}

HWND find_dialog(const char* title)
{
    HWND found = nullptr;
    struct C { const char* t; HWND* f; } c = {title, &found};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM lp) -> BOOL __attribute__((stdcall)) {
            C* c = (C*)lp;
            char t[64];
            GetWindowTextA(h, t, sizeof t);
            if (strcmp(t, c->t) == 0 && IsWindowVisible(h)) {
                *c->f = h;
                return FALSE;
            }
            return TRUE;
        },
        (LPARAM)&c);
    return found;
}

TEST_F(Window, InfoDialogLinkBandCursorAndClosing)
{
    start();
    ModalAutomator a;
    HCURSOR in_band = nullptr, above = nullptr, below = nullptr;
    a.Expect("Info", [&](HWND d) {
        SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(5, 61));
        in_band = GetCursor();
        SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(500, 79));
        HCURSOR in_band2 = GetCursor();
        EXPECT_EQ(in_band, in_band2) << "x plays no part";
        SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(5, 60));
        above = GetCursor();
        SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(5, 80));
        below = GetCursor();
        // Escape reaches the dialog as command 2.
        PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    command(CMD_INFO);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_TRUE(a.unexpected.empty());
    HCURSOR arrow = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDCUR_HAND));
    EXPECT_EQ(in_band, hand);
    EXPECT_EQ(above, arrow);
    EXPECT_EQ(below, arrow);

    ModalAutomator b;
    bool painted_version = false;
    b.Expect("Info", [&](HWND d) {
        painted_version = true;
        Press(IDOK)(d);
    });
    EXPECT_EQ(ShowInfo(GetModuleHandleA(nullptr), hwnd, IDD_INFO), IDOK);
    EXPECT_TRUE(painted_version);
    EXPECT_EQ(find_dialog("Info"), nullptr);
}

}  // namespace
