// Directory finder: name and content tests, modes, depth limit, long
// paths, reparse points. Runs on the real drive X: (emptied per test).
#include "testutil.h"
#include "search.h"
#include <algorithm>
#include <set>

using namespace tu;

namespace {

class CDirTest : public ShareTest {
protected:
    std::string root = "X:\\f";
    void SetUp() override
    {
        ShareTest::SetUp();
        make_dirs(root);
    }
    void put(const std::string& rel, const std::string& data = "x\n")
    {
        std::string p = root + "\\" + rel;
        make_dirs(p.substr(0, p.rfind('\\')));
        ASSERT_TRUE(write_file(p, data)) << p;
    }
    static std::set<std::string> names(const CDir& d)
    {
        std::set<std::string> s;
        for (auto* r : d.mfound) s.insert(r->cFileName);
        return s;
    }
};

TEST_F(CDirTest, NameTestEqualityIgnoresCaseSubstringDoesNot)
{
    struct Row {
        const char* file;
        bool found;
    } rows[] = {
        {"Install.cmd", true},      {"install.cmd", true},       {"INSTALL.CMD", true},
        {"iNsTaLl.CmD", true},      {"old_Install.cmd", true},   {"Install.cmd.bak", true},
        {"xInstall.cmdx", true},    {"old_install.cmd", false},  {"install.cmd.bak", false},
        {"Install.cm", false},      {"nstall.cmd", false},       {"Install_cmd", false},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        // One folder each: the file system ignores case, so the names
        // could not live side by side.
        put("c" + std::to_string(i) + "\\" + rows[i].file);
    }
    CDir d;
    d.find_file(root.c_str(), "Install.cmd", nullptr, 0);
    std::set<std::string> got = names(d);
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(rows[i].file);
        std::string full = root + "\\c" + std::to_string(i) + "\\" + rows[i].file;
        EXPECT_EQ(got.count(full), rows[i].found ? 1u : 0u);
    }
    EXPECT_EQ(d.mdepth, 0u);
}

