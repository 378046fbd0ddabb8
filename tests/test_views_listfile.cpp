// The package list file: reading, writing, the file dialogs and the title.
#include "test_views_util.h"
#include "listfile.h"
#include "service_sim.h"

using namespace tu;

class ListFile : public ViewsTest {};

struct Row {
    std::string name, comp, vers, path, stat, order;
    int image;
};

static std::vector<Row> shown(ViewsTest* t, std::function<std::string(int, int)> cell, std::function<int(int)> image,
                              int n)
{
    std::vector<Row> v;
    for (int i = 0; i < n; i++)
        v.push_back({cell(i, COL_NAME), cell(i, COL_COMP), cell(i, COL_VERS), cell(i, COL_PATH), cell(i, COL_STAT),
                     cell(i, COL_ORDER), image(i)});
    return v;
}

static void expect_rows(const std::vector<Row>& got, const std::vector<Row>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(got[i].name, want[i].name);
        EXPECT_EQ(got[i].comp, want[i].comp);
        EXPECT_EQ(got[i].vers, want[i].vers);
        EXPECT_EQ(got[i].path, want[i].path);
        EXPECT_EQ(got[i].stat, want[i].stat);
        EXPECT_EQ(got[i].order, want[i].order);
        EXPECT_EQ(got[i].image, want[i].image);
    }
}

#define SHOWN() shown(this, [this](int r, int c) { return cell(r, c); }, [this](int r) { return image(r); }, count())

TEST_F(ListFile, ReadsPiecesAsSpecified)
{
    const std::string x254(254, 'x');
    struct Case {
        const char* what;
        std::string text;
        std::vector<Row> rows;
    } cases[] = {
        {"stat before the fourth key is taken, after it ignored",
         "[a]\nname=n1\ncomp=c\nstat=12:30\nvers=1\npath=p\n\n[b]\nname=n2\ncomp=c\nvers=1\npath=p\nstat=available\n",
         {{"n1", "c", "1", "p", "12:30", "000", IMG_INSTALLED}, {"n2", "c", "1", "p", "", "001", IMG_LISTED}}},
        {"status texts give the row state",
         "[a]\nstat=available\nname=n1\ncomp=c\nvers=1\npath=p\n[b]\nstat=Available\nname=n2\ncomp=c\nvers=1\npath=p\n"
         "[c]\nstat=done\nname=n3\ncomp=c\nvers=1\npath=p\n",
         {{"n1", "c", "1", "p", "available", "000", IMG_AVAILABLE},
          {"n2", "c", "1", "p", "Available", "001", IMG_LISTED},
          {"n3", "c", "1", "p", "done", "002", IMG_LISTED}}},
        {"key lines before the first section are discarded",
         "name=early\ncomp=early\nvers=0\npath=early\n[a]\nname=n\ncomp=c\nvers=1\npath=p\n",
         {{"n", "c", "1", "p", "", "000", IMG_LISTED}}},
        {"keys after a committed record, before the next section, are ignored",
         "[a]\nname=n\ncomp=c\nvers=1\npath=p\nname=late\nvers=9\n[b]\ncomp=c2\nname=m\npath=q\nvers=2\n",
         {{"n", "c", "1", "p", "", "000", IMG_LISTED}, {"m", "c2", "2", "q", "", "001", IMG_LISTED}}},
        {"keys match anywhere; the value follows the first =",
         "[a]\nrename=x\ncomp=c\nvers=1\npath=a=b\n", {{"x", "c", "1", "a=b", "", "000", IMG_LISTED}}},
        {"blanks and capitals are not skipped",
         "[a]\nname =bad\nNAME=bad\nname= n\ncomp=c\nVers=9\nvers=1 \npath=p\n",
         {{" n", "c", "1 ", "p", "", "000", IMG_LISTED}}},
        {"a section without path gives no row", "[a]\nname=n\ncomp=c\nvers=1\n\n[b]\nname=m\ncomp=c\nvers=2\npath=q\n",
         {{"m", "c", "2", "q", "", "000", IMG_LISTED}}},
        {"the later of two versions wins", "[a]\nname=n\nvers=1\ncomp=c\nvers=2\npath=p\n",
         {{"n", "c", "2", "p", "", "000", IMG_LISTED}}},
        {"a long line is cut into pieces", "[a]\ncomp=c\nvers=1\npath=p\nname=" + x254 + "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\n",
         {{x254, "c", "1", "p", "", "000", IMG_LISTED}}},
        {"the rest of a long line opens a section when it starts with [",
         "[a]\ncomp=" + x254 + "[rest\nname=n\nvers=1\npath=p\n[b]\ncomp=c\nname=m\nvers=1\npath=q\n",
         {{"m", "c", "1", "q", "", "000", IMG_LISTED}}},
        {"an empty name leaves the section open", "[a]\nname=\ncomp=c\nvers=1\npath=p\nname=late\n",
         {{"late", "c", "1", "p", "", "000", IMG_LISTED}}},
        {"last line without a line end", "[a]\nname=n\ncomp=c\nvers=1\npath=p", {{"n", "c", "1", "p", "", "000", IMG_LISTED}}},
        {"empty file", "", {}},
    };
    start("");
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_list(device_list(), c.text);
        ReadINI();
        expect_rows(SHOWN(), c.rows);
        EXPECT_EQ(mobjects, (int)c.rows.size());
    }
}

