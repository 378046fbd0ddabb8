// The list file, inventory file, row order and editing rules built natively
// under the sanitizers: buffer edges at NX_PATH - 1, NX_PATH and NX_PATH + 1 characters, inputs
// the console never writes, and what each editing command does to the model.
#include "csvfile.h"
#include "listfile.h"
#include "model.h"
#include "rowsort.h"
#include "editrules.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

// A stream over text, as the CRT delivers it in text mode (line feeds only).
FILE* stream(const std::string& text)
{
    FILE* f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    rewind(f);
    return f;
}

int read(const std::string& text, ListModel& m, int admin = 0)
{
    FILE* f = stream(text);
    int n = read_list(f, admin, m);
    fclose(f);
    return n;
}

}  // namespace

TEST(ListPieces, FieldsAtTheBufferEdges)
{
    for (size_t len : {253u, 254u, 255u, 259u, 260u, 261u, 600u}) {
        SCOPED_TRACE(len);
        std::string value(len, 'v');
        ListModel m;
        int n = read("[s]\ncomp=c\nvers=1\npath=p\nname=" + value + "\n", m);
        ASSERT_EQ(n, 1);
        // The first piece holds 259 characters, "name=" and 254 of the value.
        EXPECT_EQ(m.columns()[COL_NAME][0], value.substr(0, 254));
    }
}

TEST(ListPieces, PieceWithoutLineFeedAndEmptyPieces)
{
    ListReader rd;
    char a[LIST_PIECE] = "[x";
    EXPECT_FALSE(rd.piece(a));
    EXPECT_TRUE(rd.open);
    const char* lines[] = {"comp=c", "", "\n", "vers=1", "path=p"};
    for (const char* l : lines) {
        char b[LIST_PIECE];
        snprintf(b, sizeof b, "%s", l);
        EXPECT_FALSE(rd.piece(b));
    }
    char c[LIST_PIECE] = "name=n\n";
    EXPECT_TRUE(rd.piece(c));
    EXPECT_FALSE(rd.open);
    EXPECT_STREQ(rd.name, "n");
    EXPECT_EQ(rd.n, 1);
    // Keys before the next "[" change the fields but make no record.
    char d[LIST_PIECE] = "vers=2";
    EXPECT_FALSE(rd.piece(d));
    EXPECT_STREQ(rd.vers, "2");
}

TEST(ListPieces, KeysAnywhereAndAtTheStart)
{
    struct Case {
        const char* piece;
        const char *name, *comp;
    } cases[] = {
        {"name=", "", ""},        {"=name=x", "name=x", ""},  // value after the first "="
        {"ame=x", "", ""},        {"xname=y", "y", ""},   {"name=comp=z", "comp=z", "comp=z"},
        {"comp=a=name=b", "a=name=b", "a=name=b"},       {"nam=e=x", "", ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.piece);
        ListReader rd;
        char buf[LIST_PIECE];
        snprintf(buf, sizeof buf, "%s", c.piece);
        rd.piece(buf);
        EXPECT_STREQ(rd.name, c.name);
        EXPECT_STREQ(rd.comp, c.comp);
    }
}

TEST(ListFile, BinaryAndOddInput)
{
    std::string junk;
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; i++) junk += (char)(rng() % 4 == 0 ? '\n' : rng() % 256);
    junk += "\n[a]\nname=n\ncomp=c\nvers=1\npath=p\n";
    ListModel m;
    int n = read(junk, m);
    EXPECT_GE(n, 1);
    for (auto& c : m.columns()) EXPECT_EQ(c.size(), (size_t)n);
    EXPECT_EQ(m.rows().size(), (size_t)n);
    EXPECT_EQ(m.images().size(), (size_t)n);
}