TEST_F(CDirTest, ModesDecideWhatIsCollected)
{
    put("a.txt", "first line\nhere is the needle\n");
    put("b.txt", "nothing to see\n");
    put("c.log", "needle too\n");
    put("sub\\d.txt", "a needle below\n");
    const std::string a = root + "\\a.txt", b = root + "\\b.txt", c = root + "\\c.log", d = root + "\\sub\\d.txt";
    struct Row {
        const char* what;
        const char* name;
        const char* content;
        int mode;
        std::set<std::string> expect;
    } rows[] = {
        // Mode 0 with a name never reads the files: c.log holds the needle
        // but its name fails, and b.txt passes by name alone.
        {"mode 0, name and content", ".txt", "needle", FIND_NAME_OR_CONTENT, {a, b, d}},
        {"mode 0, name only", "b.txt", nullptr, FIND_NAME_OR_CONTENT, {b}},
        {"mode 0, content only", nullptr, "needle", FIND_NAME_OR_CONTENT, {a, c, d}},
        {"mode 0, neither", nullptr, nullptr, FIND_NAME_OR_CONTENT, {}},
        {"mode 1, name and content", ".txt", "needle", FIND_NAME_AND_CONTENT, {a, d}},
        {"mode 1, content but no name", nullptr, "needle", FIND_NAME_AND_CONTENT, {}},
        {"mode 1, name but no content", ".txt", nullptr, FIND_NAME_AND_CONTENT, {}},
        {"mode 2", ".txt", "needle", 2, {}},
        {"mode 2, content only", nullptr, "needle", 2, {}},
        {"mode -1", ".txt", nullptr, -1, {}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        CDir dir;
        dir.find_file(root.c_str(), r.name, r.content, r.mode);
        EXPECT_EQ(names(dir), r.expect);
        EXPECT_EQ(dir.mdepth, 0u);
    }
}

TEST_F(CDirTest, ModeZeroWithNameOpensNoFile)
{
    // A file nobody may open: any attempt to read it would fail, yet in
    // mode 0 with a name the name alone decides.
    put("locked.txt", "needle\n");
    std::string p = root + "\\locked.txt";
    HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CDir d;
    d.find_file(root.c_str(), "locked", "needle", 0);
    EXPECT_EQ(names(d), std::set<std::string>{p});
    // Mode 1 does read it, and an unopenable file fails the content test.
    CDir d1;
    d1.find_file(root.c_str(), "locked", "needle", 1);
    bool sharing_enforced = false;
    {
        FILE* f = fopen(p.c_str(), "rt");
        sharing_enforced = f == nullptr;
        if (f) fclose(f);
    }
    if (sharing_enforced) {
        EXPECT_TRUE(d1.mfound.empty());
    }
    CloseHandle(h);
    CDir d2;
    d2.find_file(root.c_str(), "locked", "needle", 1);
    EXPECT_EQ(names(d2), std::set<std::string>{p});
}

TEST_F(CDirTest, DepthLimitCountsFoldersBelowTheStart)
{
    std::string rel;
    std::vector<std::string> files;
    for (int level = 0; level <= 6; level++) {
        if (level) rel += "l" + std::to_string(level) + "\\";
        put(rel + "Install.cmd");
        files.push_back(root + "\\" + rel + "Install.cmd");
    }
    struct Row {
        unsigned maxdepth;
        int deepest;  // deepest level collected
    } rows[] = {{5, 4}, {0, 0}, {1, 0}, {2, 1}, {100, 6}};
    for (auto& r : rows) {
        SCOPED_TRACE("mmaxdepth " + std::to_string(r.maxdepth));
        CDir d;
        d.mmaxdepth = r.maxdepth;
        d.find_file(root.c_str(), "Install.cmd", nullptr, 0);
        std::set<std::string> expect(files.begin(), files.begin() + r.deepest + 1);
        EXPECT_EQ(names(d), expect);
        EXPECT_EQ(d.mdepth, 0u);
        EXPECT_EQ(d.mmaxdepth, r.maxdepth);
    }
}

TEST_F(CDirTest, SubFolderMatchesComeBeforeLaterEntriesAndCallsAccumulate)
{
    put("a\\m1.txt");
    put("a\\b\\m2.txt");
    put("c\\m3.txt");
    CDir d;
    d.find_file(root.c_str(), ".txt", nullptr, 0);
    d.find_file((root + "\\c").c_str(), ".txt", nullptr, 0);
    std::vector<std::string> got;
    for (auto* r : d.mfound) got.push_back(r->cFileName);
    ASSERT_EQ(got.size(), 4u);
    // Depth first: whatever order the listing gives, a folder's matches
    // are contiguous and its sub-folder's follow the folder's entry.
    auto pos = [&](const std::string& s) { return std::find(got.begin(), got.end(), s) - got.begin(); };
    EXPECT_EQ(got[3], root + "\\c\\m3.txt");
    EXPECT_EQ(std::abs((int)(pos(root + "\\a\\m1.txt") - pos(root + "\\a\\b\\m2.txt"))), 1);
    // Folders themselves are never collected, even when their name passes.
    put("x.txt.d\\y.dat");
    CDir e;
    e.find_file(root.c_str(), ".txt", nullptr, 0);
    for (auto* r : e.mfound) EXPECT_EQ(std::string(r->cFileName).find("x.txt.d"), std::string::npos);
    // The record is the listing's entry: attributes and size are kept.
    put("sized.bin", std::string(1234, 'z'));
    CDir f;
    f.find_file(root.c_str(), "sized.bin", nullptr, 0);
    ASSERT_EQ(f.mfound.size(), 1u);
    EXPECT_EQ(f.mfound[0]->nFileSizeLow, 1234u);
    EXPECT_FALSE(f.mfound[0]->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(CDirTest, MissingFolderAddsNothing)
{
    put("keep.txt");
    CDir d;
    d.find_file(root.c_str(), "keep", nullptr, 0);
    ASSERT_EQ(d.mfound.size(), 1u);
    d.find_file("X:\\no such folder", "keep", nullptr, 0);
    d.find_file("Q:\\nothing", "keep", nullptr, 0);
    EXPECT_EQ(d.mfound.size(), 1u);
    EXPECT_EQ(d.mdepth, 0u);
}

TEST_F(CDirTest, ClearListKeepsTheLimit)
{
    put("one.txt");
    CDir d;
    d.mmaxdepth = 5;
    d.find_file(root.c_str(), ".txt", nullptr, 0);
    ASSERT_EQ(d.mfound.size(), 1u);
    d.clear_list();
    EXPECT_TRUE(d.mfound.empty());
    EXPECT_EQ(d.mdepth, 0u);
    EXPECT_EQ(d.mmaxdepth, 5u);
    CDir fresh;
    EXPECT_EQ(fresh.mmaxdepth, 100u);
    EXPECT_EQ(fresh.mdepth, 0u);
}

// A folder path of exactly len characters (len >= 4) under X:, in
// segments of at most 200 characters.
static std::string long_folder(size_t len)
{
    std::string p = "X:";
    while (p.size() < len) {
        size_t rem = len - p.size();
        size_t seg = rem - 1;  // after its backslash
        if (seg > 200) seg = seg - 200 >= 2 ? 200 : seg - 2;  // leave room for one more
        p += "\\" + std::string(seg, 'd');
    }
    return p;
}

static bool make_long_file(const std::string& path)
{
    std::wstring w = L"\\\\?\\";
    for (char c : path) w += (wchar_t)c;
    for (size_t i = 7; i < w.size(); i++)
        if (w[i] == L'\\') CreateDirectoryW(w.substr(0, i).c_str(), nullptr);
    HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

TEST_F(CDirTest, FullPathOnlyWhenItFitsTheNameField)
{
    // Folder of 250 characters; names of 8, 9 and 10 characters give full
    // paths of NX_PATH - 1 (fits), NX_PATH and NX_PATH + 1 (do not).
    std::string f = long_folder(250);
    ASSERT_EQ(f.size(), 250u);
    struct Row {
        const char* name;
        bool full;
    } rows[] = {{"abcd.cmd", true}, {"abcde.cmd", false}, {"abcdef.cmd", false}};
    for (auto& r : rows) ASSERT_TRUE(make_long_file(f + "\\" + r.name)) << r.name;
    CDir d;
    d.find_file(f.c_str(), ".cmd", nullptr, 0);
    std::set<std::string> got = names(d);
    ASSERT_EQ(got.size(), 3u);
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string expect = r.full ? f + "\\" + r.name : std::string(r.name);
        EXPECT_EQ(got.count(expect), 1u);
    }
    for (auto* rec : d.mfound) EXPECT_LT(strlen(rec->cFileName), 260u);
}

TEST_F(CDirTest, FoldersWhosePatternWouldNotFitAreNotListed)
{
    // 240 + "\" + 14 = 255: its pattern "\*.*" takes 259 and fits, and
    // the script below it (267 characters) is kept by its bare name;
    // 240 + "\" + 15 = 256: its pattern would be cut, so it is skipped.
    std::string f = long_folder(240);
    ASSERT_EQ(f.size(), 240u);
    ASSERT_TRUE(make_long_file(f + "\\" + std::string(14, 's') + "\\Install.cmd"));
    ASSERT_TRUE(make_long_file(f + "\\" + std::string(15, 't') + "\\Install.cmd"));
    put("Install.cmd");
    CDir d;
    d.find_file("X:", "Install.cmd", nullptr, 0);
    std::vector<std::string> got;
    for (auto* r : d.mfound) got.push_back(r->cFileName);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"Install.cmd", "X:\\f\\Install.cmd"}));
    EXPECT_EQ(d.mdepth, 0u);
}

