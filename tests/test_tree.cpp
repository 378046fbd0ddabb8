// The navigation tree built at start, the admin menu, and which view each
// node shows.
#include "consoletest.h"
#include "resource.h"

using namespace tu;

namespace {

std::vector<std::string> children_of(HTREEITEM parent)
{
    std::vector<std::string> out;
    HTREEITEM it = (HTREEITEM)SendMessageA(mtvw.handle, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)parent);
    while (it) {
        out.push_back(mtvw.get_item_text(it));
        it = (HTREEITEM)SendMessageA(mtvw.handle, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)it);
    }
    return out;
}

std::vector<std::string> menu_bar(HWND hwnd)
{
    std::vector<std::string> out;
    HMENU m = GetMenu(hwnd);
    for (int i = 0; i < GetMenuItemCount(m); i++) {
        char t[64] = "";
        GetMenuStringA(m, i, t, sizeof t, MF_BYPOSITION);
        out.push_back(t);
    }
    return out;
}

int count_of(const std::vector<std::string>& v, const std::string& s)
{
    int n = 0;
    for (auto& x : v) n += x == s;
    return n;
}

// Inventory files below the program folder, in a folder of this test's own
// (the program folder may hold other .csv files, which the tests allow for).
class Tree : public ConsoleTest {
protected:
    std::string sub, subname;
    void SetUp() override
    {
        ConsoleTest::SetUp();
        subname = "nxtree" + std::to_string(GetCurrentProcessId());
        sub = exe_dir() + "\\" + subname;
        remove_tree(sub);
        make_dirs(sub);
    }
    void TearDown() override
    {
        ConsoleTest::TearDown();
        remove_tree(sub);
    }
    int baseline()
    {
        // Inventory nodes without this test's files.
        std::string keep = sub + ".away";
        MoveFileA(sub.c_str(), keep.c_str());
        start();
        int n = (int)children_of(minv).size();
        StopConsole();
        MoveFileA(keep.c_str(), sub.c_str());
        return n;
    }
};

TEST_F(Tree, UserModeNodesAndInventoryFiles)
{
    int base = baseline();
    write_file(sub + "\\Software.csv", "a,b\n1,2\n");
    write_file(sub + "\\report.csv.bak", "x\n");
    write_file(sub + "\\notes.txt", "x\n");
    make_dirs(sub + "\\old");
    write_file(sub + "\\old\\Hardware.csv", "x\n");
    start();
    HTREEITEM root = mtvw.get_root();
    EXPECT_EQ(std::string(mtvw.get_item_text(root)), "NXSvc");
    auto top = children_of(root);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0], "Packages");
    EXPECT_EQ(top[1], "Inventory");
    ASSERT_NE(mpkgs, nullptr);
    ASSERT_NE(minv, nullptr);
    auto inv = children_of(minv);
    if (base + 3 <= 10) {
        EXPECT_EQ(inv.size(), (size_t)base + 3);
        EXPECT_EQ(count_of(inv, subname + "\\Software.csv"), 1);
        EXPECT_EQ(count_of(inv, subname + "\\report.csv.bak"), 1);
        EXPECT_EQ(count_of(inv, subname + "\\old\\Hardware.csv"), 1);
        EXPECT_EQ(count_of(inv, subname + "\\notes.txt"), 0);
        // One log line per found file: its path from the current folder ".".
        std::string log = log_text();
        EXPECT_NE(log.find("\t.\\" + subname + "\\Software.csv\r\n"), std::string::npos);
    }
    // The current folder is the program's folder.
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    EXPECT_EQ(_stricmp(cwd, exe_dir().c_str()), 0) << cwd;
    EXPECT_EQ(menu_bar(hwnd), (std::vector<std::string>{"&File", "&?"}));
    // The device list is shown at once.
    EXPECT_NE(log_text().find("ReadINI ("), std::string::npos);
}