TEST(ListFile, OrderTexts)
{
    struct Case {
        int n;
        const char* text;
    } cases[] = {{0, "000"}, {7, "007"}, {99, "099"}, {100, "100"}, {1000, "1000"}, {-1, "-01"}, {-100, "-100"},
                 {123456789, "123456789"}, {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.n);
        char out[16];
        format_order(out, c.n);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(ListFile, WrittenSectionsReadBack)
{
    FILE* f = tmpfile();
    std::string long_path(259, 'p');
    EXPECT_EQ(write_section(f, "Name", "Comp", "1.0", "Y:\\pkg\\Install.cmd"), 1);
    EXPECT_EQ(write_section(f, "x", "", "1", "p"), 0);
    EXPECT_EQ(write_section(f, "N2", "C2", "2", "q"), 1);
    rewind(f);
    ListModel m;
    EXPECT_EQ(read_list(f, 1, m), 2);
    fclose(f);
    EXPECT_EQ(m.columns()[COL_NAME], (std::vector<std::string>{"Name", "N2"}));
    EXPECT_EQ(m.columns()[COL_PATH], (std::vector<std::string>{"Y:\\pkg\\Install.cmd", "q"}));
    EXPECT_EQ(m.columns()[COL_ORDER], (std::vector<std::string>{"000", "001"}));
    EXPECT_EQ(m.images(), (std::vector<int>{IMG_INSTALLED, IMG_INSTALLED}));
}

TEST(Inventory, FieldsAndPieces)
{
    std::vector<std::string> fields;
    split_fields("", fields);
    EXPECT_EQ(fields, (std::vector<std::string>{""}));
    split_fields(",,", fields);
    EXPECT_EQ(fields, (std::vector<std::string>{"", "", ""}));

    std::string wide(300, 'w');
    FILE* f = stream("a,b\n" + wide + ",x\n1,2,3,4,5,6,7\n");
    std::vector<std::string> headers;
    ListModel m;
    int n = read_csv(f, NCOLS, headers, m, IMG_SHEET);
    const Columns& cols = m.columns();
    fclose(f);
    // The 300-character line comes in two pieces, each a row.
    ASSERT_EQ(n, 3);
    EXPECT_EQ(cols[0][0], std::string(259, 'w'));
    EXPECT_EQ(cols[0][1], std::string(41, 'w'));
    EXPECT_EQ(cols[1][1], "x");
    EXPECT_EQ(cols[5][2], "6");
    for (auto& c : cols) EXPECT_EQ(c.size(), 3u);
}

TEST(RowOrder, RandomModelsSortConsistently)
{
    std::mt19937 rng(3);
    const char* pool[] = {"", "a", "A", "b", "B", "ab", "aB", "_", "10", "9", "\xe4", "\xc4"};
    for (int round = 0; round < 50; round++) {
        std::vector<std::string> cols[NCOLS];
        int n = 1 + rng() % 60;
        for (int c = 0; c < NCOLS; c++) {
            int len = rng() % (n + 1);  // columns of unequal length
            for (int i = 0; i < len; i++) cols[c].push_back(pool[rng() % 12]);
        }
        std::vector<int> rows(n);
        for (int i = 0; i < n; i++) rows[i] = i;
        std::shuffle(rows.begin(), rows.end(), rng);
        int col = rng() % NCOLS, desc = rng() % 2;
        sort_rows(rows, cols, col, desc);
        for (int i = 1; i < n; i++) ASSERT_FALSE(row_less(cols, col, desc, rows[i], rows[i - 1]));
        std::vector<int> again = rows;
        std::sort(again.begin(), again.end(), [&](int a, int b) { return row_less(cols, col, desc, a, b); });
        for (int i = 1; i < n; i++) ASSERT_FALSE(row_less(cols, col, desc, again[i], again[i - 1]));
    }
}

namespace {

// A model of package rows: name, manufacturer, version, state, order.
struct PkgRow {
    const char *name, *comp, *vers;
    int state;
    const char* order;
};

ListModel model_of(const std::vector<PkgRow>& rows)
{
    ListModel m;
    for (const PkgRow& r : rows) {
        const char* cells[NCOLS] = {r.name, r.comp, r.vers, "p", "", r.order};
        m.append(cells, NCOLS, r.state);
    }
    return m;
}

std::vector<std::string> shown(const ListModel& m, int col)
{
    std::vector<std::string> out;
    for (int r : m.rows()) out.push_back(m.columns()[col][r]);
    return out;
}

}  // namespace

// The injected faults this must catch: equal names not ordered by version,
// and a case folding that leaves out a letter (Z, say).
TEST(RowOrder, EqualNamesByVersionAndEveryLetterFolded)
{
    struct Case {
        const char *name_a, *vers_a, *name_b, *vers_b;
        int col, desc;
        bool less;  // a before b
    } cases[] = {
        {"Zip", "1.0", "Zip", "2.0", COL_NAME, 0, true},
        {"Zip", "2.0", "Zip", "1.0", COL_NAME, 0, false},
        {"Zip", "1.0", "Zip", "2.0", COL_NAME, 1, false},
        {"Zip", "2.0", "Zip", "1.0", COL_NAME, 1, true},
        {"abc", "1.0", "ABC", "2.0", COL_NAME, 0, true},
        {"ZIP", "2", "zip", "1", COL_NAME, 0, false},  // the same name: the version decides
        {"ZIP", "1", "zip", "2", COL_NAME, 0, true},
        {"AZ", "1", "az", "1", COL_NAME, 0, false},
        {"Z", "1", "[", "1", COL_NAME, 0, false},  // z (0x7a) after [ (0x5b)
        {"[", "1", "Z", "1", COL_NAME, 0, true},
        {"A", "1", "_", "1", COL_NAME, 0, false},
        {"Zip", "1", "Zip", "2", COL_COMP, 0, false},  // no tie-break outside Name
        {"x", "Z", "x", "z", COL_VERS, 0, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.name_a) + "/" + c.vers_a + " vs " + c.name_b + "/" + c.vers_b +
                     " col " + std::to_string(c.col) + (c.desc ? " desc" : " asc"));
        ListModel m = model_of({{c.name_a, c.name_a, c.vers_a, IMG_AVAILABLE, "000"},
                                {c.name_b, c.name_b, c.vers_b, IMG_AVAILABLE, "001"}});
        EXPECT_EQ(row_less(m.columns(), c.col, c.desc, 0, 1), c.less);
        // The sort from its key array agrees.
        std::vector<int> rows = {1, 0};
        sort_rows(rows, m.columns(), c.col, c.desc);
        if (c.less) EXPECT_EQ(rows, (std::vector<int>{0, 1}));
        if (row_less(m.columns(), c.col, c.desc, 1, 0)) EXPECT_EQ(rows, (std::vector<int>{1, 0}));
    }
}

TEST(Rules, CheckTogglesAndCrossesOutOtherVersions)
{
    const int A = IMG_AVAILABLE, R = IMG_READY, X = IMG_EXCLUDED, L = IMG_LISTED, I = IMG_INSTALLED;
    struct Step {
        int p;  // display position clicked
        bool changed;
        std::vector<int> images;
        std::vector<std::string> stats;
    };
    struct Case {
        const char* what;
        std::vector<PkgRow> rows;
        std::vector<Step> steps;
    } cases[] = {
        {"check, uncheck, check another version",
         {{"Zip", "Acme", "1", A, "000"}, {"Zip", "Acme", "2", A, "001"}, {"Zip", "Other", "1", A, "002"},
          {"Tool", "Acme", "1", A, "003"}},
         {{0, true, {R, X, A, A}, {"ready to install", "", "", ""}},
          {0, true, {A, A, A, A}, {"available", "", "", ""}},
          {0, true, {R, X, A, A}, {"ready to install", "", "", ""}},
          // A crossed-out version is checked; the other one is crossed out
          // and keeps its status text.
          {1, true, {X, R, A, A}, {"ready to install", "ready to install", "", ""}}}},
        {"listed and installed rows do not toggle, and come back after undo",
         {{"Zip", "Acme", "1", L, "000"}, {"Zip", "Acme", "2", I, "001"}, {"Zip", "Acme", "3", A, "002"}},
         {{0, false, {L, I, A}, {"", "", ""}},
          {1, false, {L, I, A}, {"", "", ""}},
          {2, true, {X, X, R}, {"", "", "ready to install"}},
          {2, true, {L, I, A}, {"", "", "available"}}}},
        {"a crossed-out installed version clicked twice is installed again",
         {{"Zip", "Acme", "1", A, "000"}, {"Zip", "Acme", "2", I, "001"}},
         {{0, true, {R, X}, {"ready to install", ""}},
          {1, true, {X, R}, {"ready to install", "ready to install"}},
          {1, true, {A, I}, {"ready to install", ""}}}},
        {"name and manufacturer are compared apart",
         {{"Office 2016", "MS", "1", A, "000"}, {"Office", "2016 MS", "1", A, "001"}},
         {{0, true, {R, A}, {"ready to install", ""}}}},
        {"no row at the position", {{"Zip", "Acme", "1", A, "000"}}, {{-1, false, {A}, {""}}, {1, false, {A}, {""}}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ListModel m = model_of(c.rows);
        int n = 0;
        for (auto& s : c.steps) {
            SCOPED_TRACE(n++);
            EXPECT_EQ(check_row(m, s.p), s.changed);
            EXPECT_EQ(m.images(), s.images);
            EXPECT_EQ(m.columns()[COL_STAT], s.stats);
            EXPECT_EQ(ready_count(m), (int)std::count(s.images.begin(), s.images.end(), R));
        }
    }
}

TEST(Rules, MoveSwapsTwoOrderNumbers)
{
    struct Case {
        const char* what;
        std::vector<const char*> orders;  // of A, B, C
        int state_a;
        int p;  // display position (the display is A, B, C)
        bool earlier;
        std::vector<std::string> names, after;  // install order after the move
        int pos;                                // of the moved row afterwards
    } cases[] = {
        {"later swaps with the next", {"000", "001", "002"}, IMG_AVAILABLE, 0, false, {"B", "A", "C"}, {"000", "001", "002"}, 1},
        {"earlier swaps with the one before", {"000", "001", "002"}, IMG_AVAILABLE, 2, true, {"A", "C", "B"}, {"000", "001", "002"}, 1},
        {"first earlier stays", {"000", "001", "002"}, IMG_AVAILABLE, 0, true, {"A", "B", "C"}, {"000", "001", "002"}, 0},
        {"last later stays", {"000", "001", "002"}, IMG_AVAILABLE, 2, false, {"A", "B", "C"}, {"000", "001", "002"}, 2},
        {"000 earlier below another becomes -01", {"-05", "000", "001"}, IMG_AVAILABLE, 1, true, {"B", "A", "C"}, {"-01", "000", "001"}, 0},
        {"1000 earlier past 999", {"999", "1000", "998"}, IMG_AVAILABLE, 1, true, {"C", "B", "A"}, {"998", "999", "1000"}, 1},
        {"999 later past 1000", {"1000", "999", "100"}, IMG_INSTALLED, 1, false, {"C", "A", "B"}, {"100", "999", "1000"}, 2},
        {"not a package state", {"000", "001", "002"}, IMG_CLOCK, 0, false, {"A", "B", "C"}, {"000", "001", "002"}, 0},
        {"no row", {"002", "001", "000"}, IMG_AVAILABLE, 3, false, {"C", "B", "A"}, {"000", "001", "002"}, -1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ListModel m = model_of({{"A", "c", "1", c.state_a, c.orders[0]},
                                {"B", "c", "1", IMG_LISTED, c.orders[1]},
                                {"C", "c", "1", IMG_READY, c.orders[2]}});
        EXPECT_EQ(move_row(m, c.p, c.earlier), c.pos);
        EXPECT_EQ(shown(m, COL_NAME), c.names);
        EXPECT_EQ(shown(m, COL_ORDER), c.after);
    }
}

TEST(Rules, SaveWritesReadyAndInstalledRowsInInstallOrder)
{
    ListModel m = model_of({{"avail", "c", "1", IMG_AVAILABLE, "000"},
                            {"ready", "c", "1", IMG_READY, "1000"},
                            {"excl", "c", "1", IMG_EXCLUDED, "001"},
                            {"listed", "c", "1", IMG_LISTED, "002"},
                            {"inst", "c", "1", IMG_INSTALLED, "999"},
                            {"ready2", "c", "1", IMG_READY, "-01"},
                            {"deleted", "c", "1", IMG_READY, "003"},
                            {"inst2", "c", "1", IMG_INSTALLED, "100"}});
    // Shown in another order, by name descending; the deleted row is not shown.
    m.sort(COL_NAME, 1);
    for (int p = 0; p < (int)m.rows().size(); p++)
        if (m.rows()[p] == 6) m.remove_shown(p);
    std::vector<int> want = {5, 7, 4, 1};  // -01, 100, 999, 1000
    EXPECT_EQ(rows_to_save(m), want);
}

TEST(Rules, ProgressNamesListedRowsOfThatPackage)
{
    ListModel m = model_of({{"Zip", "Acme", "1", IMG_LISTED, "000"},
                            {"Zip", "Acme", "2", IMG_LISTED, "001"},
                            {"Zip", "Acme", "3", IMG_INSTALLED, "002"},
                            {"Zip", "Acme", "4", IMG_AVAILABLE, "003"},
                            {"zip", "Acme", "1", IMG_LISTED, "004"},
                            {"Zip", "Other", "1", IMG_LISTED, "005"}});
    struct Case {
        const char *name, *comp;
        int n;  // rows the list shows
        bool listed;
        std::vector<int> rows;
    } cases[] = {
        {"Zip", "Acme", 6, true, {0, 1}},  // every version, listed ones only
        {"Zip", "Other", 6, true, {5}},
        {"zip", "Acme", 6, true, {4}},  // case-sensitive
        {"Zip", "Acme ", 6, true, {}},
        {"Zip", "Acme", 1, true, {0}},  // only rows the list shows
        {"Zip", "Acme", 0, false, {}},
        {"Zip", "Acme", 60, true, {0, 1}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.comp + " n " + std::to_string(c.n));
        std::vector<int> rows = {99};
        EXPECT_EQ(info_rows(m, c.n, c.name, c.comp, rows), c.listed);
        EXPECT_EQ(rows, c.rows);
    }
}

TEST(Rules, NewRowsAreNumberedAboveEveryOrder)
{
    struct Case {
        std::vector<const char*> orders;
        int next;
    } cases[] = {
        {{}, 0}, {{"000"}, 1}, {{"000", "001", "002"}, 3}, {{"005", "001"}, 6},
        {{"1000", "999"}, 1001}, {{"-01"}, 0}, {{"", "007"}, 8},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.orders.size());
        std::vector<PkgRow> rows;
        for (const char* o : c.orders) rows.push_back({"n", "c", "1", IMG_AVAILABLE, o});
        ListModel m = model_of(rows);
        // A row taken out of the view keeps its number.
        if (!rows.empty()) m.remove_shown(0);
        EXPECT_EQ(next_order(m), c.next);
    }
}

TEST(Rules, RecordedResultsAsShown)
{
    struct Case {
        int code;
        const char* time;
        int state;
        int want_state;
        const char* want_status;
    } cases[] = {
        {0, "2024-05-06 07:08:09", IMG_LISTED, IMG_INSTALLED, "2024-05-06 07:08:09"},
        {1641, "t", IMG_LISTED, IMG_INSTALLED, "t"},
        {3010, "", IMG_AVAILABLE, IMG_INSTALLED, ""},
        {-1, "t", IMG_LISTED, IMG_LISTED, "failed to install"},  // no "code"
        {1, "t", IMG_LISTED, IMG_LISTED, ""},
        {1603, "t", IMG_AVAILABLE, IMG_AVAILABLE, ""},
        {3011, "t", IMG_LISTED, IMG_LISTED, ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.code);
        std::string status = "before";
        EXPECT_EQ(result_row(c.code, c.time, c.state, status), c.want_state);
        EXPECT_EQ(status, c.want_status);
    }
}
