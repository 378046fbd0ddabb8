// Package search: F5 in the real console window, the search thread walking
// the real network drive Y:, its log lines, the new rows, and the band
// animating meanwhile.
#include "consoletest.h"
#include "handover.h"
#include "resource.h"
#include <algorithm>
#include <map>
#include <thread>

using namespace tu;

namespace {

struct Pkg {
    std::string comp, name, vers, path, stat;
};

class SearchTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        reg_set_str(NX_KEY, "uncp", "\\\\srv\\pkgs");
        reg_set_str(NX_KEY, "ndrv", "Y:");
    }
    void TearDown() override
    {
        // A search still running would write into the next test's state.
        wait_until([] { return msearch == 0; }, 30000);
        ConsoleTest::TearDown();
    }
    void device_list(const std::vector<Pkg>& pkgs)
    {
        std::string s;
        for (auto& p : pkgs) {
            // The status first: a section is complete with its fourth key.
            s += "[" + p.comp + " " + p.name + "]\n";
            if (!p.stat.empty()) s += "stat=" + p.stat + "\n";
            s += "comp=" + p.comp + "\nname=" + p.name + "\npath=" + p.path + "\nvers=" + p.vers + "\n\n";
        }
        ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", s));
    }
    // n packages already listed, with scripts that are not on the share.
    void shown(int n)
    {
        std::vector<Pkg> p;
        for (int i = 0; i < n; i++) {
            std::string name = "Listed" + std::to_string(i);
            p.push_back({"Old", name, "1.0", "\\\\elsewhere\\" + name + "\\Install.cmd", ""});
        }
        device_list(p);
    }
    void script(const std::string& path)
    {
        make_dirs(path.substr(0, path.rfind('\\')));
        ASSERT_TRUE(write_file(path, "@echo off\r\n"));
    }
    int count(const std::string& line)
    {
        auto l = lines();
        return (int)std::count(l.begin(), l.end(), line);
    }
    std::vector<std::string> lines() { return log_bodies(log_text()); }
    // The lines from the last "FindCMD () GO" on, without the band's
    // repaints (their number depends on the timer).
    std::vector<std::string> search_lines()
    {
        auto l = lines();
        auto go = std::find(l.rbegin(), l.rend(), "FindCMD () GO ...");
        std::vector<std::string> out;
        if (go == l.rend()) return out;
        for (auto it = go.base() - 1; it != l.end(); ++it)
            if (*it != "OnPaint () OK ...") out.push_back(*it);
        return out;
    }
    // F5, then wait until the thread has ended (its CNet's last line).
    void find()
    {
        int before = count("CNet::~CNet () OK ...");
        command(CMD_FIND);
        ASSERT_TRUE(wait_until([&] { return count("CNet::~CNet () OK ...") > before; }, 60000));
        EXPECT_EQ(msearch, 0);
    }
    // The displayed rows, keyed by Script.
    std::map<std::string, std::vector<std::string>> rows()
    {
        std::map<std::string, std::vector<std::string>> out;
        for (int i = 0; i < mlvw.get_item_count(); i++) {
            std::vector<std::string> r;
            for (int c = 0; c < NCOLS; c++) r.push_back(cell(i, c));
            out[r[COL_PATH]] = r;
        }
        return out;
    }
    int image_of(const std::string& path)
    {
        for (int i = 0; i < mlvw.get_item_count(); i++)
            if (cell(i, COL_PATH) == path) return mlvw.get_item_image(i);
        return -1;
    }
    std::string band_counts()
    {
        char b[64];
        snprintf(b, sizeof b, "Objects: %d Selected: %d", mobjects, mselected);
        return b;
    }
};

// The hand-over of a worker's result, as the search and the device load
// use it: the window's thread owns what arrives; what no window takes dies
// with the worker.
struct Probe {
    DWORD* freed_on;
    ~Probe() { *freed_on = GetCurrentThreadId(); }
};
const UINT WM_PROBE = WM_APP + 9;
DWORD probe_taken_on;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_PROBE) return DefWindowProcA(hwnd, msg, wp, lp);
    std::unique_ptr<Probe> p = take_result<Probe>(lp);
    probe_taken_on = GetCurrentThreadId();
    return 0;
}