TEST_F(ListFile, RecordAfterThousandIsNumberedWithFourDigits)
{
    std::string text;
    for (int i = 0; i < 1001; i++) text += section("C", "P" + std::to_string(i), "1", "p");
    write_list(device_list(), text);
    start("");
    ASSERT_EQ(count(), 1001);
    EXPECT_EQ(cell(0, COL_ORDER), "000");
    EXPECT_EQ(cell(999, COL_ORDER), "999");
    EXPECT_EQ(cell(1000, COL_ORDER), "1000");
    EXPECT_EQ(mobjects, 1001);

    // Saved last, and shown last after the save: install order by number.
    for (int i = 0; i < 1001; i++) mmodel.set_state(i, IMG_READY);
    ASSERT_EQ(OnSave(), 0);
    EXPECT_EQ(cell(1000, COL_ORDER), "1000");
    EXPECT_TRUE(read_file(device_list()) == crlf(text));
}

TEST_F(ListFile, MissingFileGivesAnEmptyListAndTheTitle)
{
    start("");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(mobjects, 0);
    EXPECT_EQ(mlvw.columns, 6);
    char title[300];
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "NXSvc Console - nxsvc.ini");
    EXPECT_NE(log_text().find("\tReadINI (" + device_list() + ") OK ..."), std::string::npos);
}

// Checked and installed rows are written in install order and read back the
// same, numbered again from 000 and with the state of the mode.
TEST_F(ListFile, WrittenListReadsBack)
{
    write_list(device_list(), section("Acme", "Zip", "1.0", "Y:\\pkg\\Acme\\Zip\\1.0\\Install.cmd", "available") +
                                  section("Acme", "Old", "0.9", "p-old") +
                                  section("Beta", "Tool", "2.1", "Y:\\pkg\\Beta\\Tool\\2.1\\Install.cmd", "available") +
                                  section("Gamma", "Done", "3", "Y:\\g", "2024-01-02 03:04:05") +
                                  section("Delta", "Skip", "1", "q", "available"));
    start("");
    ASSERT_EQ(count(), 5);
    for (int row : {2, 0}) {  // check Tool and Zip
        select_row(row);
        OnCheck();
    }
    // Display order must not matter: the file is written in install order.
    column_click(COL_NAME);
    ASSERT_EQ(OnSave(), 0);
    std::string saved = read_file(device_list());
    EXPECT_EQ(saved, crlf(section("Acme", "Zip", "1.0", "Y:\\pkg\\Acme\\Zip\\1.0\\Install.cmd") +
                          section("Beta", "Tool", "2.1", "Y:\\pkg\\Beta\\Tool\\2.1\\Install.cmd") +
                          section("Gamma", "Done", "3", "Y:\\g")));

    ReadINI();
    expect_rows(SHOWN(), {{"Zip", "Acme", "1.0", "Y:\\pkg\\Acme\\Zip\\1.0\\Install.cmd", "", "000", IMG_LISTED},
                          {"Tool", "Beta", "2.1", "Y:\\pkg\\Beta\\Tool\\2.1\\Install.cmd", "", "001", IMG_LISTED},
                          {"Done", "Gamma", "3", "Y:\\g", "", "002", IMG_LISTED}});
    madmin = 1;
    // Admin mode asks for the file.
    ModalAutomator a;
    a.Expect("Open", SetTextsAndPress({{0x47C, device_list()}, {0x480, device_list()}}, IDOK));
    ReadINI();
    EXPECT_EQ(a.pending(), 0);
    ASSERT_EQ(count(), 3);
    for (int i = 0; i < 3; i++) EXPECT_EQ(image(i), IMG_INSTALLED);
}

