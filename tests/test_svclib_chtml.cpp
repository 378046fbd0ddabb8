// The HTML report writer against real files: the document byte for byte,
// the table rules and the writer without a stream. Builds natively too.
#include "chtml.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "foldertest.h"

namespace {

using Col = std::vector<std::string>;

const char* STYLE =
    "<style>\n"
    "<!--\n"
    " .h2 {background-color:#a0b0c0; border:1px solid #808080; font-family:Verdana, Arial, Helvetica; font-size:100%; "
    "font-weight:bold; margin-top:-1px; margin-bottom:-1px; padding-left:8px; padding-top:8px; padding-bottom:8px; "
    "width:100%;}\n"
    " .h3 {background-color:#b0c0d0; border:1px solid #808080; font-family:Verdana, Arial, Helvetica; font-size: 80%; "
    "font-weight:bold; margin-top:-1px; margin-bottom:-1px; padding-left:8px; padding-top:8px; padding-bottom:8px; "
    "width:100%;}\n"
    " .h4 {background-color:#c0d0e0; border:1px solid #808080; font-family:Verdana, Arial, Helvetica; font-size: 60%; "
    "font-weight:bold; margin-top:-1px; margin-bottom:-1px; padding-left:8px; padding-top:4px; padding-bottom:4px; "
    "width:100%;}\n"
    "  th {font-size: 60%; font-family: Verdana, Arial, Helvetica;}\n"
    "  td {font-size: 60%; font-family: Verdana, Arial, Helvetica;}\n"
    "  p  {font-size: 60%; font-family: Verdana, Arial, Helvetica;}\n"
    "-->\n"
    "</style>\n\n";

const char* TABLE =
    "<table border=1 cellspacing=0 cellpadding=3 style='border-collapse: collapse' bordercolor='#808080' "
    "width='100%'>\n";

class Html : public FolderTest {
protected:
    std::string file() { return dir + SEP + "out.htm"; }
    FILE* open_out() { return fopen(file().c_str(), "wt"); }
    // Bytes on disk; text mode writes CR LF on Windows.
    std::string bytes()
    {
        std::string s;
        FILE* f = fopen(file().c_str(), "rb");
        if (!f) return s;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
        return s;
    }
    static std::string on_disk(const std::string& text)
    {
#ifdef _WIN32
        std::string out;
        for (char c : text) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
#else
        return text;
#endif
    }
    // The document around a table written by BeginTable + WriteTable.
    std::string table_doc(const Col& a, const Col& b, const char* h1, const char* h2)
    {
        CHtml html;
        html.Open(open_out());
        html.BeginTable();
        html.WriteTable(a, b, h1, h2);
        html.Close();
        return bytes();
    }
};

TEST_F(Html, WholeDocumentByteForByte)
{
    CHtml html;
    html.Open(open_out());
    html.WriteStyle();
    html.WriteText("int x;", TEXT_CODE);
    html.WriteText("Two", TEXT_H2);
    html.WriteText("Three", TEXT_H3);
    html.WriteText("Four", TEXT_H4);
    html.WriteText("Five", 5);
    html.WriteText("<b>Zero</b> 100%", TEXT_PARA);
    html.BeginTable();
    html.WriteTable({"0000", ""}, {"<b>Office", "x"}, "Number", "Name");
    html.Close();
    EXPECT_FALSE(html.mfile);
    std::string want = std::string("<html>\n<body>\n") + STYLE +
                       "<code>int x;</code>\n"
                       "<div class='h2'>Two</div>\n\n"
                       "<div class='h3'>Three</div>\n\n"
                       "<div class='h4'>Four</div>\n\n"
                       "<p>Five</p>\n"
                       "<p><b>Zero</b> 100%</p>\n" +
                       TABLE +
                       "<tr>\n  <th bgcolor='#e0e0e0'>Number</th>\n  <th bgcolor='#e0e0e0'>Name</th>\n</tr>\n"
                       "<tr>\n  <td bgcolor='#f0f0f0'>0000</td>\n  <td><b>Office</td>\n</tr>\n"
                       "<tr>\n  <td bgcolor='#f0f0f0'></td>\n  <td>x</td>\n</tr>\n"
                       "</table>\n\n"
                       "</body>\n</html>\n";
    EXPECT_EQ(bytes(), on_disk(want));
}

TEST_F(Html, TableRules)
{
    const std::string head = "<tr>\n  <th bgcolor='#e0e0e0'>A</th>\n  <th bgcolor='#e0e0e0'>B</th>\n</tr>\n";
    struct { const char* what; Col a, b; const char* h1; const char* h2; std::string rows; } rows[] = {
        {"empty columns with heads", {}, {}, "A", "B", head + "</table>\n\n"},
        {"first head missing", {"1"}, {"x"}, nullptr, "B",
         "<tr>\n  <td bgcolor='#f0f0f0'>1</td>\n  <td>x</td>\n</tr>\n</table>\n\n"},
        {"second head missing", {}, {}, "A", nullptr, "</table>\n\n"},
        {"empty second cell left out", {"1", "2", "3"}, {"x", "", "z"}, "A", "B",
         head + "<tr>\n  <td bgcolor='#f0f0f0'>1</td>\n  <td>x</td>\n</tr>\n"
                "<tr>\n  <td bgcolor='#f0f0f0'>3</td>\n  <td>z</td>\n</tr>\n</table>\n\n"},
        {"empty first cell written", {""}, {"y"}, nullptr, nullptr,
         "<tr>\n  <td bgcolor='#f0f0f0'></td>\n  <td>y</td>\n</tr>\n</table>\n\n"},
        {"unequal columns write nothing", {"1", "2", "3"}, {"x", "y"}, "A", "B", ""},
        {"texts are written unchanged", {"%s%d"}, {"<b>bold & more"}, nullptr, nullptr,
         "<tr>\n  <td bgcolor='#f0f0f0'>%s%d</td>\n  <td><b>bold & more</td>\n</tr>\n</table>\n\n"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::string want = std::string("<html>\n<body>\n") + TABLE + r.rows + "</body>\n</html>\n";
        EXPECT_EQ(table_doc(r.a, r.b, r.h1, r.h2), on_disk(want));
    }
}

TEST_F(Html, TextKindsOutsideOneToFourAreParagraphs)
{
    struct { int kind; const char* out; } rows[] = {
        {0, "<p>t</p>\n"}, {5, "<p>t</p>\n"}, {-1, "<p>t</p>\n"}, {1, "<code>t</code>\n"},
        {2, "<div class='h2'>t</div>\n\n"}, {3, "<div class='h3'>t</div>\n\n"}, {4, "<div class='h4'>t</div>\n\n"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.kind);
        CHtml html;
        html.Open(open_out());
        html.WriteText("t", r.kind);
        html.Close();
        EXPECT_EQ(bytes(), on_disk(std::string("<html>\n<body>\n") + r.out + "</body>\n</html>\n"));
    }
}

TEST_F(Html, NoStreamWritesNothing)
{
    CHtml html;
    html.Open(nullptr);
    html.WriteStyle();
    html.WriteText("x", 3);
    html.BeginTable();
    html.WriteTable({"a"}, {"b"}, "A", "B");
    html.Close();
    EXPECT_FALSE(html.mfile);
}

TEST_F(Html, CloseSaysWhetherTheWholeDocumentWasWritten)
{
    fclose(open_out());
    struct { const char* what; const char* mode; bool whole; } rows[] = {
        {"stream open for writing", "wt", true},
        {"stream that takes no writes", "rb", false},
        {"no stream", nullptr, false},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        CHtml html;
        html.Open(r.mode ? fopen(file().c_str(), r.mode) : nullptr);
        html.WriteText("t", TEXT_PARA);
        EXPECT_EQ(html.Close(), r.whole);
        EXPECT_FALSE(html.mfile);
    }
}

TEST_F(Html, CloseEndsTheDocumentAndLetsGoOfTheStream)
{
    CHtml html;
    html.Open(open_out());
    html.Close();
    // Calls after Close write nothing (the stream is closed and forgotten).
    html.WriteText("late", 3);
    html.Close();
    EXPECT_EQ(bytes(), on_disk("<html>\n<body>\n</body>\n</html>\n"));
    EXPECT_EQ(remove(file().c_str()), 0);  // no handle left open
}

TEST_F(Html, ColoursAreTheWritersOwn)
{
    CHtml html;
    EXPECT_EQ(html.mcolor_th, 0xE0E0E0u);
    EXPECT_EQ(html.mcolor_td, 0xF0F0F0u);
    // "%06x": six lower-case digits, leading zeros kept.
    html.mcolor_th = 0x00000A;
    html.Open(open_out());
    html.WriteTable({}, {}, "A", "B");
    html.Close();
    EXPECT_NE(bytes().find("<th bgcolor='#00000a'>A</th>"), std::string::npos);
}

}  // namespace
