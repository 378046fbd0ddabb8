// The list file, inventory file and row order code built natively under the
// sanitizers: buffer edges at 259, 260 and 261 characters, and inputs the
// console never writes.
#include "csvfile.h"
#include "listfile.h"
#include "model.h"
#include "rowsort.h"
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

struct Model {
    std::vector<std::string> cols[NCOLS];
    std::vector<int> rows, images;
};

int read(const std::string& text, Model& m, int admin = 0)
{
    FILE* f = stream(text);
    int n = read_list(f, admin, m.cols, m.rows, m.images);
    fclose(f);
    return n;
}

}  // namespace

TEST(ListPieces, FieldsAtTheBufferEdges)
{
    for (size_t len : {253u, 254u, 255u, 259u, 260u, 261u, 600u}) {
        SCOPED_TRACE(len);
        std::string value(len, 'v');
        Model m;
        int n = read("[s]\ncomp=c\nvers=1\npath=p\nname=" + value + "\n", m);
        ASSERT_EQ(n, 1);
        // The first piece holds 259 characters, "name=" and 254 of the value.
        EXPECT_EQ(m.cols[COL_NAME][0], value.substr(0, 254));
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
    Model m;
    int n = read(junk, m);
    EXPECT_GE(n, 1);
    for (auto& c : m.cols) EXPECT_EQ(c.size(), (size_t)n);
    EXPECT_EQ(m.rows.size(), (size_t)n);
    EXPECT_EQ(m.images.size(), (size_t)n);
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
    Model m;
    EXPECT_EQ(read_list(f, 1, m.cols, m.rows, m.images), 2);
    fclose(f);
    EXPECT_EQ(m.cols[COL_NAME], (std::vector<std::string>{"Name", "N2"}));
    EXPECT_EQ(m.cols[COL_PATH], (std::vector<std::string>{"Y:\\pkg\\Install.cmd", "q"}));
    EXPECT_EQ(m.cols[COL_ORDER], (std::vector<std::string>{"000", "001"}));
    EXPECT_EQ(m.images, (std::vector<int>{IMG_INSTALLED, IMG_INSTALLED}));
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
    std::vector<std::string> headers, cols[NCOLS];
    std::vector<int> rows, images;
    int n = read_csv(f, NCOLS, headers, cols, rows, images, IMG_SHEET);
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
