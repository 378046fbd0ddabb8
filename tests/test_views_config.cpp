// The service settings view and dialog; the inventory view.
#include "test_views_util.h"
#include "policy_cases.h"
#include "service_contract.h"
#include "service_sim.h"

using namespace tu;

static const char* const labels[SVC_SETTINGS] = {"UNC Path",
                                      "Drive",
                                      "User",
                                      "Password",
                                      "Stop service after first task",
                                      "Time max. package installation [s]",
                                      "Time to display a message [s]",
                                      "Time to wait for next task [s]",
                                      "Time to wait for System Reboot [s]",
                                      "Users may add packages (1/0)",
                                      "Maintenance window (HH:MM-HH:MM)",
                                      "Restart may be put off [h]",
                                      "Signer thumbprints (SHA-1)"};

class Config : public ViewsTest {
protected:
    int (*saved_admin_)() = nullptr;
    void SetUp() override
    {
        ViewsTest::SetUp();
        saved_admin_ = mis_admin;
    }
    void TearDown() override
    {
        mis_admin = saved_admin_;
        ViewsTest::TearDown();
    }
    void show()
    {
        mtvw.select_item(mtvw.get_root());
        ASSERT_EQ(mview, VIEW_CONFIG);
        ASSERT_EQ(count(), SVC_SETTINGS);
    }
    bool value(const char* name, DWORD* type, std::string* data) { return reg_get_raw(NX_KEY, name, type, data); }
    void set_all()
    {
        reg_set_str(NX_KEY, "uncp", "\\\\srv\\%USERNAME%", REG_EXPAND_SZ);
        reg_set_str(NX_KEY, "ndrv", "Y:");
        reg_set_str(NX_KEY, "user", "dom\\bob", REG_EXPAND_SZ);
        reg_set_str(NX_KEY, "pswd", "secret");
        DWORD n[6] = {1, 3600, 30, 60, 0xFFFFFFFEu, 0};
        for (int i = 0; i < 6; i++) reg_set_dword(NX_KEY, svc_value(SvcSettingId(SVC_SET_STOP + i)), n[i]);
        reg_set_str(NX_KEY, "mwin", "22:00-05:00");
        reg_set_dword(NX_KEY, "tdef", 24);
    }
};

TEST_F(Config, AbsentValuesShowEmptyAndMinusOne)
{
    start("");
    show();
    EXPECT_EQ(mlvw.columns, 2);
    EXPECT_EQ(header(0), "Name");
    EXPECT_EQ(header(1), "Value");
    EXPECT_EQ(mobjects, SVC_SETTINGS);
    const int pictures[SVC_SETTINGS] = {IMG_COMPUTER, IMG_NETDRIVE, IMG_USER,  IMG_KEY,   IMG_SHEET, IMG_CLOCK, IMG_CLOCK,
                                        IMG_CLOCK,    IMG_CLOCK,    IMG_USER,  IMG_CLOCK, IMG_CLOCK, IMG_KEY};
    for (int i = 0; i < SVC_SETTINGS; i++) {
        SCOPED_TRACE(labels[i]);
        EXPECT_EQ(cell(i, 0), labels[i]);
        EXPECT_EQ(cell(i, 1), svc_settings[i].type == SVC_STR ? "" : "-1");
        EXPECT_EQ(image(i), pictures[i]);
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    int w = (rc.right - msplit - 8) / 2;
    EXPECT_EQ(SendMessageA(mlvw.handle, LVM_GETCOLUMNWIDTH, 0, 0), w);
    EXPECT_EQ(SendMessageA(mlvw.handle, LVM_GETCOLUMNWIDTH, 1, 0), w);
    EXPECT_NE(log_text().find("\tOnConf () OK ..."), std::string::npos);
}

TEST_F(Config, ValuesAreShownAsStoredAndThePasswordMasked)
{
    struct Case {
        std::string pswd, shown;
    } cases[] = {{"", ""}, {"x", "********"}, {std::string(40, 'p'), "********"}};
    set_all();
    start("");
    for (auto& c : cases) {
        SCOPED_TRACE(c.pswd);
        if (c.pswd.empty())
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, NX_KEY, "pswd");
        else
            reg_set_str(NX_KEY, "pswd", c.pswd);
        mtvw.select_item(mpkgs);
        show();
        EXPECT_EQ(column(1), (std::vector<std::string>{"\\\\srv\\%USERNAME%", "Y:", "dom\\bob", c.shown, "1", "3600",
                                                       "30", "60", "-2", "0", "22:00-05:00", "24", ""}));
    }
    // Texts longer than a field are cut to 259 characters.
    reg_set_str(NX_KEY, "uncp", std::string(300, 'u'));
    mtvw.select_item(mpkgs);
    show();
    EXPECT_EQ(mcols[1][0], std::string(259, 'u'));
}