TEST(HandOver, TheWindowsThreadOwnsTheResultOrTheWorkerFreesIt)
{
    struct Case {
        const char* what;
        bool window, destroyed, delivered;
    } cases[] = {
        {"live window", true, false, true},
        {"window destroyed before the post", true, true, false},
        {"no window at all", false, false, false},
    };
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HandOverProbe";
    ASSERT_TRUE(RegisterClassA(&wc));
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        HWND w = c.window ? CreateWindowA("HandOverProbe", "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr)
                          : nullptr;
        if (c.destroyed) DestroyWindow(w);
        DWORD freed_on = 0, worker = 0;
        bool posted = false, kept = false;
        probe_taken_on = 0;
        std::thread t([&] {
            worker = GetCurrentThreadId();
            std::unique_ptr<Probe> p(new Probe{&freed_on});
            posted = post_result(w, WM_PROBE, p);
            kept = p != nullptr;
        });
        t.join();
        EXPECT_EQ(posted, c.delivered);
        EXPECT_EQ(kept, !c.delivered);
        // Freed by the worker at once, or not before this thread takes it.
        EXPECT_EQ(freed_on, c.delivered ? 0 : worker);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        EXPECT_EQ(freed_on, c.delivered ? GetCurrentThreadId() : worker);
        EXPECT_EQ(probe_taken_on, c.delivered ? GetCurrentThreadId() : 0);
        if (w && !c.destroyed) DestroyWindow(w);
    }
    UnregisterClassA("HandOverProbe", wc.hInstance);
}

using Row = std::vector<std::string>;

TEST_F(SearchTest, WorkedExampleAfterFiveShownRows)
{
    shown(5);
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    start();
    ASSERT_EQ(mlvw.get_item_count(), 5);
    find();
    auto r = rows();
    ASSERT_EQ(r.size(), 6u);
    const std::string p = "Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd";
    EXPECT_EQ(r[p], (Row{"Editor", "Maker", "2.1", p, "available", "005"}));
    EXPECT_EQ(image_of(p), IMG_AVAILABLE);
    EXPECT_EQ(mobjects, 6);
    EXPECT_EQ(band_counts(), "Objects: 6 Selected: 0");
    EXPECT_EQ(search_lines(), (std::vector<std::string>{
                                  "FindCMD () GO ...",
                                  "CNet::CNet () OK ...",
                                  "mdir.find_file (\\\\srv\\pkgs\\pkg) GO ...",
                                  "mdir.find_file (\\\\srv\\pkgs\\pkg) OK ...",
                                  p,
                                  "OnSort () OK ...",
                                  "Thread () OK ...",
                                  "CNet::~CNet () OK ...",
                              }));
    // The band is itself again, and the next tick is a first tick.
    EXPECT_EQ(mticks, 0);
    EXPECT_STREQ(status_text(), "Ready");
}

TEST_F(SearchTest, PathPartsAndManufacturer)
{
    struct Case {
        const char* path;
        Row expect;  // name, manufacturer, version; empty: no row
    } cases[] = {
        {"Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd", {"Editor", "Maker", "2.1"}},
        {"Y:\\pkg\\Viewer\\3.0\\Install.cmd", {"Viewer", "ZRP", "3.0"}},
        // Deeper than the three package folders: parts from the end.
        {"Y:\\pkg\\Maker\\Tool\\1.0\\x86\\Install.cmd", {"1.0", "Tool", "x86"}},
        // Too few folders above it: no package name.
        {"Y:\\pkg\\install.cmd", {}},
    };
    for (auto& c : cases) script(c.path);
    start();
    find();
    auto r = rows();
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.expect.empty()) {
            EXPECT_EQ(r.count(c.path), 0u);
            // Logged all the same.
            EXPECT_EQ(count(c.path), 1);
            continue;
        }
        ASSERT_EQ(r.count(c.path), 1u);
        EXPECT_EQ(Row(r[c.path].begin(), r[c.path].begin() + 3), c.expect);
        EXPECT_EQ(r[c.path][COL_STAT], "available");
    }
    EXPECT_EQ(mobjects, 3);
}

TEST_F(SearchTest, OnlyThePackageFolderWhenItHoldsScripts)
{
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    script("Y:\\Other\\Thing\\1.0\\Install.cmd");
    start();
    find();
    auto r = rows();
    EXPECT_EQ(r.size(), 1u);
    EXPECT_EQ(r.count("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd"), 1u);
    EXPECT_EQ(count("mdir.find_file (\\\\srv\\pkgs) GO ..."), 0);
}

