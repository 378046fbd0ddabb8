// Editing the package view: check, move, delete, the properties dialog.
#include "test_views_util.h"
#include "service_sim.h"
#include <algorithm>

using namespace tu;

class Editing : public ViewsTest {
protected:
    // name/comp/vers/stat of each row; file order is install order.
    void start_with(std::vector<std::vector<std::string>> rows)
    {
        std::string text;
        for (auto& r : rows) text += section(r[1], r[0], r[2], "p-" + r[0] + "-" + r[2], r.size() > 3 ? r[3] : "");
        write_list(device_list(), text);
        start("");
        ASSERT_EQ(count(), (int)rows.size());
    }
    void check(int row)
    {
        select_row(row);
        OnCheck();
    }
};

TEST_F(Editing, CheckingCrossesOutOtherVersionsAndUncheckingUndoesIt)
{
    start_with({{"Zip", "Acme", "1.0", "available"},
                {"Zip", "Acme", "2.0", "available"},
                {"Zip", "Acme", "3.0", "available"},
                {"Zip", "Other", "1.0", "available"},
                {"Tool", "Acme", "1.0", "available"}});
    const int A = IMG_AVAILABLE, R = IMG_READY, X = IMG_EXCLUDED;
    struct Step {
        int row;
        std::vector<int> images;
        std::vector<std::string> stats;
        int ready;
    } steps[] = {
        {0, {R, X, X, A, A}, {"ready to install", "available", "available", "available", "available"}, 1},
        {0, {A, A, A, A, A}, {"available", "available", "available", "available", "available"}, 0},
        {0, {R, X, X, A, A}, {"ready to install", "available", "available", "available", "available"}, 1},
        // Checking a crossed-out version checks it and crosses out the other.
        {2, {X, X, R, A, A}, {"ready to install", "available", "ready to install", "available", "available"}, 1},
        {4, {X, X, R, A, R}, {"ready to install", "available", "ready to install", "available", "ready to install"}, 2},
    };
    int n = 0;
    for (auto& s : steps) {
        SCOPED_TRACE(n++);
        check(s.row);
        EXPECT_EQ(images(), s.images);
        EXPECT_EQ(column(COL_STAT), s.stats);
        EXPECT_EQ(mselected, s.ready);
    }
    // Only the checked rows are saved; the crossed-out one that was checked
    // before is not.
    ASSERT_EQ(OnSave(), 0);
    std::string saved = read_file(device_list());
    EXPECT_EQ(saved, crlf(section("Acme", "Zip", "3.0", "p-Zip-3.0") + section("Acme", "Tool", "1.0", "p-Tool-1.0")));
    EXPECT_NE(log_text().find("\tOnCheck () 5 OK ..."), std::string::npos);
}

TEST_F(Editing, NoSelectionTouchesNoRow)
{
    start_with({{"A", "c", "1", "available"}, {"B", "c", "1", "available"}});
    select_row(-1);
    auto names = column(COL_NAME);
    auto orders = column(COL_ORDER);
    auto imgs = images();
    // The arrow key that a move sends may select a row; each call starts
    // without one.
    for (auto op :
         {+[] { OnCheck(); }, +[] { OnMove(MOVE_LATER); }, +[] { OnMove(MOVE_EARLIER); }, +[] { OnDelete(); }}) {
        select_row(-1);
        op();
    }
    select_row(-1);
    OnEdit(EDIT_PACKAGE);
    EXPECT_EQ(column(COL_NAME), names);
    EXPECT_EQ(column(COL_ORDER), orders);
    EXPECT_EQ(images(), imgs);
    EXPECT_EQ(mrows.size(), 2u);
    EXPECT_EQ(mobjects, 2);
    EXPECT_EQ(log_text().find("OnEdit ()"), std::string::npos);
    EXPECT_NE(log_text().find("\tOnDelete (-1) OK ..."), std::string::npos);
}