TEST_F(Config, OkWithoutChangesRewritesAll)
{
    set_all();
    start("");
    show();
    select_row(5);
    std::vector<std::string> texts;
    bool masked = false;
    ModalAutomator a;
    a.Expect("NXSvc Configuration", [&](HWND h) {
        for (int i = 0; i < SVC_SETTINGS; i++) {
            char t[NX_PATH];
            GetDlgItemTextA(h, IDC_EDIT0 + i, t, sizeof t);
            texts.push_back(t);
        }
        HWND pw = GetDlgItem(h, IDC_EDIT0 + 3);
        masked = (GetWindowLongA(pw, GWL_STYLE) & ES_PASSWORD) && SendMessageA(pw, EM_GETPASSWORDCHAR, 0, 0) != 0;
        Press(IDOK)(h);
    });
    double_click();
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"\\\\srv\\%USERNAME%", "Y:", "dom\\bob", "secret", "1", "3600", "30", "60",
                                               "-2", "0", "22:00-05:00", "24", ""}));
    EXPECT_TRUE(masked);
    struct Want {
        const char* name;
        DWORD type;
        std::string data;
    } want[] = {
        {"uncp", REG_SZ, std::string("\\\\srv\\%USERNAME%") + '\0'},
        {"ndrv", REG_SZ, std::string("Y:") + '\0'},
        {"user", REG_SZ, std::string("dom\\bob") + '\0'},
        {"pswd", REG_SZ, std::string("secret") + '\0'},
        {"stop", REG_DWORD, std::string("\x01\0\0\0", 4)},
        {"tmax", REG_DWORD, std::string("\x10\x0e\0\0", 4)},
        {"tmsg", REG_DWORD, std::string("\x1e\0\0\0", 4)},
        {"tsvc", REG_DWORD, std::string("\x3c\0\0\0", 4)},
        {"twrb", REG_DWORD, std::string("\xfe\xff\xff\xff", 4)},
        {"self", REG_DWORD, std::string("\0\0\0\0", 4)},
        {"mwin", REG_SZ, std::string("22:00-05:00") + '\0'},
        {"tdef", REG_DWORD, std::string("\x18\0\0\0", 4)},
        {"sign", REG_SZ, std::string("\0", 1)},
    };
    for (auto& w : want) {
        SCOPED_TRACE(w.name);
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(value(w.name, &type, &data));
        EXPECT_EQ(type, w.type);
        EXPECT_EQ(data, w.data);
    }
    // The view shows what was written.
    EXPECT_EQ(mview, VIEW_CONFIG);
    EXPECT_EQ(cell(1, 1), "Y:");
    EXPECT_NE(log_text().find("\tOnEdit () OK ..."), std::string::npos);
}

