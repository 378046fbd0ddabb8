// Service status monitor: the progress text in listed rows, and clearing
// the desktop on a first tick, with real windows of a second process.
#include "consoletest.h"
#include "resource.h"
#include <algorithm>
#include <memory>
#include <set>

using namespace tu;

namespace {

struct Pkg {
    std::string comp, name, vers, stat;
};

// A window of its own process (tests/hosts/nx_dummywin.cpp).
struct Dummy {
    Proc proc;
    HWND hwnd = nullptr;
    ~Dummy()
    {
        if (hwnd) PostMessageA(hwnd, WM_CLOSE, 0, 0);
        if (proc.process && proc.wait(3000) == -1) proc.kill();
    }
};

struct FindByPid {
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK find_by_pid(HWND h, LPARAM lp)
{
    FindByPid* f = (FindByPid*)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[64] = "";
    GetClassNameA(h, cls, sizeof cls);
    if (pid == f->pid && strcmp(cls, "NxDummyWin") == 0) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK collect_shown(HWND h, LPARAM lp)
{
    if (IsWindowVisible(h) && !IsIconic(h)) ((std::set<HWND>*)lp)->insert(h);
    return TRUE;
}

class MonitorTest : public ConsoleTest {
protected:
    std::set<HWND> shown_before;
    std::vector<std::unique_ptr<Dummy>> dummies;

    void SetUp() override
    {
        ConsoleTest::SetUp();
        EnumDesktopWindows(nullptr, collect_shown, (LPARAM)&shown_before);
    }
    void TearDown() override
    {
        // Give back whatever was minimised that is not ours to close.
        for (HWND h : shown_before)
            if (IsWindow(h) && IsIconic(h)) ShowWindow(h, SW_RESTORE);
        dummies.clear();
        ConsoleTest::TearDown();
    }
    HWND window(const std::string& args)
    {
        dummies.emplace_back(new Dummy);
        Dummy& d = *dummies.back();
        std::string cmd = "\"" + exe_dir() + "\\nx_dummywin.exe\" " + args;
        if (!start_program(cmd, &d.proc)) return nullptr;
        FindByPid f{d.proc.pid, nullptr};
        wait_until(
            [&] {
                f.found = nullptr;
                EnumWindows(find_by_pid, (LPARAM)&f);
                return f.found != nullptr && (args.rfind("/hidden", 0) == 0 || IsWindowVisible(f.found));
            },
            10000);
        d.hwnd = f.found;
        return f.found;
    }
    void announce(const char* comp, const char* name, const char* vers, const char* info = nullptr)
    {
        if (comp) reg_set_str(NX_KEY_PKGS, "comp", comp);
        if (name) reg_set_str(NX_KEY_PKGS, "name", name);
        if (vers) reg_set_str(NX_KEY_PKGS, "vers", vers);
        if (info) reg_set_str(NX_KEY_PKGS, "info", info);
    }
    void device_list(const std::vector<Pkg>& pkgs)
    {
        std::string s;
        for (auto& p : pkgs) {
            // The status comes first: a section is complete with its
            // fourth key.
            s += "[" + p.comp + " " + p.name + "]\n";
            if (!p.stat.empty()) s += "stat=" + p.stat + "\n";
            s += "comp=" + p.comp + "\nname=" + p.name + "\npath=Y:\\pkg\\" + p.comp + "\\" + p.name + "\\" + p.vers +
                 "\\Install.cmd\nvers=" + p.vers + "\n\n";
        }
        ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", s));
    }
    // One timer tick through the real dispatch.
    void tick() { SendMessageA(hwnd, WM_TIMER, TIMER_ID, 0); }
    std::vector<std::string> lines() { return log_bodies(log_text()); }
    int count(const std::string& line)
    {
        auto l = lines();
        return (int)std::count(l.begin(), l.end(), line);
    }
    int minimised_lines()
    {
        auto l = lines();
        return (int)std::count_if(l.begin(), l.end(), [](const std::string& s) { return s.rfind("minimize:", 0) == 0; });
    }
    // Status cell of the displayed row with that version.
    std::string status_of(const std::string& vers)
    {
        for (int i = 0; i < mlvw.get_item_count(); i++)
            if (cell(i, COL_VERS) == vers) return cell(i, COL_STAT);
        return "<no row>";
    }
};

TEST_F(MonitorTest, FirstTickWithAllThreeMinimisesOnce)
{
    announce("Maker", "Editor", "2.1");
    HWND other = window("Editor Setup");
    ASSERT_NE(other, nullptr);
    start();
    // The first tick may be the timer's own or this one; either way it is
    // the only one that minimises.
    tick();
    ASSERT_TRUE(wait_until([&] { return IsIconic(other) != 0; }, 5000));
    EXPECT_FALSE(IsIconic(hwnd)) << "the console keeps itself";
    EXPECT_EQ(count("minimize:Editor Setup"), 1);
    EXPECT_EQ(count("OnInfo () OK ..."), 1);
    // Restored by the user: later ticks leave it alone.
    ShowWindow(other, SW_RESTORE);
    ASSERT_TRUE(wait_until([&] { return !IsIconic(other); }, 5000));
    for (int i = 0; i < 3; i++) tick();
    pump(300);
    EXPECT_FALSE(IsIconic(other));
    EXPECT_EQ(count("minimize:Editor Setup"), 1);
    EXPECT_EQ(count("OnInfo () OK ..."), 1);
    EXPECT_GE(mticks, 4);
}

TEST_F(MonitorTest, WithoutAVersionNothingHappens)
{
    announce("Maker", "Editor", nullptr, "Installing ...");
    device_list({{"Maker", "Editor", "2.1", ""}});
    HWND other = window("Editor Setup");
    ASSERT_NE(other, nullptr);
    start();
    tick();
    pump(300);
    EXPECT_FALSE(IsIconic(other));
    EXPECT_EQ(minimised_lines(), 0);
    EXPECT_EQ(count("OnInfo () OK ..."), 0);
    EXPECT_EQ(status_of("2.1"), "");
}

TEST_F(MonitorTest, ProgressTextGoesToListedRowsOfThatPackage)
{
    device_list({
        {"Maker", "Editor", "2.1", ""},                     // listed
        {"Maker", "Editor", "2.2", ""},                     // listed, other version
        {"Maker", "Editor", "1.0", "2024-01-02 10:00:00"},  // installed
        {"Maker", "Editor", "0.9", "available"},            // available
        {"Other", "Editor", "5.0", ""},                     // other manufacturer
        {"Maker", "editor", "6.0", ""},                     // name in other case
    });
    announce("Maker", "Editor", "2.1", "Installing 50%");
    start();
    ASSERT_EQ(mlvw.get_item_count(), 6);
    tick();
    struct Row {
        const char* vers;
        const char* status;
    } rows[] = {
        {"2.1", "Installing 50%"}, {"2.2", "Installing 50%"}, {"1.0", "2024-01-02 10:00:00"},
        {"0.9", "available"},      {"5.0", ""},               {"6.0", ""},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.vers);
        EXPECT_EQ(status_of(r.vers), r.status);
    }
    // A new text shows on the next tick; without "info" the text stays.
    announce(nullptr, nullptr, nullptr, "Installing 90%");
    tick();
    EXPECT_EQ(status_of("2.2"), "Installing 90%");
    reg_delete_tree(HKEY_LOCAL_MACHINE, NX_KEY_PKGS);
    announce("Maker", "Editor", "2.1");
    tick();
    EXPECT_EQ(status_of("2.1"), "Installing 90%");
}

TEST_F(MonitorTest, WhichWindowsAreMinimised)
{
    struct Row {
        const char* args;
        bool minimised;
    } rows[] = {
        {"Setup system check", true},  // the kept words match case-sensitively
        {"Backup Tool", true},
        {"System Properties", false},
        {"People", false},
        {"Start here", false},
        {"The Store", false},
        {"Old NXSvc Console copy", false},
        {"/hidden Hidden Tool", false},
        {"", false},  // untitled
    };
    announce("Maker", "Editor", "2.1");
    std::vector<HWND> h;
    for (auto& r : rows) {
        h.push_back(window(r.args));
        ASSERT_NE(h.back(), nullptr) << r.args;
    }
    start();
    tick();
    for (size_t i = 0; i < h.size(); i++) {
        if (rows[i].minimised) {
            EXPECT_TRUE(wait_until([&] { return IsIconic(h[i]) != 0; }, 5000)) << rows[i].args;
        }
    }
    pump(300);
    for (size_t i = 0; i < h.size(); i++) {
        SCOPED_TRACE(rows[i].args);
        EXPECT_EQ(IsIconic(h[i]) != 0, rows[i].minimised);
        if (rows[i].minimised) {
            EXPECT_EQ(count(std::string("minimize:") + rows[i].args), 1);
        }
    }
    EXPECT_FALSE(IsWindowVisible(h[7]));
    for (auto& l : lines()) {
        if (l.rfind("minimize:", 0) == 0) {
            EXPECT_TRUE(l == "minimize:Setup system check" || l == "minimize:Backup Tool") << l;
        }
    }
}

TEST_F(MonitorTest, LongTitlesAndValuesStayInTheirBuffers)
{
    // A title of 300 characters is read cut to 259 and logged so.
    std::string title(300, 'T');
    HWND other = window(title);
    ASSERT_NE(other, nullptr);
    // Values of 259 characters fit; longer ones are cut and then never
    // match a row by their cut text.
    std::string comp259(259, 'C'), name300(300, 'N');
    std::string info300 = "I" + std::string(299, 'i');
    announce(comp259.c_str(), "Editor", "2.1", info300.c_str());
    device_list({{"Maker", "Editor", "2.1", ""}, {"Maker", "Editor", "2.2", ""}});
    start();
    // The list file cannot hold fields this long; the rows get them here.
    ASSERT_EQ(mrows.size(), 2u);
    mmodel.set_cell(mrows[0], COL_COMP, comp259);
    mmodel.set_cell(mrows[1], COL_COMP, comp259);
    tick();
    ASSERT_TRUE(wait_until([&] { return IsIconic(other) != 0; }, 5000));
    EXPECT_EQ(count("minimize:" + title.substr(0, 259)), 1);
    EXPECT_EQ(strlen(mcurcomp), 259u);
    EXPECT_EQ(mcols[COL_STAT][mrows[0]], info300.substr(0, 259));
    // Now a name of 300: cut to 259 in the buffer, and a row holding
    // those 259 characters is not that package.
    announce(nullptr, name300.c_str(), nullptr, "other text");
    mmodel.set_cell(mrows[1], COL_NAME, name300.substr(0, 259));
    tick();
    EXPECT_EQ(strlen(mcurname), 259u);
    EXPECT_EQ(mcols[COL_STAT][mrows[1]], info300.substr(0, 259));
}

TEST_F(MonitorTest, ConfigurationViewAtStartDefersMinimisingUntilASearch)
{
    announce("Maker", "Editor", "2.1");
    HWND other = window("Editor Setup");
    ASSERT_NE(other, nullptr);
    start();
    // The settings are shown before the first tick.
    mtvw.select_item(mtvw.get_root());
    ASSERT_EQ(mview, VIEW_CONFIG);
    tick();
    tick();
    mtvw.select_item(mpkgs);
    ASSERT_NE(mview, VIEW_CONFIG);
    tick();
    pump(300);
    EXPECT_FALSE(IsIconic(other));
    EXPECT_EQ(minimised_lines(), 0);
    EXPECT_EQ(count("OnInfo () OK ..."), 0);
    // A search (the share is not configured; it ends at once) makes the
    // next tick a first tick again.
    command(CMD_FIND);
    ASSERT_TRUE(wait_until([&] { return count("CNet::~CNet () OK ...") == 1; }, 30000));
    tick();
    ASSERT_TRUE(wait_until([&] { return IsIconic(other) != 0; }, 5000));
    EXPECT_EQ(count("minimize:Editor Setup"), 1);
    EXPECT_EQ(count("OnInfo () OK ..."), 1);
}

}  // namespace

// A restart the users may put off, as the service keeps its deadline: the
// status band says by when, above a network error, and the menu bar offers
// "Restart Now" exactly while it lasts.
TEST_F(MonitorTest, RestartDeadlineInTheBandAndTheMenuBar)
{
    auto restart_item = [&] { return GetMenuState(GetMenu(hwnd), CMD_RESTART, MF_BYCOMMAND) != (UINT)-1; };
    start();
    mncfg.fail = 1;
    tick();
    EXPECT_STREQ(status_text(), "Network error, check configuration!");
    EXPECT_FALSE(restart_item());
    reg_set_str(NX_KEY_PKGS, SVC_RESTART_BY, "2026-12-09 17:30:00");
    tick();
    EXPECT_STREQ(status_text(), "Restart required by 2026-12-09 17:30:00");
    EXPECT_TRUE(restart_item());
    EXPECT_STREQ(menu_text(GetMenu(hwnd), CMD_RESTART), "&Restart Now");
    tick();
    EXPECT_EQ(GetMenuItemCount(GetMenu(hwnd)), 3) << "added once";
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, NX_KEY_PKGS, SVC_RESTART_BY);
    tick();
    EXPECT_STREQ(status_text(), "Network error, check configuration!");
    EXPECT_FALSE(restart_item());
}
