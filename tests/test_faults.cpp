// Faults from outside: a list another program holds or that is read-only,
// a log that cannot be written, the share's drive going away in the middle
// of a search, a second console starting while the first saves. Each time
// the user is told or the run goes on, and no list is lost or cut.
#include "test_views_util.h"
#include "log.h"
#include <algorithm>
#include <memory>

using namespace tu;

namespace {

class Faults : public ViewsTest {
protected:
    std::vector<std::string> lines() { return log_bodies(log_text()); }
    int count_line(const std::string& l)
    {
        auto v = lines();
        return (int)std::count(v.begin(), v.end(), l);
    }
    // Temporary files of the list writer left in a folder.
    std::vector<std::string> leftovers(const std::string& folder)
    {
        std::vector<std::string> out;
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((folder + "\\nxs*.tmp").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return out;
        do out.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
        return out;
    }
};

// A save in user mode when the device list is read-only or open in another
// program: an "Error" box names the file, the file keeps every byte, the
// console stays with the user's choices, and a later save works.
TEST_F(Faults, SaveThatCannotReplaceTheListTellsTheUserAndKeepsIt)
{
    const std::string list = crlf(section("Acme", "Zip", "1.0", "p1", "12:00:00") +
                                  section("Acme", "Tar", "2.0", "p2", "available"));
    ASSERT_TRUE(write_file(device_list(), list));
    start("");
    ASSERT_EQ(count(), 2);
    select_row(1);
    OnCheck();
    ASSERT_EQ(image(1), IMG_READY);

    for (const ListBlock& c : kListBlocks) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Blocked> block(new Blocked(device_list(), c));
        ASSERT_TRUE(block->ok());
        int failures_before = count_line(c.line + device_list() + "!");
        ModalAutomator a;
        std::string text;
        a.Expect("Error", ReadAndConfirm(&text));
        command(CMD_SAVE);
        block.reset();
        EXPECT_EQ(a.pending(), 0);
        EXPECT_TRUE(a.unexpected.empty());
        EXPECT_EQ(text, c.line + device_list() + "!");
        EXPECT_EQ(read_file(device_list()), list);
        EXPECT_TRUE(leftovers(pub).empty());
        EXPECT_FALSE(quit_posted());
        EXPECT_TRUE(IsWindow(hwnd));
        EXPECT_EQ(count(), 2);
        EXPECT_EQ(images(), (std::vector<int>{IMG_INSTALLED, IMG_READY}));
        EXPECT_EQ(count_line(c.line + device_list() + "!"), failures_before + 1);
    }