// Group Policy over the product's key (tests/policy_cases.h): set_ncfg and
// the view take the policy values; the dialog shows them read-only and OK
// never writes them. Without the product's key the policies still apply.
TEST_F(Config, PolicyValuesWinAreReadOnlyAndNeverSaved)
{
    policy_set_all();
    start("");
    const char* ncfg[4] = {mncfg.uncp, mncfg.ndrv, mncfg.user, mncfg.pswd};
    for (int i = 0; i < 4; i++) EXPECT_STREQ(ncfg[i], policy_cases[i].used) << i;
    show();
    for (int i = 0; i < SVC_SETTINGS; i++)
        EXPECT_EQ(cell(i, 1), std::string(i == SVC_SET_PSWD ? "********" : policy_cases[i].used) +
                                  (policy_fixed(i) ? " (set by Group Policy)" : ""));
    select_row(0);
    std::vector<bool> readonly;
    ModalAutomator a;
    a.Expect("NXSvc Configuration", [&](HWND h) {
        for (int i = 0; i < SVC_SETTINGS; i++) readonly.push_back(GetWindowLongA(GetDlgItem(h, IDC_EDIT0 + i), GWL_STYLE) & ES_READONLY);
        SetDlgItemTextA(h, IDC_EDIT0 + 5, "42");  // typed into a read-only field all the same
        Press(IDOK)(h);
    });
    double_click();
    ASSERT_EQ(readonly.size(), (size_t)SVC_SETTINGS);
    for (int i = 0; i < SVC_SETTINGS; i++) {
        EXPECT_EQ(readonly[i], policy_fixed(i)) << i;
        // Fixed: the product's value as it was; else what the dialog held.
        std::string stored = policy_fixed(i) ? policy_cases[i].own : policy_cases[i].used;
        if (svc_settings[i].type == SVC_DWORD)
            EXPECT_EQ(reg_number(NX_KEY, svc_settings[i].value), std::stoll(stored)) << i;
        else
            EXPECT_EQ(reg_text(NX_KEY, svc_settings[i].value), stored);
    }
    EXPECT_NE(log_text().find("Policy (tmsg) not a REG_DWORD, ignored ..."), std::string::npos);
    reg_delete_tree(HKEY_LOCAL_MACHINE, NX_KEY);
    mtvw.select_item(mpkgs);
    show();
    EXPECT_EQ(cell(5, 1), "3600 (set by Group Policy)");
}

TEST_F(Config, NumbersAreReadLikeDecimalIntegers)
{
    struct Case {
        const char* typed;
        int written;
    } cases[] = {{"abc", 0}, {"12x", 12}, {" -7", -7}, {"+5", 5}, {"", 0}, {"-1", -1}, {"0x10", 0}};
    start("");
    show();
    for (auto& c : cases) {
        SCOPED_TRACE(c.typed);
        select_row(0);
        ModalAutomator a;
        a.Expect("NXSvc Configuration", SetTextsAndPress({{IDC_EDIT0 + 6, c.typed}}, IDOK));
        OnEdit(EDIT_SETTINGS);
        EXPECT_EQ(a.pending(), 0);
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(value("tmsg", &type, &data));
        EXPECT_EQ(type, (DWORD)REG_DWORD);
        ASSERT_EQ(data.size(), 4u);
        int n;
        memcpy(&n, data.data(), 4);
        EXPECT_EQ(n, c.written);
    }
    // Fields left at "-1" write -1.
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(value("twrb", &type, &data));
    EXPECT_EQ(data, std::string("\xff\xff\xff\xff", 4));
}

TEST_F(Config, WithoutRightsNothingIsWritten)
{
    start("");
    show();
    mis_admin = [] { return 0; };
    select_row(1);
    std::string text;
    ModalAutomator a;
    a.Expect("NXSvc Configuration", SetTextsAndPress({{IDC_EDIT0 + 0, "\\\\new\\share"}}, IDOK));
    a.Expect("Error", ReadAndConfirm(&text));
    double_click();
    EXPECT_EQ(a.pending(), 0);
    EXPECT_EQ(text, "Insufficent rights to set value Drive,\nrun nxwin.exe as Administrator!");
    for (auto& s : svc_settings) {
        SCOPED_TRACE(s.value);
        DWORD type;
        std::string data;
        EXPECT_FALSE(value(s.value, &type, &data));
    }
}

