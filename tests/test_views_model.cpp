// The list model: emptying, cells, sorting; install results from the
// registry.
#include "test_views_util.h"
#include "rowsort.h"
#include "service_sim.h"
#include <algorithm>

using namespace tu;

class Model : public ViewsTest {};

TEST_F(Model, ClearSetsUpPackageColumnsOrNone)
{
    write_list(device_list(), section("Acme", "Tool", "1.0", "p"));
    start("");
    ASSERT_EQ(count(), 1);

    Clear(CLEAR_EMPTY);
    EXPECT_EQ(mlvw.columns, 0);
    EXPECT_EQ(header_count(), 0);
    EXPECT_EQ(count(), 0);
    EXPECT_NE(mview, VIEW_PACKAGES);
    EXPECT_EQ(mobjects, 0);
    for (auto& c : mcols) EXPECT_TRUE(c.empty());
    EXPECT_TRUE(mrows.empty());
    EXPECT_TRUE(mimages.empty());

    Clear(CLEAR_PACKAGES);
    EXPECT_EQ(mlvw.columns, 6);
    EXPECT_EQ(header_count(), 6);
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(mview, VIEW_PACKAGES);
    const char* names[6] = {"Name", "Manufacturer", "Version", "Script", "Status", "Order"};
    for (int i = 0; i < 6; i++) EXPECT_EQ(header(i), names[i]);
    // Refilling the package view keeps exactly the six columns.
    Clear(CLEAR_PACKAGES);
    EXPECT_EQ(mlvw.columns, 6);
    EXPECT_EQ(header_count(), 6);
    EXPECT_NE(log_text().find("\tClear () OK ..."), std::string::npos);
}

// Rows: name, manufacturer, version.
static std::string three_rows()
{
    return section("Zed", "ABC", "2.0", "p1") + section("Acme", "abc", "1.0", "p2") + section("Mid", "b", "10.0", "p3") +
           section("Mid", "b", "9.0", "p4");
}

TEST_F(Model, NameSortIgnoresCaseAndFallsBackToVersion)
{
    write_list(device_list(), three_rows());
    start("");
    ASSERT_EQ(count(), 4);
    struct Case {
        int col;
        std::vector<std::string> names, versions;
    } cases[] = {
        // First click: descending (the direction flips on every click).
        {COL_NAME, {"b", "b", "ABC", "abc"}, {"9.0", "10.0", "2.0", "1.0"}},
        {COL_NAME, {"abc", "ABC", "b", "b"}, {"1.0", "2.0", "10.0", "9.0"}},
        // Version after Name: opposite direction from the last sort.
        {COL_VERS, {"b", "ABC", "b", "abc"}, {"9.0", "2.0", "10.0", "1.0"}},
        {COL_VERS, {"abc", "b", "ABC", "b"}, {"1.0", "10.0", "2.0", "9.0"}},
    };
    int n = 0;
    for (auto& c : cases) {
        SCOPED_TRACE(n++);
        column_click(c.col);
        EXPECT_EQ(msortcol, c.col);
        EXPECT_EQ(column(COL_NAME), c.names);
        EXPECT_EQ(column(COL_VERS), c.versions);
        EXPECT_EQ(mselected, 0);
    }
}

TEST_F(Model, OrderSortsAsText)
{
    std::string text;
    for (int i = 0; i < 1001; i++) text += section("C", "P" + std::to_string(i), "1", "p");
    write_list(device_list(), text);
    start("");
    ASSERT_EQ(count(), 1001);
    EXPECT_EQ(cell(1000, COL_ORDER), "1000");
    msortdesc = 1;
    column_click(COL_ORDER);  // flips to ascending
    ASSERT_EQ(msortdesc, 0);
    std::vector<std::string> order = column(COL_ORDER);
    auto at = std::find(order.begin(), order.end(), "1000") - order.begin();
    EXPECT_EQ(order[at - 1], "100");
    EXPECT_EQ(order[at + 1], "101");
}