    // Once the list is free again, the same save writes both rows. The
    // list is replaced, not made anew: it keeps its attributes. A temporary
    // file that a crashed save left goes.
    ASSERT_TRUE(write_file(device_list() + ".tmp", "half a list"));
    ASSERT_TRUE(SetFileAttributesA(device_list().c_str(), FILE_ATTRIBUTE_HIDDEN));
    ModalAutomator a;
    a.Expect("Info", Press(IDOK));
    command(CMD_SAVE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(read_file(device_list()), crlf(section("Acme", "Zip", "1.0", "p1") + section("Acme", "Tar", "2.0", "p2")));
    EXPECT_EQ(GetFileAttributesA(device_list().c_str()) & FILE_ATTRIBUTE_HIDDEN, (DWORD)FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(leftovers(pub).empty());
}

// No log file can be made: the folder is missing, a folder has the log's
// name, or another program holds the log. The console still starts, shows
// and saves the list.
TEST_F(Faults, LogThatCannotBeWrittenLeavesTheConsoleWorking)
{
    const std::string list = crlf(section("Acme", "Zip", "1.0", "p1", "12:00:00"));
    struct Case {
        const char* what;
        std::function<void()> arrange;
    } cases[] = {
        {"TEMP names a missing folder", [&] { set_env("TEMP", (dir + "\\no such folder").c_str()); }},
        {"a folder has the log's name", [&] { ASSERT_TRUE(CreateDirectoryA((temp + "\\nxwin.log").c_str(), nullptr)); }},
        {"held by another program", [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_file(device_list(), list));
        c.arrange();
        std::unique_ptr<FileHolder> holder;
        if (std::string(c.what) == "held by another program") {
            holder.reset(new FileHolder(temp + "\\nxwin.log", "none"));
            ASSERT_TRUE(holder->held());
        }
        start("");
        EXPECT_EQ(mlog, nullptr);
        EXPECT_EQ(count(), 1);
        EXPECT_EQ(OnSave(), 0);
        EXPECT_EQ(read_file(device_list()), crlf(section("Acme", "Zip", "1.0", "p1")));
        StopConsole();
        DrainMessages();
        holder.reset();
        set_env("TEMP", temp.c_str());
        RemoveDirectoryA((temp + "\\nxwin.log").c_str());
        DeleteFileA((temp + "\\nxwin.log").c_str());
    }
}

// The network drive goes away while the search walks it: the search ends
// with what it had found, the console stays usable, and once the drive is
// back a new search finds everything.
TEST_F(Faults, ShareDriveDisappearsDuringASearch)
{
    // The folder behind Y: is renamed away and back, from the Windows side.
    std::string unix_share = get_env("NX_SHARE_Y");
    ASSERT_FALSE(unix_share.empty());
    std::string share = "Z:" + unix_share;
    std::replace(share.begin(), share.end(), '/', '\\');
    const std::string gone = share + ".gone";
    struct Restore {
        std::string from, to;
        ~Restore() { MoveFileA(from.c_str(), to.c_str()); }
    } restore{gone, share};

    reg_set_str(NX_KEY, "uncp", "\\\\srv\\pkgs");
    reg_set_str(NX_KEY, "ndrv", "Y:");
    const int total = 1500;
    for (int i = 0; i < total; i++) {
        std::string base = "Y:\\pkg\\M" + std::to_string(i % 30) + "\\P" + std::to_string(i) + "\\1.0";
        make_dirs(base);
        ASSERT_TRUE(write_file(base + "\\Install.cmd", "x"));
    }
    ASSERT_TRUE(write_file(device_list(), ""));
    start("");
    int ended = count_line("Thread () OK ...");
    command(CMD_FIND);
    // Away as soon as the walk has begun.
    ASSERT_TRUE(wait_until([&] { return count_line("mdir.find_file (\\\\srv\\pkgs\\pkg) GO ...") > 0; }, 30000));
    bool during = msearch != 0;
    ASSERT_TRUE(MoveFileA(share.c_str(), gone.c_str())) << GetLastError();
    ASSERT_TRUE(wait_until([&] { return count_line("Thread () OK ...") > ended && msearch == 0; }, 60000));
    int found = count();
    EXPECT_LE(found, total);
    if (during) {
        EXPECT_LT(found, total) << "the walk ended before the drive went";
    }
    EXPECT_EQ(mobjects, found);
    for (int i = 0; i < found; i++) EXPECT_EQ(image(i), IMG_AVAILABLE);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(GetDriveTypeA("Y:\\"), (UINT)DRIVE_NO_ROOT_DIR);

    // Back again: the search adds the rest and nothing twice.
    ASSERT_TRUE(MoveFileA(gone.c_str(), share.c_str()));
    ended = count_line("Thread () OK ...");
    command(CMD_FIND);
    ASSERT_TRUE(wait_until([&] { return count_line("Thread () OK ...") > ended && msearch == 0; }, 60000));
    EXPECT_EQ(count(), total);
    std::vector<std::string> paths = column(COL_PATH);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(std::unique(paths.begin(), paths.end()), paths.end());
}

// A second console started while the first saves a long list ends at once
// with 1; the first one's list is written whole and its log is its own.
TEST_F(Faults, SecondInstanceDuringASaveTouchesNothing)
{
    const int rows = 20000;
    std::string text;
    for (int i = 0; i < rows; i++) {
        std::string n = "Pkg" + std::to_string(i);
        text += section("Acme", n, "1.0", "Y:\\pkg\\Acme\\" + n + "\\1.0\\Install.cmd", "12:00:00");
    }
    ASSERT_TRUE(write_file(device_list(), crlf(text)));
    std::string want;
    for (int i = 0; i < rows; i++) {
        std::string n = "Pkg" + std::to_string(i);
        want += section("Acme", n, "1.0", "Y:\\pkg\\Acme\\" + n + "\\1.0\\Install.cmd");
    }
    const std::string exe = "\"" + exe_dir() + "\\nxwin.exe\"";
    Proc first;
    ASSERT_TRUE(start_program(exe, &first));
    ASSERT_TRUE(wait_until([&] { return log_text().find("WinMain () MSG ...") != std::string::npos; }, 20000));
    HWND w = FindWindowA("CWin", nullptr);
    ASSERT_NE(w, nullptr);
    PostMessageA(w, WM_COMMAND, CMD_SAVE, 0);
    // The save is under way; the second console comes now.
    Proc second;
    ASSERT_TRUE(start_program(exe, &second));
    EXPECT_EQ(second.wait(20000), 1);
    // The first one finishes its save and says it will end.
    HWND box = nullptr;
    ASSERT_TRUE(wait_until(
        [&] {
            box = FindWindowA("#32770", "Info");
            return box != nullptr;
        },
        30000));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(first.wait(20000), 0);
    // Compared without gtest's diff, which is quadratic in the text length.
    std::string got = read_file(device_list());
    want = crlf(want);
    size_t diff = std::mismatch(got.begin(), got.begin() + std::min(got.size(), want.size()), want.begin()).first - got.begin();
    EXPECT_TRUE(got == want) << got.size() << " bytes, " << want.size() << " wanted, first difference at " << diff << ": "
                             << got.substr(diff > 40 ? diff - 40 : 0, 120);
    EXPECT_TRUE(leftovers(pub).empty());
    std::string log = log_text();
    EXPECT_EQ(log.find("Logfile created by nxwin.exe:"), 0u);
    EXPECT_EQ(log.find("Logfile created by nxwin.exe:", 1), std::string::npos);
    auto l = log_bodies(log);
    EXPECT_EQ(std::count(l.begin(), l.end(), "WinMain () RUN ..."), 1);
    EXPECT_NE(std::find(l.begin(), l.end(), "OnSave (" + device_list() + ") OK ..."), l.end());
}

}  // namespace
