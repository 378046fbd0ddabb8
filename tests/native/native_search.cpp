// The search's row building built natively under the sanitizers: path
// parts, the shown-script test with texts past the path buffers, orders.
#include "pkgrows.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> parts(const std::string& path)
{
    char f[260], v[260], n[260], c[260];
    split_parts(path.c_str(), f, v, n, c);
    return {f, v, n, c};
}

using S = std::vector<std::string>;

}  // namespace

TEST(SplitParts, FromTheEnd)
{
    struct Row {
        const char* path;
        S expect;  // file, version, name, manufacturer
    } rows[] = {
        {"Z:\\pkg\\Maker\\Editor\\2.1\\Install.cmd", {"Install.cmd", "2.1", "Editor", "Maker"}},
        {"Z:\\pkg\\Editor\\2.1\\Install.cmd", {"Install.cmd", "2.1", "Editor", "pkg"}},
        {"Z:\\Editor\\2.1\\Install.cmd", {"Install.cmd", "2.1", "Editor", ""}},
        {"Z:\\pkg\\Install.cmd", {"Install.cmd", "pkg", "", ""}},
        {"Install.cmd", {"", "", "", ""}},
        {"Z:\\pkg\\M\\\\2.1\\Install.cmd", {"Install.cmd", "2.1", "", "M"}},
        {"", {"", "", "", ""}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(parts(r.path), r.expect);
    }
}

TEST(SplitParts, LongPathsStayInTheBuffers)
{
    for (size_t len : {258u, 259u, 260u, 261u, 600u}) {
        SCOPED_TRACE(len);
        std::string path = "Z:\\pkg\\M\\N\\";
        path += std::string(len - path.size(), 'v');
        S p = parts(path);
        // Cut to 259 characters before splitting.
        EXPECT_EQ(p[0].size(), std::min<size_t>(len, 259) - 11);
        EXPECT_EQ(p[1], "N");
    }
}

TEST(BuildRows, ShownTextsAreComparedWhole)
{
    std::string p = "Z:\\pkg\\Maker\\Editor\\2.1\\Install.cmd";
    std::string q = "Z:\\pkg\\Maker\\Tool\\1.0\\Install.cmd";
    std::vector<const char*> found{p.c_str(), q.c_str(), "", nullptr};
    struct Row {
        const char* what;
        std::vector<std::string> shown;
        S paths;
    } rows[] = {
        {"nothing shown", {}, {p, q}},
        {"one shown", {p}, {q}},
        {"other case", {"Z:\\PKG\\Maker\\Editor\\2.1\\Install.cmd"}, {p, q}},
        {"longer text starting with the path", {p + std::string(300, 'x')}, {p, q}},
        {"both shown", {q, "", p}, {}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<SearchRow> out;
        build_rows(found, r.shown, out, nullptr);
        S got;
        for (auto& row : out) got.push_back(row.path);
        EXPECT_EQ(got, r.paths);
    }
}

TEST(BuildRows, FoundPathOf259AgainstALongerShownText)
{
    std::string p = "Z:\\pkg\\Maker\\Editor\\2.1\\";
    p += std::string(259 - p.size(), 'i');
    std::vector<const char*> found{p.c_str()};
    // Cut to a 260-character buffer the shown text would equal the path.
    for (auto shown : {p + "zz", p + std::string(500, 'z')}) {
        std::vector<SearchRow> out;
        build_rows(found, {shown}, out, nullptr);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].path, p);
    }
    std::vector<SearchRow> out;
    build_rows(found, {p}, out, nullptr);
    EXPECT_TRUE(out.empty());
    // One character more does not fit a path buffer: skipped, never cut.
    std::string longer = p + "i";
    build_rows({longer.c_str()}, {}, out, nullptr);
    EXPECT_TRUE(out.empty());
}

TEST(BuildRows, ManufacturerAndIncompletePaths)
{
    std::vector<const char*> found{"Z:\\pkg\\Editor\\2.1\\Install.cmd", "Z:\\Editor\\2.1\\Install.cmd",
                                   "Z:\\pkg\\Install.cmd", "Z:\\pkg\\Maker\\Editor\\2.1\\Install.cmd"};
    std::vector<SearchRow> out;
    FILE* log = tmpfile();
    build_rows(found, {}, out, log);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].comp, "ZRP");
    EXPECT_EQ(out[1].comp, "ZRP");
    EXPECT_EQ(out[2].comp, "Maker");
    // Every path not shown is logged, with or without a row.
    rewind(log);
    int lines = 0;
    char buf[512];
    while (fgets(buf, sizeof buf, log)) lines++;
    fclose(log);
    EXPECT_EQ(lines, 4);
}