TEST_F(SearchTest, WholeDriveFromItsTopWithoutAPackageFolder)
{
    struct Case {
        const char* path;
        bool found;
        const char* comp;
    } cases[] = {
        {"Y:\\Maker\\Editor\\2.1\\Install.cmd", true, "Maker"},
        // A package folder right at the top has no manufacturer part.
        {"Y:\\Viewer\\3.0\\Install.cmd", true, "ZRP"},
        // An empty "pkg" folder does not stop the second search.
        {"Y:\\a\\b\\c\\d\\Install.cmd", true, "b"},
        {"Y:\\a\\b\\c\\d\\e\\Install.cmd", false, ""},
    };
    make_dirs("Y:\\pkg\\Maker\\Empty\\1.0");
    for (auto& c : cases) script(c.path);
    start();
    find();
    auto r = rows();
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(r.count(c.path), c.found ? 1u : 0u);
        if (c.found) {
            EXPECT_EQ(r[c.path][COL_COMP], c.comp);
        }
    }
    // Both searches, then the three found paths, the sort and the end.
    auto l = search_lines();
    ASSERT_EQ(l.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(l.begin(), l.begin() + 6), (std::vector<std::string>{
                                                                      "FindCMD () GO ...",
                                                                      "CNet::CNet () OK ...",
                                                                      "mdir.find_file (\\\\srv\\pkgs\\pkg) GO ...",
                                                                      "mdir.find_file (\\\\srv\\pkgs\\pkg) OK ...",
                                                                      "mdir.find_file (\\\\srv\\pkgs) GO ...",
                                                                      "mdir.find_file (\\\\srv\\pkgs) OK ...",
                                                                  }));
    EXPECT_EQ(std::vector<std::string>(l.begin() + 9, l.end()),
              (std::vector<std::string>{"OnSort () OK ...", "Thread () OK ...", "CNet::~CNet () OK ..."}));
}

TEST_F(SearchTest, ScriptNamesInOtherCaseOrWithMoreAroundThem)
{
    const char* found[] = {"Y:\\pkg\\M\\Lower\\1\\install.cmd", "Y:\\pkg\\M\\Upper\\1\\INSTALL.CMD",
                           "Y:\\pkg\\M\\Around\\1\\Old_Install.cmd.txt"};
    const char* not_found[] = {"Y:\\pkg\\M\\Other\\1\\old_install.cmd", "Y:\\pkg\\M\\Setup\\1\\Setup.cmd"};
    for (auto* p : found) script(p);
    for (auto* p : not_found) script(p);
    start();
    find();
    auto r = rows();
    for (auto* p : found) EXPECT_EQ(r.count(p), 1u) << p;
    for (auto* p : not_found) EXPECT_EQ(r.count(p), 0u) << p;
}

TEST_F(SearchTest, ShownScriptsAreSkippedOtherCaseIsNot)
{
    device_list({{"Maker", "Editor", "2.1", "Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd", ""},
                 {"Maker", "Tool", "1.0", "Y:\\pkg\\Maker\\Tool\\1.0\\INSTALL.CMD", ""}});
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    script("Y:\\pkg\\Maker\\Tool\\1.0\\Install.cmd");
    start();
    ASSERT_EQ(mlvw.get_item_count(), 2);
    find();
    auto r = rows();
    ASSERT_EQ(r.size(), 3u);
    // The listed row is unchanged and not repeated or logged.
    EXPECT_EQ(image_of("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd"), IMG_LISTED);
    EXPECT_EQ(count("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd"), 0);
    EXPECT_EQ(r["Y:\\pkg\\Maker\\Tool\\1.0\\Install.cmd"],
              (Row{"Tool", "Maker", "1.0", "Y:\\pkg\\Maker\\Tool\\1.0\\Install.cmd", "available", "002"}));
    EXPECT_EQ(image_of("Y:\\pkg\\Maker\\Tool\\1.0\\INSTALL.CMD"), IMG_LISTED);
    EXPECT_EQ(mobjects, 3);
}

TEST_F(SearchTest, AllFoundAlreadyShownStillSorts)
{
    device_list({{"Maker", "Editor", "2.1", "Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd", ""}});
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    start();
    find();
    EXPECT_EQ(mlvw.get_item_count(), 1);
    EXPECT_EQ(mobjects, 1);
    auto l = search_lines();
    EXPECT_EQ(std::count(l.begin(), l.end(), "OnSort () OK ..."), 1);
}