TEST_F(Config, EscapeWritesNothing)
{
    start("");
    show();
    select_row(0);
    ModalAutomator a;
    a.Expect("NXSvc Configuration", [](HWND h) {
        HWND edit = GetDlgItem(h, IDC_EDIT0);
        SetWindowTextA(edit, "\\\\typed");
        SetFocus(edit);
        PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    double_click();
    EXPECT_EQ(a.pending(), 0);
    EXPECT_TRUE(a.unexpected.empty());
    for (auto& s : svc_settings) {
        SCOPED_TRACE(s.value);
        DWORD type;
        std::string data;
        EXPECT_FALSE(value(s.value, &type, &data));
    }
    EXPECT_NE(log_text().find("\tOnEdit () OK ..."), std::string::npos);
}

TEST_F(Config, DoubleClickWithoutSelectionDoesNothing)
{
    start("");
    show();
    select_row(-1);
    ModalAutomator a;
    double_click();
    pump(100);
    EXPECT_TRUE(a.unexpected.empty());
    EXPECT_EQ(log_text().find("OnEdit ()"), std::string::npos);
}

TEST_F(Config, SelectingTheRootClearsTheNetworkError)
{
    start("");
    mncfg.fail = 1;
    ASSERT_STREQ(status_text(), "Network error, check configuration!");
    show();
    EXPECT_EQ(mncfg.fail, 0);
    EXPECT_STREQ(status_text(), "Ready");
}

// ---- inventory --------------------------------------------------------------

class Inventory : public ViewsTest {
protected:
    std::string sub;  // below the program's folder
    void SetUp() override
    {
        ViewsTest::SetUp();
        sub = "nxt_inv" + std::to_string(GetCurrentProcessId());
        make_dirs(exe_dir() + "\\" + sub);
    }
    void TearDown() override
    {
        remove_tree(exe_dir() + "\\" + sub);
        ViewsTest::TearDown();
    }
    // Writes the file and shows it through its own tree node.
    void open_csv(const std::string& name, const std::string& bytes)
    {
        ASSERT_TRUE(write_file(exe_dir() + "\\" + sub + "\\" + name, bytes));
        int slot = 0;
        while (slot < 10 && mcsv[slot]) slot++;
        ASSERT_LT(slot, 10);
        mcsv[slot] = mtvw.insert_item((sub + "\\" + name).c_str(), IMG_FOLDER_GREY, mtvw.get_root(), nullptr);
        mtvw.select_item(mcsv[slot]);
        ASSERT_EQ(mtvw.get_selection(), mcsv[slot]);
    }
    int width(int col) { return (int)SendMessageA(mlvw.handle, LVM_GETCOLUMNWIDTH, col, 0); }
};

TEST_F(Inventory, FileIsShownAsATable)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> headers;
        std::vector<std::vector<std::string>> rows;
    } cases[] = {
        {"five fields", "A,B,C,D,E\r\n1,2,3,4,5\r\n", {"A", "B", "C", "D", "E"}, {{"1", "2", "3", "4", "5"}}},
        {"quoted commas split", "h1,h2,h3\r\n\"a,b\",c\r\n", {"h1", "h2", "h3"}, {{"\"a", "b\"", "c"}}},
        {"blanks and empty fields stay", "x, y,\r\n ,,z \r\n", {"x", " y", ""}, {{" ", "", "z "}}},
        {"last line without line end", "N,V\r\nApp,1.0\r\nTool,2.0", {"N", "V"}, {{"App", "1.0"}, {"Tool", "2.0"}}},
        {"header only", "N,V\r\n", {"N", "V"}, {}},
        {"empty file", "", {}, {}},
        {"wide rows keep six fields, short rows are padded", "a,b,c,d,e,f,g,h\r\n1,2,3,4,5,6,7,8\r\n1\r\n",
         {"a", "b", "c", "d", "e", "f"},
         {{"1", "2", "3", "4", "5", "6"}, {"1", "", "", "", "", ""}}},
    };
    start("");
    int n = 0;
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        open_csv("f" + std::to_string(n++) + ".csv", c.bytes);
        EXPECT_EQ(mlvw.columns, (int)c.headers.size());
        EXPECT_EQ(header_count(), (int)c.headers.size());
        for (size_t k = 0; k < c.headers.size(); k++) EXPECT_EQ(header((int)k), c.headers[k]);
        ASSERT_EQ(count(), (int)c.rows.size());
        EXPECT_EQ(mobjects, (int)c.rows.size());
        for (size_t r = 0; r < c.rows.size(); r++) {
            for (size_t k = 0; k < c.rows[r].size(); k++) EXPECT_EQ(cell((int)r, (int)k), c.rows[r][k]);
            EXPECT_EQ(image((int)r), IMG_SHEET);
        }
        for (auto& col : mcols) EXPECT_EQ(col.size(), c.rows.empty() ? 0u : c.rows.size());
        EXPECT_NE(mview, VIEW_CONFIG);
    }
    EXPECT_NE(log_text().find("\tReadCSV (3) OK ..."), std::string::npos);
}