// The numbers themselves: the move rule's table. Here: the display and the
// selection follow the row.
TEST_F(Editing, MovingChangesTwoOrderNumbers)
{
    struct Case {
        const char* what;
        std::vector<std::string> orders;  // of A, B, C
        const char* row;
        MoveWay way;
        std::vector<std::string> names, after;  // ascending install order after the move
        int selected;
    } cases[] = {
        {"000 later swaps with 001", {"000", "001", "002"}, "A", MOVE_LATER, {"B", "A", "C"}, {"000", "001", "002"}, 1},
        {"002 earlier swaps with 001", {"000", "001", "002"}, "C", MOVE_EARLIER, {"A", "C", "B"},
         {"000", "001", "002"}, 1},
    };
    start_with({{"A", "c", "1", "available"}, {"B", "c", "1", "available"}, {"C", "c", "1", "available"}});
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReadINI();
        for (int i = 0; i < 3; i++) mmodel.set_cell(i, COL_ORDER, c.orders[i]);
        // Shown in descending order: the move still works in ascending
        // install order, where "later" is the next higher number.
        msortcol = COL_ORDER;
        msortdesc = 1;
        OnSort();
        auto names = column(COL_NAME);
        select_row((int)(std::find(names.begin(), names.end(), c.row) - names.begin()));
        OnMove(c.way);
        EXPECT_EQ(msortdesc, 0);
        EXPECT_EQ(column(COL_NAME), c.names);
        EXPECT_EQ(column(COL_ORDER), c.after);
        EXPECT_EQ(mlvw.get_next_selected(-1), c.selected);
    }
}