TEST_F(SearchTest, SevenShownTwoVersionsGiveTwoRowsFrom007)
{
    shown(7);
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    script("Y:\\pkg\\Maker\\Editor\\3.0\\Install.cmd");
    start();
    find();
    auto r = rows();
    ASSERT_EQ(r.size(), 9u);
    Row a = r["Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd"], b = r["Y:\\pkg\\Maker\\Editor\\3.0\\Install.cmd"];
    ASSERT_EQ(a.size(), 6u);
    ASSERT_EQ(b.size(), 6u);
    EXPECT_EQ(a[COL_VERS], "2.1");
    EXPECT_EQ(b[COL_VERS], "3.0");
    // Numbered in the order found, which is the listing's.
    std::vector<std::string> orders{a[COL_ORDER], b[COL_ORDER]};
    std::sort(orders.begin(), orders.end());
    EXPECT_EQ(orders, (std::vector<std::string>{"007", "008"}));
    EXPECT_EQ(mobjects, 9);
    EXPECT_EQ(band_counts(), "Objects: 9 Selected: 0");
    // The display is sorted by the current column (Name, ascending).
    for (int i = 1; i < mlvw.get_item_count(); i++) EXPECT_LE(_stricmp(cell(i - 1, 0).c_str(), cell(i, 0).c_str()), 0);
}

TEST_F(SearchTest, NotConnectedLogsOnlyTheThreadsFrame)
{
    struct Case {
        const char* what;
        const char* uncp;
        const char* ndrv;
        const char* band;
    } cases[] = {
        {"local drive", "\\\\srv\\pkgs", "X:", "Network error, check configuration!"},
        {"no UNC path", "", "Y:", "Ready"},
    };
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    script("X:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        reg_set_str(NX_KEY, "uncp", c.uncp);
        reg_set_str(NX_KEY, "ndrv", c.ndrv);
        shown(2);
        start();
        find();
        EXPECT_EQ(search_lines(), (std::vector<std::string>{"FindCMD () GO ...", "CNet::CNet () OK ...",
                                                            "Thread () OK ...", "CNet::~CNet () OK ..."}));
        EXPECT_EQ(mlvw.get_item_count(), 2);
        EXPECT_EQ(mobjects, 2);
        EXPECT_STREQ(status_text(), c.band);
        StopConsole();
    }
}

TEST_F(SearchTest, NothingFoundChangesNothing)
{
    shown(3);
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Setup.exe");
    start();
    find();
    EXPECT_EQ(search_lines(), (std::vector<std::string>{
                                  "FindCMD () GO ...",
                                  "CNet::CNet () OK ...",
                                  "mdir.find_file (\\\\srv\\pkgs\\pkg) GO ...",
                                  "mdir.find_file (\\\\srv\\pkgs\\pkg) OK ...",
                                  "mdir.find_file (\\\\srv\\pkgs) GO ...",
                                  "mdir.find_file (\\\\srv\\pkgs) OK ...",
                                  "Thread () OK ...",
                                  "CNet::~CNet () OK ...",
                              }));
    EXPECT_EQ(mlvw.get_item_count(), 3);
    EXPECT_EQ(mobjects, 3);
}

TEST_F(SearchTest, ASecondF5DuringASearchIsRefused)
{
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    start();
    int before = count("CNet::~CNet () OK ...");
    // Back to back: the second arrives before the thread has run.
    command(CMD_FIND);
    command(CMD_FIND);
    ASSERT_TRUE(wait_until([&] { return count("CNet::~CNet () OK ...") > before; }, 60000));
    pump(200);
    EXPECT_EQ(count("FindCMD () GO ..."), 1);
    EXPECT_EQ(count("CNet::CNet () OK ..."), 1);
    EXPECT_EQ(mlvw.get_item_count(), 1);
    // Afterwards F5 works again; the device list file is empty, so after
    // the reload the script is new again.
    find();
    EXPECT_EQ(count("FindCMD () GO ..."), 2);
    EXPECT_EQ(mlvw.get_item_count(), 1);
}

TEST_F(SearchTest, LongShownScriptIsComparedWhole)
{
    // A shown Script that starts with a found path but goes on past any
    // path buffer does not hide that path.
    const std::string p = "Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd";
    script(p);
    start();
    Clear(CLEAR_PACKAGES);
    std::string long_path = p + std::string(300, 'x');
    const char* cells[NCOLS] = {"Editor", "Maker", "2.1", long_path.c_str(), "", "000"};
    mmodel.append(cells, NCOLS, IMG_LISTED);
    mlvw.set_item_count(1);
    int before = count("CNet::~CNet () OK ...");
    FindCMD();
    ASSERT_TRUE(wait_until([&] { return count("CNet::~CNet () OK ...") > before; }, 60000));
    ASSERT_EQ(mlvw.get_item_count(), 2);
    EXPECT_EQ(rows()[p][COL_ORDER], "001");
    EXPECT_EQ(mcols[COL_PATH][0], long_path);
}