TEST_F(ListFile, WrittenListReadsBackThroughWindowsIniFunctions)
{
    write_list(device_list(),
               section("Acme", "Zip", "1.0", "Y:\\pkg\\Acme\\Zip\\1.0\\Install.cmd", "12:00") +
                   section("Beta Soft", "Tool Kit", "2.1", "\\\\srv\\pkg\\Tool Kit\\Install.cmd", "12:01"));
    start("");
    ASSERT_EQ(OnSave(), 0);
    std::string f = device_list();
    char names[1024] = {};
    DWORD n = GetPrivateProfileSectionNamesA(names, sizeof names, f.c_str());
    std::vector<std::string> sections;
    for (const char* p = names; p < names + n && *p; p += strlen(p) + 1) sections.push_back(p);
    EXPECT_EQ(sections, (std::vector<std::string>{"Acme Zip", "Beta Soft Tool Kit"}));
    struct Want {
        const char *sec, *key, *value;
    } want[] = {
        {"Acme Zip", "comp", "Acme"},     {"Acme Zip", "name", "Zip"},
        {"Acme Zip", "vers", "1.0"},      {"Acme Zip", "path", "Y:\\pkg\\Acme\\Zip\\1.0\\Install.cmd"},
        {"Beta Soft Tool Kit", "comp", "Beta Soft"}, {"Beta Soft Tool Kit", "name", "Tool Kit"},
        {"Beta Soft Tool Kit", "vers", "2.1"},       {"Beta Soft Tool Kit", "path", "\\\\srv\\pkg\\Tool Kit\\Install.cmd"},
        {"Acme Zip", "stat", "<none>"},
    };
    for (auto& w : want) {
        SCOPED_TRACE(std::string(w.sec) + "/" + w.key);
        char v[300];
        GetPrivateProfileStringA(w.sec, w.key, "<none>", v, sizeof v, f.c_str());
        EXPECT_STREQ(v, w.value);
    }
}