TEST_F(Model, RowsOutsideTheModelShowNothing)
{
    write_list(device_list(), section("Acme", "Tool", "1.0", "p") + section("Acme", "Kit", "2.0", "q"));
    start("");
    ASSERT_EQ(count(), 2);
    // A display row that names a data row the model does not have, and a
    // display row past the order's end.
    mmodel.set_order({mrows[0], 57});
    mlvw.set_item_count(3);
    for (int row : {1, 2}) {
        SCOPED_TRACE(row);
        for (int col = 0; col < 6; col++) EXPECT_EQ(cell(row, col), "");
        NMLVDISPINFOA di = {};
        di.item.mask = LVIF_TEXT | LVIF_IMAGE;
        di.item.iItem = row;
        di.item.iImage = IMG_AVAILABLE;
        OnGetDispInfo(&di);
        EXPECT_STREQ(di.item.pszText, "");
        EXPECT_NE(di.item.iImage, 4);
    }
    EXPECT_EQ(cell(0, COL_NAME), "Tool");
    // An image-only request answers the picture.
    NMLVDISPINFOA di = {};
    di.item.mask = LVIF_IMAGE;
    OnGetDispInfo(&di);
    EXPECT_EQ(di.item.iImage, IMG_LISTED);
    EXPECT_EQ(di.item.pszText, nullptr);
}

TEST_F(Model, SortInTheConfigurationViewOnlyRepaints)
{
    start("");
    mtvw.select_item(mtvw.get_root());
    ASSERT_EQ(mview, VIEW_CONFIG);
    ASSERT_EQ(count(), SVC_SETTINGS);
    select_row(2);
    mselected = 1;
    std::vector<std::string> before = column(0);
    column_click(0);
    column_click(1);
    EXPECT_EQ(column(0), before);
    EXPECT_EQ(mselected, 1);
    EXPECT_NE(log_text().find("OnSort () OK"), std::string::npos);
}

// Columns of unequal length (a view that filled fewer cells): a missing
// cell compares as the empty text, which keeps the ordering strict and weak.
TEST(RowOrder, MissingCellsCompareAsEmptyText)
{
    std::vector<std::string> cols[NCOLS];
    cols[COL_NAME] = {"b", "a", "", "B"};  // rows 4 and 5 have no name
    cols[COL_VERS] = {"1", "2", "3"};
    const int n = 6;
    for (int desc = 0; desc < 2; desc++)
        for (int col : {COL_NAME, COL_VERS, COL_PATH}) {
            SCOPED_TRACE(col * 10 + desc);
            auto less = [&](int a, int b) { return row_less(cols, col, desc, a, b); };
            auto equiv = [&](int a, int b) { return !less(a, b) && !less(b, a); };
            for (int a = 0; a < n; a++) {
                EXPECT_FALSE(less(a, a));
                for (int b = 0; b < n; b++)
                    for (int c = 0; c < n; c++) {
                        if (less(a, b) && less(b, c)) {
                            EXPECT_TRUE(less(a, c)) << a << b << c;
                        }
                        if (equiv(a, b) && equiv(b, c)) {
                            EXPECT_TRUE(equiv(a, c)) << a << b << c;
                        }
                    }
            }
        }
    // The row without a name sorts with the empty name, before "a".
    EXPECT_TRUE(row_less(cols, COL_NAME, 0, 4, 1));
    EXPECT_FALSE(row_less(cols, COL_NAME, 0, 1, 4));
}

// The sort gathers the cells into keys first; it must give an order in
// which no row goes before its predecessor by the row comparison.
TEST(RowOrder, SortAgreesWithTheRowComparison)
{
    std::vector<std::string> cols[NCOLS];
    const char* names[] = {"b", "A", "a", "", "B", "c", "a", "_x"};
    const char* vers[] = {"2", "10", "9", "1", "", "3", "10"};  // row 7 has no version
    for (auto n : names) cols[COL_NAME].push_back(n);
    for (auto v : vers) cols[COL_VERS].push_back(v);
    for (int col : {COL_NAME, COL_VERS, COL_PATH})
        for (int desc = 0; desc < 2; desc++) {
            SCOPED_TRACE(col * 10 + desc);
            std::vector<int> rows = {7, 6, 5, 4, 3, 2, 1, 0, 9};  // 9: a row no column has
            sort_rows(rows, cols, col, desc);
            std::vector<int> sorted = rows;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 9}));
            for (size_t i = 1; i < rows.size(); i++) EXPECT_FALSE(row_less(cols, col, desc, rows[i], rows[i - 1])) << i;
        }
}