TEST_F(SearchTest, RowsDeletedFromTheDisplayKeepTheirDataRows)
{
    shown(3);
    script("Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd");
    start();
    // Delete the middle row: its data row stays, the display loses it.
    select_row(1);
    SendMessageA(mlvw.handle, WM_KEYDOWN, VK_DELETE, 0);
    pump(50);
    ASSERT_EQ(mlvw.get_item_count(), 2);
    std::string kept0 = cell(0, COL_PATH), kept1 = cell(1, COL_PATH);
    // FindCMD itself: F5 would reload the list first.
    int before = count("CNet::~CNet () OK ...");
    FindCMD();
    ASSERT_TRUE(wait_until([&] { return count("CNet::~CNet () OK ...") > before; }, 60000));
    auto r = rows();
    ASSERT_EQ(r.size(), 3u);
    // The new row shows its own texts, not those of a data row it would
    // share a number with; the other two rows are untouched.
    const std::string p = "Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd";
    // Numbered after every row there is, the one taken out of the view too.
    EXPECT_EQ(r[p], (Row{"Editor", "Maker", "2.1", p, "available", "003"}));
    EXPECT_EQ(r.count(kept0), 1u);
    EXPECT_EQ(r.count(kept1), 1u);
    EXPECT_EQ(mcols[COL_NAME].size(), mimages.size());
}

// During a long walk the interface thread is free: the timer ticks, the
// band moves on one frame per tick and the window repaints.
TEST_F(SearchTest, TimerKeepsTickingDuringALongSearch)
{
    start();
    // A faster timer under the same id, so that the walk spans many ticks
    // on a fast machine too; the dispatch is the real one.
    SetTimer(hwnd, TIMER_ID, 20, nullptr);
    int made = 0;
    for (int round = 0; round < 4; round++) {
        // Grow the share until the search spans at least a few ticks.
        int target = 300 << round;
        for (; made < target; made++) {
            std::string base = "Y:\\pkg\\M" + std::to_string(made % 40) + "\\P" + std::to_string(made) + "\\1.0";
            make_dirs(base + "\\doc");
            write_file(base + "\\Install.cmd", "x");
            write_file(base + "\\readme.txt", "x");
            write_file(base + "\\doc\\notes.txt", "x");
        }
        int before = count("CNet::~CNet () OK ...");
        int paints_before = count("OnPaint () OK ...");
        command(CMD_FIND);
        std::vector<std::string> frames;
        std::vector<DWORD> gaps;
        int last_tick = mticks;
        DWORD last_time = GetTickCount();
        // Watch the ticks while the search runs.
        wait_until(
            [&] {
                int t = mticks;
                if (t < last_tick) last_tick = t;  // the thread's reset
                if (msearch && t > last_tick) {
                    last_tick = t;
                    DWORD now = GetTickCount();
                    gaps.push_back(now - last_time);
                    last_time = now;
                    const char* t = status_text();
                    if (frames.empty() || frames.back() != t) frames.push_back(t);
                }
                return count("CNet::~CNet () OK ...") > before;
            },
            120000);
        ASSERT_GT(count("CNet::~CNet () OK ..."), before);
        EXPECT_EQ(mlvw.get_item_count(), made);
        if (gaps.size() < 4) continue;  // too quick to tell; grow the share
        DWORD worst = *std::max_element(gaps.begin(), gaps.end());
        RecordProperty("packages", made);
        RecordProperty("ticks", (int)gaps.size());
        RecordProperty("worst_tick_gap_ms", (int)worst);
        printf("%d packages: %d ticks during the search, worst gap %lu ms\n", made, (int)gaps.size(),
               (unsigned long)worst);
        // Each tick moved the animation on and repainted the band.
        EXPECT_GE(frames.size(), 3u);
        for (size_t i = 1; i < frames.size(); i++) EXPECT_NE(frames[i], frames[i - 1]);
        for (auto& f : frames) EXPECT_EQ(f.rfind("Searching Packages", 0), 0u) << f;
        EXPECT_GE(count("OnPaint () OK ...") - paints_before, (int)gaps.size());
        return;
    }
    FAIL() << "the search never spanned four timer ticks";
}

}  // namespace