TEST_F(CDirTest, ContentIsSearchedPieceByPiece)
{
    std::string before(256, 'a');
    struct Row {
        const char* what;
        std::string text;
        bool found;
    } rows[] = {
        {"in a short line", "xx NEEDLE yy\n", true},
        {"on a later line", "first\nsecond\nthe NEEDLE\n", true},
        {"whole in the first piece", std::string(250, 'a') + "NEEDLE" + std::string(100, 'b') + "\n", true},
        {"whole in the second piece", std::string(259, 'a') + "NEEDLE\n", true},
        {"straddling two pieces", before + "NEEDLE" + std::string(50, 'b') + "\n", false},
        {"other letter case", "needle\n", false},
        {"empty file", "", false},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) put("c" + std::to_string(i) + "\\f.txt", rows[i].text);
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(rows[i].what);
        CDir d;
        d.find_file((root + "\\c" + std::to_string(i)).c_str(), nullptr, "NEEDLE", 0);
        EXPECT_EQ(d.mfound.size(), rows[i].found ? 1u : 0u);
    }
}

TEST_F(CDirTest, ReparsePointsAreNeverEntered)
{
    put("target\\Install.cmd");
    std::string link = root + "\\link";
    // A symbolic link to a folder (a reparse point); not every Wine build
    // can make one.
    if (!CreateSymbolicLinkA(link.c_str(), (root + "\\target").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        GTEST_SKIP() << "no symbolic links here: " << GetLastError();
    }
    DWORD attr = GetFileAttributesA(link.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "the link is not reported as a reparse point";
    CDir d;
    d.find_file(root.c_str(), "Install.cmd", nullptr, 0);
    EXPECT_EQ(names(d), std::set<std::string>{root + "\\target\\Install.cmd"});
    // Its own name passing the name test collects it like a file.
    CDir e;
    e.find_file(root.c_str(), "link", nullptr, 0);
    EXPECT_EQ(names(e), std::set<std::string>{link});
    RemoveDirectoryA(link.c_str());
}

}  // namespace