TEST(RowOrder, CaseFoldingIsAsciiOnly)
{
    struct Case {
        const char *a, *b;
        int sign;
    } cases[] = {
        {"abc", "ABC", 0}, {"a", "B", -1}, {"_", "a", -1},  // "_" lies between the capitals and the small letters
        {"ab", "abc", -1}, {"\xC4", "\xE4", -1},           // bytes above 127 by value
        {"", "", 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        int r = cmp_nocase(c.a, strlen(c.a), c.b, strlen(c.b));
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

// ---- install results ------------------------------------------------------

class Results : public ViewsTest {};

TEST_F(Results, RegistryMarksMatchingRows)
{
    struct Row {
        const char *comp, *name, *vers, *stat;  // as listed
        std::function<void()> service;          // what the service left
        const char* want_stat;
        int want_image;
    } rows[] = {
        {"Acme", "Other", "1.0", "", [] { svc_sim::record_install("Acme", "Other", "2.0", 0, "2024-01-01 10:00:00"); },
         "", IMG_LISTED},
        {"Acme", "NoCode", "1.0", "", [] { svc_sim::record_started("Acme", "NoCode", "1.0"); }, "failed to install",
         IMG_LISTED},
        {"Acme", "Reboot", "3.0", "", [] { svc_sim::record_install("Acme", "Reboot", "3.0", 3010, "2024-02-03 04:05:06"); },
         "2024-02-03 04:05:06", IMG_INSTALLED},
        {"Acme", "Started", "1.0", "", [] { svc_sim::record_install("Acme", "Started", "1.0", 1641, "t1"); }, "t1",
         IMG_INSTALLED},
        {"Acme", "NoTime", "1.0", "available",
         [] {
             svc_sim::record_started("Acme", "NoTime", "1.0");
             svc_sim::set_dword(svc_sim::result_key("Acme", "NoTime"), SVC_RES_CODE, 0);
         },
         "", IMG_INSTALLED},
        {"Acme", "Failed", "1.0", "available", [] { svc_sim::record_install("Acme", "Failed", "1.0", 1603, "t2"); }, "",
         IMG_AVAILABLE},
        {"Acme", "Case", "1.0A", "", [] { svc_sim::record_install("Acme", "Case", "1.0a", 0, "t3"); }, "", IMG_LISTED},
        {"Ven\\dor", "Deep", "1.0", "", [] { svc_sim::record_install("Ven\\dor", "Deep", "1.0", 0, "t4"); }, "t4",
         IMG_INSTALLED},
        {"Acme", "TextCode", "1.0", "",
         [] {
             svc_sim::record_started("Acme", "TextCode", "1.0");
             svc_sim::set_str(svc_sim::result_key("Acme", "TextCode"), SVC_RES_CODE, "0");
         },
         "failed to install", IMG_LISTED},
    };
    std::string text;
    for (auto& r : rows) {
        text += section(r.comp, r.name, r.vers, "p", r.stat);
        r.service();
    }
    write_list(device_list(), text);
    start("");
    ASSERT_EQ(count(), (int)(sizeof rows / sizeof rows[0]));
    for (int i = 0; i < count(); i++) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(cell(i, COL_STAT), rows[i].want_stat);
        EXPECT_EQ(image(i), rows[i].want_image);
    }
    EXPECT_NE(log_text().find("\tReadREG () OK ..."), std::string::npos);
}

// A failed installation keeps its listed state, so it is not saved again.
TEST_F(Results, FailedRowIsNotSaved)
{
    write_list(device_list(), section("Acme", "Bad", "1.0", "p") + section("Acme", "Good", "1.0", "q"));
    svc_sim::record_started("Acme", "Bad", "1.0");
    svc_sim::record_install("Acme", "Good", "1.0", 0);
    start("");
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(OnSave(), 0);
    std::string saved = read_file(device_list());
    EXPECT_EQ(saved.find("name=Bad"), std::string::npos);
    EXPECT_NE(saved.find("name=Good"), std::string::npos);
}