TEST_F(ListFile, IncompleteRowsAreNotWritten)
{
    std::vector<std::string> cols[NCOLS];
    FILE* f = fopen((dir + "\\w.ini").c_str(), "wt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_section(f, "n", "c", "v", "p"), 1);
    EXPECT_EQ(write_section(f, "", "c", "v", "p"), 0);
    EXPECT_EQ(write_section(f, "n", "", "v", "p"), 0);
    EXPECT_EQ(write_section(f, "n", "c", "", "p"), 0);
    EXPECT_EQ(write_section(f, "n", "c", "v", ""), 0);
    fclose(f);
    EXPECT_EQ(read_file(dir + "\\w.ini"), crlf("[c n]\ncomp=c\nname=n\npath=p\nvers=v\n\n"));
}

// ---- admin mode: the Open and Save dialogs and the title ------------------

TEST_F(ListFile, AdminOpensAListAndSavesItBack)
{
    std::string group = dir + "\\Group A.ini";
    write_list(group, section("Acme", "Zip", "1.0", "p1") + section("Beta", "Tool", "2.0", "p2"));
    start("/admin");
    EXPECT_EQ(count(), 0);
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);

    ModalAutomator a;
    a.Expect("Open", SetTextsAndPress({{0x47C, group}, {0x480, group}}, IDOK));
    command(CMD_OPENLIST);
    EXPECT_EQ(a.pending(), 0);
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(images(), (std::vector<int>{IMG_INSTALLED, IMG_INSTALLED}));
    char title[300];
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_EQ(std::string(title), "NXSvc Console - " + group);
    EXPECT_EQ(mtvw.get_selection(), mpkgs);
    // The program's folder stays the current directory.
    char after[MAX_PATH];
    GetCurrentDirectoryA(sizeof after, after);
    EXPECT_STREQ(after, cwd);

    // Toolbar save: pointing at the button, then pressing it, writes the
    // opened file without asking.
    mmodel.remove_shown(0);
    mlvw.set_item_count(1);
    NMTBHOTITEM hot = {};
    hot.idNew = CMD_SAVE;
    notify(mtbr.handle, TBN_HOTITEMCHANGE, &hot.hdr);
    ASSERT_EQ(msavehot, 1);
    command(CMD_SAVE);
    EXPECT_TRUE(a.unexpected.empty());
    EXPECT_EQ(read_file(group), crlf(section("Beta", "Tool", "2.0", "p2")));
    EXPECT_FALSE(quit_posted());

    // Menu save asks for the file.
    hot.idNew = 0;
    hot.dwFlags = HICF_LEAVING;
    notify(mtbr.handle, TBN_HOTITEMCHANGE, &hot.hdr);
    ASSERT_EQ(msavehot, 0);
    std::string other = dir + "\\Group B.ini";
    a.Expect("Save As", SetTextsAndPress({{0x47C, other}, {0x480, other}}, IDOK));
    command(CMD_SAVE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(read_file(other), crlf(section("Beta", "Tool", "2.0", "p2")));
    EXPECT_EQ(read_file(group), crlf(section("Beta", "Tool", "2.0", "p2")));
    EXPECT_FALSE(quit_posted());

    // Opening again and cancelling names no list: the toolbar's save then
    // writes the empty view nowhere.
    a.Expect("Open", Press(IDCANCEL));
    command(CMD_OPENLIST);
    hot.idNew = CMD_SAVE;
    hot.dwFlags = 0;
    notify(mtbr.handle, TBN_HOTITEMCHANGE, &hot.hdr);
    a.Expect("Error", Press(IDOK));
    command(CMD_SAVE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(read_file(group), crlf(section("Beta", "Tool", "2.0", "p2")));
}

TEST_F(ListFile, AdminCancelledDialogsLeaveEverythingAlone)
{
    start("/admin");
    ModalAutomator a;
    a.Expect("Open", Press(IDCANCEL));
    command(CMD_ADMIN);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(count(), 0);
    char title[300];
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "NXSvc Console");
    EXPECT_NE(log_text().find("\tReadINI () OK ..."), std::string::npos);

    // Nothing chosen: only the log says so.
    a.Expect("Save As", Press(IDCANCEL));
    EXPECT_EQ(OnSave(), 1);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_TRUE(a.unexpected.empty());
    EXPECT_NE(log_text().find("\tCould not open !"), std::string::npos);
}

// Outside admin mode a save that cannot open the device list says so and
// keeps the console and the user's list.
TEST_F(ListFile, FailedSaveIsShownAndTheConsoleStays)
{
    write_list(device_list(), section("Acme", "Zip", "1.0", "p1", "available"));
    start("");
    ASSERT_EQ(count(), 1);
    select_row(0);
    OnCheck();
    std::string missing = dir + "\\gone";
    set_env("PUBLIC", missing.c_str());
    ModalAutomator a;
    std::string text;
    a.Expect("Error", ReadAndConfirm(&text));
    command(CMD_SAVE);
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(text, "Could not open " + missing + "\\nxsvc.ini!");
    EXPECT_TRUE(a.unexpected.empty()) << a.unexpected[0];
    EXPECT_FALSE(quit_posted());
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(image(0), IMG_READY);
    EXPECT_NE(log_text().find("\tCould not open " + missing + "\\nxsvc.ini!"), std::string::npos);
}

// A save from the toolbar while another view is shown keeps the list file:
// those rows are not packages.
TEST_F(ListFile, SaveOutsideThePackageViewKeepsTheFile)
{
    std::string list = crlf(section("Acme", "Zip", "1.0", "p1", "12:00"));
    ASSERT_TRUE(write_file(device_list(), list));
    start("");
    mtvw.select_item(mtvw.get_root());
    ASSERT_EQ(mview, VIEW_CONFIG);
    EXPECT_EQ(OnSave(), 0);
    EXPECT_EQ(read_file(device_list()), list);
}