TEST_F(Editing, DeleteKeyRemovesTheRowFromViewAndFile)
{
    start_with({{"A", "c", "1", "12:00"}, {"B", "c", "1", "12:00"}, {"C", "c", "1", "12:00"}});
    select_row(1);
    press_delete();
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(mobjects, 2);
    EXPECT_EQ(column(COL_NAME), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(mcols[COL_NAME].size(), 3u);  // the data row stays in the model
    EXPECT_NE(log_text().find("\tOnDelete (1) OK ..."), std::string::npos);
    ASSERT_EQ(OnSave(), 0);
    EXPECT_EQ(read_file(device_list()), crlf(section("c", "A", "1", "p-A-1") + section("c", "C", "1", "p-C-1")));
}

TEST_F(Editing, DeleteKeyDoesNothingInOtherViews)
{
    start_with({{"A", "c", "1", "12:00"}});
    mtvw.select_item(mtvw.get_root());
    ASSERT_EQ(count(), SVC_SETTINGS);
    select_row(0);
    press_delete();
    EXPECT_EQ(count(), SVC_SETTINGS);
    EXPECT_EQ(mobjects, SVC_SETTINGS);
}

TEST_F(Editing, PropertiesDialogAppliesTextsAlsoOnEscape)
{
    start_with({{"A", "c", "1", "available"}, {"B", "d", "2", "12:00"}});
    mtvw.select_item(mpkgs);
    select_row(1);
    struct Case {
        const char* what;
        std::function<void(HWND)> leave;
    } cases[] = {
        {"OK", [](HWND h) { Press(IDOK)(h); }},
        {"Esc key",
         [](HWND h) {
             HWND edit = GetDlgItem(h, IDC_EDIT0 + 3);
             SetFocus(edit);
             PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
         }},
        {"close box", [](HWND h) { PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    int n = 0;
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string suffix = std::to_string(n++);
        std::vector<std::string> shown_texts;
        ModalAutomator a;
        a.Expect("Edit Properties", [&](HWND h) {
            for (int i = 0; i < 4; i++) {
                char t[NX_PATH];
                GetDlgItemTextA(h, IDC_EDIT0 + i, t, sizeof t);
                shown_texts.push_back(t);
                SetDlgItemTextA(h, IDC_EDIT0 + i, (std::string("new") + char('0' + i) + suffix).c_str());
            }
            c.leave(h);
        });
        double_click();
        EXPECT_EQ(a.pending(), 0);
        EXPECT_TRUE(a.unexpected.empty());
        if (n == 1) {
            EXPECT_EQ(shown_texts, (std::vector<std::string>{"B", "d", "2", "p-B-2"}));
        }
        EXPECT_EQ(cell(1, COL_NAME), "new0" + suffix);
        EXPECT_EQ(cell(1, COL_COMP), "new1" + suffix);
        EXPECT_EQ(cell(1, COL_VERS), "new2" + suffix);
        EXPECT_EQ(cell(1, COL_PATH), "new3" + suffix);
        EXPECT_EQ(cell(1, COL_STAT), "12:00");
        EXPECT_EQ(cell(1, COL_ORDER), "001");
        EXPECT_EQ(image(1), IMG_INSTALLED);
    }
    // Emptied texts are taken, and such a row is not saved.
    ModalAutomator a;
    a.Expect("Edit Properties", SetTextsAndPress({{IDC_EDIT0 + 2, ""}}, IDOK));
    OnEdit(EDIT_PACKAGE);
    EXPECT_EQ(cell(1, COL_VERS), "");
    ASSERT_EQ(OnSave(), 0);
    EXPECT_EQ(read_file(device_list()), "");
    EXPECT_NE(log_text().find("\tOnEdit () OK ..."), std::string::npos);
}

TEST_F(Editing, OverlongTextsAreCutTo259Characters)
{
    start_with({{"A", "c", "1", "12:00"}});
    select_row(0);
    std::string long_path(300, 'p');
    ModalAutomator a;
    a.Expect("Edit Properties", SetTextsAndPress({{IDC_EDIT0 + 3, long_path}}, IDOK));
    OnEdit(EDIT_PACKAGE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(cell(0, COL_PATH).size(), 259u);
    EXPECT_EQ(mcols[COL_PATH][0], std::string(259, 'p'));
}

// The whole road in the real window: read the device list with its install
// results, check by clicking the pictures, reorder with F3/F4, edit, delete,
// save with the toolbar command, and read the list back at the next start.
TEST_F(Editing, PackageViewEndToEnd)
{
    write_list(device_list(), section("Acme", "Zip", "1.0", "pz1", "available") + section("Acme", "Zip", "2.0", "pz2", "available") +
                                  section("Beta", "Tool", "3.0", "pt") + section("Gamma", "Junk", "1", "pj", "available"));
    svc_sim::record_install("Beta", "Tool", "3.0", 0, "2024-05-06 07:08:09");
    start("");
    // Selecting the node reads the list again (and would drop edits later).
    mtvw.select_item(mpkgs);
    ASSERT_EQ(count(), 4);
    EXPECT_EQ(images(), (std::vector<int>{IMG_AVAILABLE, IMG_AVAILABLE, IMG_INSTALLED, IMG_AVAILABLE}));
    EXPECT_EQ(cell(2, COL_STAT), "2024-05-06 07:08:09");

    click_picture(1);  // Zip 2.0
    click_picture(3);  // Junk
    EXPECT_EQ(images(), (std::vector<int>{IMG_EXCLUDED, IMG_READY, IMG_INSTALLED, IMG_READY}));
    EXPECT_EQ(mselected, 1);  // the click's own selection count follows

    // Junk first: two places earlier.
    select_row(3);
    command(CMD_EARLIER);
    command(CMD_EARLIER);
    EXPECT_EQ(column(COL_NAME), (std::vector<std::string>{"Zip", "Junk", "Zip", "Tool"}));
    EXPECT_EQ(mlvw.get_next_selected(-1), 1);
    command(CMD_EARLIER);
    EXPECT_EQ(column(COL_NAME), (std::vector<std::string>{"Junk", "Zip", "Zip", "Tool"}));
    // Tool stays last.
    select_row(3);
    command(CMD_LATER);
    EXPECT_EQ(column(COL_NAME)[3], "Tool");

    // Edit Zip 2.0's script, delete Junk.
    ASSERT_EQ(column(COL_NAME), (std::vector<std::string>{"Junk", "Zip", "Zip", "Tool"}));
    select_row(2);
    ModalAutomator a;
    a.Expect("Edit Properties", SetTextsAndPress({{IDC_EDIT0 + 3, "Y:\\pkg\\Acme\\Zip\\2.0\\Install.cmd"}}, IDOK));
    double_click();
    EXPECT_EQ(a.pending(), 0);
    select_row(0);
    press_delete();
    EXPECT_EQ(mobjects, 3);

    a.Expect("Info", Press(IDOK));
    command(CMD_SAVE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_TRUE(quit_posted());
    EXPECT_EQ(read_file(device_list()),
              crlf(section("Acme", "Zip", "2.0", "Y:\\pkg\\Acme\\Zip\\2.0\\Install.cmd") + section("Beta", "Tool", "3.0", "pt")));

    // The next start.
    StopConsole();
    DrainMessages();
    start("");
    EXPECT_EQ(column(COL_NAME), (std::vector<std::string>{"Zip", "Tool"}));
    EXPECT_EQ(column(COL_ORDER), (std::vector<std::string>{"000", "001"}));
    EXPECT_EQ(images(), (std::vector<int>{IMG_LISTED, IMG_INSTALLED}));
}

// While a search runs only the commands that re-read or replace the list
// wait; moving, sorting, checking, deleting and saving work on. The
// search's rows are numbered after every order there is at the hand-over.
TEST_F(Editing, WhileASearchRunsOnlyReloadingCommandsWait)
{
    reg_set_str(NX_KEY, "uncp", "\\\\srv\\pkgs");
    reg_set_str(NX_KEY, "ndrv", "Y:");
    const std::string found = "Y:\\pkg\\Maker\\Editor\\2.1\\Install.cmd";
    make_dirs(found.substr(0, found.rfind('\\')));
    ASSERT_TRUE(write_file(found, "@echo off\r\n"));
    start_with({{"A", "c", "1", "available"}, {"B", "c", "1", "available"}, {"C", "c", "1", "available"}});
    using Names = std::vector<std::string>;

    // As a running search shows it, while this thread pumps messages.
    msearch = 1;
    ModalAutomator a;
    command(CMD_FIND);
    command(CMD_ADMIN);
    double_click();
    EXPECT_TRUE(a.unexpected.empty());
    EXPECT_EQ(madmin, 0);
    EXPECT_EQ(log_text().find("FindCMD () GO"), std::string::npos);
    click_picture(0);
    EXPECT_EQ(images(), (std::vector<int>{IMG_READY, IMG_AVAILABLE, IMG_AVAILABLE}));
    column_click(COL_NAME);
    EXPECT_EQ(column(COL_NAME), (Names{"C", "B", "A"}));
    EXPECT_EQ(mlvw.get_next_selected(-1), 2);  // A: Delete now takes the row clicked
    msearch = 0;

    // A real search: its rows reach this thread only when it pumps
    // messages, which nothing before the Save box does.
    FindCMD();
    ASSERT_EQ(msearch, 1);
    select_row(2);
    command(CMD_LATER);
    EXPECT_EQ(column(COL_NAME), (Names{"B", "A", "C"}));
    EXPECT_EQ(column(COL_ORDER), (Names{"000", "001", "002"}));
    EXPECT_EQ(mlvw.get_next_selected(-1), 1);
    select_row(2);
    press_delete();
    EXPECT_EQ(column(COL_NAME), (Names{"B", "A"}));
    a.Expect("Info", Press(IDOK));
    command(CMD_SAVE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(read_file(device_list()), crlf(section("c", "A", "1", "p-A-1")));

    ASSERT_TRUE(wait_until([] { return msearch == 0; }, 60000));
    // After C's 002, although C is no longer shown.
    EXPECT_EQ(column(COL_NAME), (Names{"B", "A", "Editor"}));
    EXPECT_EQ(column(COL_ORDER), (Names{"000", "001", "003"}));
}