TEST_F(Tree, AtMostTenInventoryNodes)
{
    for (int i = 0; i < 12; i++) write_file(sub + "\\f" + std::to_string(i) + ".csv", "h\n");
    start();
    auto inv = children_of(minv);
    EXPECT_EQ(inv.size(), 10u);
    int filled = 0;
    for (auto h : mcsv) filled += h != nullptr;
    EXPECT_EQ(filled, 10);
}

TEST_F(Tree, AdminModeHasNoInventoryAndAnAdminMenu)
{
    write_file(sub + "\\Software.csv", "a,b\n");
    start("/admin");
    auto top = children_of(mtvw.get_root());
    EXPECT_EQ(top, (std::vector<std::string>{"Packages", "Devices"}));
    EXPECT_EQ(minv, nullptr);
    for (auto h : mcsv) EXPECT_EQ(h, nullptr);
    EXPECT_EQ(menu_bar(hwnd), (std::vector<std::string>{"&File", "Admin", "&?"}));
    HMENU admin = GetSubMenu(GetMenu(hwnd), 1);
    EXPECT_STREQ(menu_text(admin, CMD_OPENLIST), "Open Package List");
    EXPECT_STREQ(menu_text(admin, CMD_SAVE), "Save Package List");
    EXPECT_STREQ(menu_text(admin, CMD_FLEETREPORT), "Fleet Report");
    EXPECT_EQ(mlvw.get_item_count(), 0);
    EXPECT_EQ(mobjects, 0);
    EXPECT_EQ(log_text().find("ReadINI ("), std::string::npos) << "no list is read at start in admin mode";
}

TEST_F(Tree, F2LaterAddsNoMenuAndKeepsTheNodes)
{
    start();
    auto before = children_of(mtvw.get_root());
    ModalAutomator a;
    a.Expect("Open", Press(IDCANCEL));
    command(CMD_ADMIN);
    EXPECT_EQ(madmin, 1);
    EXPECT_EQ(a.pending(), 0) << "F2 asks for the list file at once";
    EXPECT_EQ(menu_bar(hwnd), (std::vector<std::string>{"&File", "&?"}));
    EXPECT_EQ(children_of(mtvw.get_root()), before);
    // From now on selecting "Packages" does not reload the list.
    size_t reads = 0;
    std::string log = log_text();
    for (size_t p = 0; (p = log.find("ReadINI (", p)) != std::string::npos; p++) reads++;
    mtvw.select_item(mtvw.get_root());
    mtvw.select_item(mpkgs);
    log = log_text();
    size_t reads2 = 0;
    for (size_t p = 0; (p = log.find("ReadINI (", p)) != std::string::npos; p++) reads2++;
    EXPECT_EQ(reads2, reads);
}

TEST_F(Tree, NodesChooseTheView)
{
    write_file(sub + "\\Software.csv", "Name,Version,Vendor\nb,1,x\na,2,y\n");
    start();
    mtvw.select_item(mtvw.get_root());
    EXPECT_EQ(mview, VIEW_CONFIG);
    EXPECT_EQ(mlvw.columns, 2);
    EXPECT_EQ(mobjects, SVC_SETTINGS);
    mtvw.select_item(minv);
    EXPECT_EQ(mlvw.columns, 0);
    EXPECT_EQ(mlvw.get_item_count(), 0);
    HTREEITEM node = nullptr;
    for (auto h : mcsv)
        if (h && std::string(mtvw.get_item_text(h)) == subname + "\\Software.csv") node = h;
    ASSERT_NE(node, nullptr);
    mtvw.select_item(node);
    EXPECT_NE(mview, VIEW_CONFIG);
    EXPECT_EQ(mlvw.columns, 3);
    EXPECT_EQ(mobjects, 2);
    mtvw.select_item(mpkgs);
    EXPECT_EQ(mlvw.columns, 6);
    // While a search runs the tree does not switch views.
    msearch = 1;
    mtvw.select_item(mtvw.get_root());
    EXPECT_EQ(mlvw.columns, 6);
    msearch = 0;
}

}  // namespace
