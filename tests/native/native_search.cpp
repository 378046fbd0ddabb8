// The search's row building built natively under the sanitizers: the
// share's layout, the shown-script test with texts past the path buffers, orders.
#include "pkgrows.h"
#include "sharelayout.h"
#include "strutil.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using S = std::vector<std::string>;

S identity(unsigned cp, const std::string& path)
{
    std::string c, n, v;
    bool ok = share_identity(cp, path.c_str(), &c, &n, &v);
    return {ok ? "ok" : "no", c, n, v};
}

// Code page 932: hyo (a table) and so end in the byte of "\", po in that
// of "|".
const std::string hyo = "\x95\x5c", so = "\x83\x5c", po = "\x83\x7c", kei = "\x8c\x76";

}  // namespace

// The share's layout, one table: identity from a script path, a name as
// one folder, a script path built from an identity, in 1252 and 932.
TEST(ShareLayout, IdentityNamesAndPaths)
{
    struct Id {
        unsigned cp;
        std::string path;
        S want;  // found, manufacturer, name, version
    } ids[] = {
        {1252, "Z:\\pkg\\Maker\\Editor\\2.1\\Install.cmd", {"ok", "Maker", "Editor", "2.1"}},
        {1252, "Z:\\pkg\\Editor\\2.1\\Install.cmd", {"ok", "ZRP", "Editor", "2.1"}},
        {1252, "Z:\\PKG\\Editor\\2.1\\Install.cmd", {"ok", "ZRP", "Editor", "2.1"}},
        {1252, "Z:\\Editor\\2.1\\Install.cmd", {"ok", "ZRP", "Editor", "2.1"}},
        {1252, "Y:\\pkg\\T\\Victim\\1.0\\sub/ok.cmd", {"ok", "Victim", "1.0", "sub"}},  // "/" separates too
        {1252, "Z:\\pkg\\Install.cmd", {"no", "ZRP", "", "pkg"}},
        {1252, "Z:\\pkg\\M\\\\2.1\\Install.cmd", {"no", "M", "", "2.1"}},
        {1252, "", {"no", "ZRP", "", ""}},
        {932, "Y:\\pkg\\" + so + "\\" + hyo + kei + "\\1.0\\Install.cmd", {"ok", so, hyo + kei, "1.0"}},
        {932, "Y:\\pkg\\" + hyo + "\\1.0\\Install.cmd", {"ok", "ZRP", hyo, "1.0"}},
        // Read byte by byte, the table's trail byte splits the name.
        {1252, "Y:\\pkg\\" + hyo + "\\1.0\\Install.cmd", {}},
    };
    for (auto& r : ids) {
        SCOPED_TRACE(r.path);
        S got = identity(r.cp, r.path);
        if (r.cp == 1252 && r.path.find(hyo) != std::string::npos)
            EXPECT_NE(got, identity(932, r.path));
        else
            EXPECT_EQ(got, r.want);
    }

    struct Name {
        unsigned cp;
        std::string name;
        NameVerdict want;
    } names[] = {
        {1252, "Victim", NAME_OK},  {1252, "1.0", NAME_OK},       {1252, "", NAME_EMPTY},
        {1252, "a/b", NAME_SEP},    {1252, "a\\b", NAME_SEP},     {1252, "..", NAME_DOTS},
        {1252, ". .", NAME_DOTS},   {1252, "1.0.", NAME_TRAIL},   {1252, "Victim ", NAME_TRAIL},
        {1252, "a:b", NAME_CHARS},  {1252, "a\x01", NAME_CHARS},  {1252, "a?b", NAME_CHARS},
        {1252, "50%", NAME_CHARS},  {1252, hyo, NAME_SEP},        {932, hyo + kei, NAME_OK},
        {932, "\x83\x8c" + po + "\x81\x5b\x83\x67", NAME_OK},     {932, "\x88\xea\x97\x97" + hyo, NAME_OK},
        {932, "\x95", NAME_OK},  // a lone lead byte at the end stays one character
        {1252, std::string(NX_PATH, 'a'), NAME_EMPTY},
    };
    for (auto& r : names) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(share_check_name(r.cp, r.name.c_str()), r.want);
    }

    char out[NX_PATH];
    EXPECT_EQ(share_script_path(1252, out, sizeof out, "\\\\s\\p", "T", "Victim", "1.0"), NAME_OK);
    EXPECT_STREQ(out, "\\\\s\\p\\pkg\\T\\Victim\\1.0\\Install.cmd");
    EXPECT_EQ(share_script_path(1252, out, sizeof out, "\\\\s\\p", "ZRP", "Editor", "2.1"), NAME_OK);
    EXPECT_STREQ(out, "\\\\s\\p\\pkg\\Editor\\2.1\\Install.cmd");
    EXPECT_EQ(share_script_path(1252, out, sizeof out, "\\\\s\\p", "T", "Victim", "1.0."), NAME_TRAIL);
    EXPECT_EQ(share_script_path(1252, out, sizeof out, "\\\\s\\p", "T", std::string(250, 'n').c_str(), "1"),
              NAME_EMPTY);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(share_root(932, ("\\\\s\\" + hyo + "\\").c_str()), "\\\\s\\" + hyo);
    EXPECT_EQ(share_root(1252, "\\\\s\\p\\\\"), "\\\\s\\p");
    EXPECT_EQ(share_root(1252, "Y:\\"), "");
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
    // Cut to an NX_PATH buffer the shown text would equal the path.
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