TEST_F(Inventory, FiveColumnsGetTheirWidths)
{
    start("");
    open_csv("five.csv", "A,B,C,D,E\n1,2,3,4,5\n");
    RECT rc;
    GetClientRect(hwnd, &rc);
    int u = (rc.right - msplit - 4) / 9;
    int want[5] = {2 * u, u, u, 2 * u, 2 * u};
    for (int i = 0; i < 5; i++) EXPECT_EQ(width(i), want[i]) << i;
    // Read-only: the Delete key does not remove rows here.
    select_row(0);
    press_delete();
    EXPECT_EQ(count(), 1);
}

TEST_F(Inventory, SoftwareIsSortedOthersKeepFileOrder)
{
    std::string bytes = "Name,Version\r\nzip,2\r\nApp,10\r\nmid,1\r\n";
    start("");
    struct Case {
        const char* file;
        int col, desc;
        std::vector<std::string> names;
    } cases[] = {
        {"Software.csv", 0, 0, {"App", "mid", "zip"}},
        {"Hardware.csv", 0, 0, {"zip", "App", "mid"}},
        {"Software.csv", 1, 0, {"mid", "App", "zip"}},  // by the last clicked column, as text
    };
    int n = 0;
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + std::to_string(c.col));
        msortcol = c.col;
        msortdesc = c.desc;
        std::string folder = "s" + std::to_string(n++);
        make_dirs(exe_dir() + "\\" + sub + "\\" + folder);
        open_csv(folder + "\\" + c.file, bytes);
        EXPECT_EQ(column(0), c.names);
    }
}

TEST_F(Inventory, MissingFileOrNoFileGivesAnEmptyView)
{
    start("");
    // "Software.csv" is sorted also when it cannot be opened.
    for (const char* name : {"there.csv", "Software.csv"}) {
        SCOPED_TRACE(name);
        open_csv(name, "a,b\n1,2\n");
        ASSERT_EQ(count(), 1);
        DeleteFileA((exe_dir() + "\\" + sub + "\\" + name).c_str());
        mtvw.select_item(mtvw.get_root());
        int slot = 0;
        while (mcsv[slot + 1]) slot++;
        size_t from = log_text().size();
        mtvw.select_item(mcsv[slot]);
        EXPECT_EQ(mlvw.columns, 0);
        EXPECT_EQ(count(), 0);
        EXPECT_EQ(mobjects, 0);
        bool sorted = log_text().find("\tOnSort () OK ...", from) != std::string::npos;
        EXPECT_EQ(sorted, std::string(name) == "Software.csv");
    }
    ReadCSV(2);
    EXPECT_EQ(mlvw.columns, 0);
    EXPECT_NE(log_text().find("\tReadCSV (2) OK ..."), std::string::npos);
}
