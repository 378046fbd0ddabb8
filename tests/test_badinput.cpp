// Bad input against every reader, opened the way the programs open it: the
// list and inventory files in the runtime's text mode, the assignment and
// group files in binary mode. Each outcome is checked, and the table of
// outcomes is written to badinput.md beside the test program.
#include "test_views_util.h"
#include "assign.h"
#include "creg.h"
#include "csvfile.h"
#include "listfile.h"
#include "ncfg.h"
#include "editrules.h"
#include "search.h"
#include <algorithm>

using namespace tu;

namespace {

// What a reader made of a file, in a few words.
using Reader = std::string (*)(const std::string& path);

// A cell as text when it is short and printable, else by its length.
std::string brief(const std::string& s)
{
    bool plain = s.size() <= 16;
    for (unsigned char c : s) plain = plain && c >= 0x20 && c < 0x7f;
    return plain ? s : "<" + std::to_string(s.size()) + " chars>";
}

std::string join(const std::vector<std::string>& v, const char* sep = " ")
{
    std::string out;
    for (size_t i = 0; i < v.size(); i++) out += (i ? sep : "") + brief(v[i]);
    return out;
}

std::string read_list_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rt");
    if (!f) return "cannot open";
    ListModel m;
    int n = read_list(f, 0, m);
    const Columns& cols = m.columns();
    fclose(f);
    std::string out = std::to_string(n) + " rows";
    for (int i = 0; i < n && i < 3; i++)
        out += "; " + join({cols[COL_NAME][i], cols[COL_VERS][i]}) + " path " + brief(cols[COL_PATH][i]);
    return out;
}

std::string read_inventory_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rt");
    if (!f) return "cannot open";
    std::vector<std::string> headers;
    ListModel m;
    int n = read_csv(f, NCOLS, headers, m, 0);
    const Columns& cols = m.columns();
    fclose(f);
    std::string out = "headers " + join(headers, "|") + "; " + std::to_string(n) + " rows";
    for (int i = 0; i < n && i < 3; i++) {
        std::vector<std::string> r;
        for (int k = 0; k < (int)headers.size() && k < NCOLS; k++) r.push_back(cols[k][i]);
        out += "; " + join(r, "|");
    }
    return out;
}

std::string read_assignment_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "cannot open";
    std::vector<std::string> groups;
    read_assignments(f, "PC1=", groups);
    fclose(f);
    return "groups of PC1: " + (groups.empty() ? std::string("none") : join(groups, ", "));
}

std::string read_group_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "cannot open";
    std::vector<std::string> lines;
    read_group_lines(f, lines);
    fclose(f);
    std::vector<std::string> shown;
    for (std::string l : lines) {
        if (!l.empty() && l.back() == '\n') l.pop_back();
        shown.push_back(l);
    }
    return std::to_string(lines.size()) + " lines: " + join(shown, " / ");
}

// Pseudo-random bytes, the same every run.
std::string garbage(size_t n)
{
    std::string s(n, 0);
    unsigned x = 2463534242u;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = (char)x;
    }
    return s;
}

// One reader's sample file with a defect worked in: "line(n)" makes one
// line exactly n characters long (its line end not counted).
struct Sample {
    std::vector<std::string> lines;  // without line ends
    size_t long_line;                // which line a length defect stretches
    char pad;                        // what it is stretched with
};

std::string with_ends(const std::vector<std::string>& lines, const char* eol, bool last = true)
{
    std::string s;
    for (size_t i = 0; i < lines.size(); i++) s += lines[i] + (i + 1 < lines.size() || last ? eol : "");
    return s;
}

std::string apply(const Sample& base, const std::string& defect)
{
    std::vector<std::string> l = base.lines;
    if (defect.rfind("line ", 0) == 0) {
        size_t n = std::stoul(defect.substr(5));
        std::string& t = l[base.long_line];
        t.resize(n, base.pad);
        return with_ends(l, "\r\n");
    }
    if (defect == "zero bytes") {
        std::string& t = l[base.long_line];
        t.insert(t.size() / 2, std::string("\0\0", 2));
        l.back() += std::string("\0", 1);
        return with_ends(l, "\r\n");
    }
    if (defect == "CR-only line ends") return with_ends(l, "\r");
    if (defect == "mixed line ends") {
        std::string s;
        static const char* const ends[] = {"\r\n", "\n", "\r", "\r\r\n"};
        for (size_t i = 0; i < l.size(); i++) s += l[i] + ends[i % 4];
        return s;
    }
    if (defect == "UTF-8 byte order mark") return "\xEF\xBB\xBF" + with_ends(l, "\r\n");
    if (defect == "binary garbage") return garbage(8192);
    if (defect == "empty file") return "";
    if (defect == "no final line end") return with_ends(l, "\r\n", false);
    if (defect == "Ctrl-Z inside") {
        l.insert(l.begin() + (long)l.size() / 2, "\x1a");
        return with_ends(l, "\r\n");
    }
    return with_ends(l, "\r\n");  // as intended
}

const Sample kList = {{"[Acme Zip]", "comp=Acme", "name=Zip", "path=p\\Zip", "vers=1.0", "", "[Acme Tar]", "comp=Acme",
                       "name=Tar", "path=p\\Tar", "vers=2.0", ""},
                      3, 'x'};
const Sample kInventory = {{"Name,Version,Publisher", "Zip,1.0,Acme", "Tar,2.0,Acme"}, 1, 'x'};
const Sample kAssignment = {{"PC0=Base", "PC1=Office,Tools", "PC2=Devtools"}, 1, 'G'};
const Sample kGroup = {{"[Acme Zip]", "comp=Acme", "name=Zip", "vers=1.0"}, 2, 'x'};

class BadInput : public ViewsTest {
protected:
    static std::vector<std::vector<std::string>>& table()
    {
        static std::vector<std::vector<std::string>> t;
        return t;
    }
    void record(const std::string& input, const std::string& reader, const std::string& outcome)
    {
        table().push_back({input, reader, outcome});
    }
    static void TearDownTestSuite()
    {
        FILE* f = fopen((exe_dir() + "\\badinput.md").c_str(), "wb");
        if (!f) return;
        fprintf(f, "| Input | Reader | Outcome |\n|---|---|---|\n");
        for (auto& r : table()) fprintf(f, "| %s | %s | %s |\n", r[0].c_str(), r[1].c_str(), r[2].c_str());
        fclose(f);
    }
};

TEST_F(BadInput, TextFilesAgainstEveryReader)
{
    struct ReaderCase {
        const char* name;
        const Sample* sample;
        Reader read;
    } readers[] = {{"package list", &kList, read_list_file},
                   {"inventory", &kInventory, read_inventory_file},
                   {"assignment file", &kAssignment, read_assignment_file},
                   {"group file", &kGroup, read_group_file}};
    // The outcome of each defect for each reader, in reader order; the
    // defects in the order of the table.
    const std::vector<std::pair<std::string, std::vector<std::string>>> want = {
        {"as intended",
         {"2 rows; Zip 1.0 path p\\Zip; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 2 rows; Zip|1.0|Acme; Tar|2.0|Acme",
          "groups of PC1: Office, Tools",
          "4 lines: [Acme Zip] / comp=Acme / name=Zip / vers=1.0"}},
        {"line 259",
         {"2 rows; Zip 1.0 path <254 chars>; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 3 rows; Zip|1.0|<251 chars>; ||; Tar|2.0|Acme",
          "groups of PC1: Office, <248 chars>",
          "4 lines: [Acme Zip] / comp=Acme / <259 chars> / vers=1.0"}},
        {"line 260",
         {"2 rows; Zip 1.0 path <254 chars>; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 3 rows; Zip|1.0|<251 chars>; x||; Tar|2.0|Acme",
          "groups of PC1: Office, <249 chars>",
          "4 lines: [Acme Zip] / comp=Acme / <260 chars> / vers=1.0"}},
        {"line 10000",
         {"2 rows; Zip 1.0 path <254 chars>; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 40 rows; Zip|1.0|<251 chars>; <259 chars>||; <259 chars>||",
          "groups of PC1: Office, <9989 chars>",
          "4 lines: [Acme Zip] / comp=Acme / <10000 chars> / vers=1.0"}},
        {"zero bytes",  // dropped: nothing after them is lost
         {"2 rows; Zip 1.0 path p\\Zip; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 2 rows; Zip|1.0|Acme; Tar|2.0|Acme",
          "groups of PC1: Office, Tools",
          "4 lines: [Acme Zip] / comp=Acme / name=Zip / vers=1.0"}},
        {"CR-only line ends",
         {"0 rows",
          "headers Name|Version|<13 chars>|1.0|<8 chars>|2.0; 0 rows",
          "groups of PC1: none",
          "1 lines: <39 chars>"}},
        {"mixed line ends",
         {"1 rows; <14 chars> 1.0 path <14 chars>",
          "headers Name|Version|Publisher; 2 rows; Zip|1.0|Acme; Tar|2.0|<5 chars>",
          "groups of PC1: Office, Tools",
          "3 lines: [Acme Zip] / comp=Acme / <18 chars>"}},
        {"UTF-8 byte order mark",
         {"2 rows; Zip 1.0 path p\\Zip; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 2 rows; Zip|1.0|Acme; Tar|2.0|Acme",
          "groups of PC1: Office, Tools",
          "4 lines: [Acme Zip] / comp=Acme / name=Zip / vers=1.0"}},
        {"binary garbage", {"", "", "", ""}},
        {"empty file",
         {"0 rows",
          "headers ; 0 rows",
          "groups of PC1: none",
          "0 lines: "}},
        {"no final line end",
         {"2 rows; Zip 1.0 path p\\Zip; Tar 2.0 path p\\Tar",
          "headers Name|Version|Publisher; 2 rows; Zip|1.0|Acme; Tar|2.0|Acme",
          "groups of PC1: Office, Tools",
          "4 lines: [Acme Zip] / comp=Acme / name=Zip / vers=1.0"}},
        {"Ctrl-Z inside",
         {"1 rows; Zip 1.0 path p\\Zip",
          "headers Name|Version|Publisher; 0 rows",
          "groups of PC1: none",
          "2 lines: [Acme Zip] / comp=Acme"}},
    };
    const std::string file = dir + "\\input.txt";
    for (const auto& [defect, outcomes] : want) {
        for (size_t r = 0; r < 4; r++) {
            SCOPED_TRACE(defect + " / " + readers[r].name);
            ASSERT_TRUE(write_file(file, apply(*readers[r].sample, defect)));
            std::string got = readers[r].read(file);
            record(defect, readers[r].name, got);
            // Garbage only has to read without fault; its outcome is recorded.
            if (defect != "binary garbage") {
                EXPECT_EQ(got, outcomes[r]);
            }
        }
    }
}

// A list of 100 MB: every section is shown, none is lost or cut.
TEST_F(BadInput, HundredMegabyteList)
{
    std::string text;
    text.reserve(105u << 20);
    int n = 0;
    char sec[256];
    while (text.size() < (100u << 20)) {
        snprintf(sec, sizeof sec,
                 "[Acme Pkg%07d]\r\ncomp=Acme\r\nname=Pkg%07d\r\npath=Y:\\pkg\\Acme\\Pkg%07d\\1.0\\Install.cmd\r\nvers=1.0\r\n\r\n",
                 n, n, n);
        text += sec;
        n++;
    }
    ASSERT_TRUE(write_file(device_list(), text));
    std::string().swap(text);
    DWORD t0 = GetTickCount();
    start("");
    DWORD ms = GetTickCount() - t0;
    ASSERT_EQ(count(), n);
    EXPECT_EQ(mobjects, n);
    EXPECT_EQ(cell(0, COL_NAME), "Pkg0000000");
    char last[32];
    snprintf(last, sizeof last, "Pkg%07d", n - 1);
    // Orders from 1000 on sort as text, so the last section is not the last row.
    bool found = false;
    for (int i = 0; i < n && !found; i++) found = mcols[COL_NAME][i] == last;
    EXPECT_TRUE(found);
    for (int k = COL_NAME; k <= COL_PATH; k++) EXPECT_EQ(mcols[k].size(), (size_t)n);
    record("list file of 100 MB", "package list (console start-up)",
           std::to_string(n) + " rows, all shown, none cut; loaded in " + std::to_string(ms / 100 / 10.0).substr(0, 4) +
               " s under Wine");
}

// Folder trees deeper than 100 levels: the walk stops at its depth limit and
// never runs out of stack; the search itself looks five levels deep.
TEST_F(BadInput, FolderTreeDeeperThanAHundredLevels)
{
    std::string top = "X:\\deep", p = top;
    std::string shallow, deepest;
    for (int level = 1; level <= 120; level++) {
        p += "\\d";
        if (level == 3) shallow = p + "\\Install.cmd";
        if (level == 115) deepest = p + "\\Install.cmd";
    }
    make_dirs(p);
    ASSERT_TRUE(write_file(shallow, "x"));
    ASSERT_TRUE(write_file(deepest, "x"));
    struct Case {
        unsigned limit;
        std::vector<std::string> want;
    } cases[] = {{5, {shallow}}, {100, {shallow}}, {200, {shallow, deepest}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        CDir d;
        d.mmaxdepth = c.limit;
        d.find_file(top.c_str(), "Install.cmd", nullptr, 0);
        std::vector<std::string> got;
        for (auto* r : d.mfound) got.push_back(r->cFileName);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(d.mdepth, 0u);
        record("folder tree 120 levels deep", "directory finder, depth limit " + std::to_string(c.limit),
               std::to_string(got.size()) + (got.size() == 1 ? " script found (level 3)" : " scripts found (levels 3 and 115)"));
    }
}

// Settings texts longer than their fields or stored without their zero:
// cut to the field, always terminated, nothing written past it.
TEST_F(BadInput, LongAndUnterminatedRegistryTexts)
{
    struct Case {
        const char* what;
        std::string data;  // the bytes stored, as they are
        size_t want;       // length read into the NX_PATH field
    } cases[] = {{"259 characters", std::string(259, 'u') + '\0', 259},
                 {"NX_PATH characters", std::string(NX_PATH, 'u') + '\0', 259},
                 {"10,000 characters", std::string(10000, 'u') + '\0', 259},
                 {"300 characters without a zero", std::string(300, 'u'), 259},
                 {"3 characters without a zero", "uuu", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg_set_raw(NX_KEY, "uncp", REG_SZ, c.data.data(), (DWORD)c.data.size());
        reg_set_raw(NX_KEY, "ndrv", REG_SZ, c.data.data(), (DWORD)c.data.size());
        NCFG cfg;
        memset(&cfg, 0x5a, sizeof cfg);
        set_ncfg(&cfg);
        EXPECT_EQ(strnlen(cfg.uncp, sizeof cfg.uncp), c.want);
        EXPECT_EQ(std::string(cfg.uncp), std::string(c.want, 'u'));
        EXPECT_EQ(std::string(cfg.ndrv), std::string(std::min<size_t>(c.want, 3), 'u'));
        // The fields after uncp are the ones set_ncfg reads next, or untouched.
        EXPECT_EQ(cfg.conn, 0);
        record(std::string("registry text of ") + c.what, "settings (set_ncfg)",
               "uncp holds " + std::to_string(strlen(cfg.uncp)) + " characters, ndrv " + std::to_string(strlen(cfg.ndrv)) +
                   ", both terminated");
    }
}

// Names holding a backslash: in a key path it names a deeper key, the same
// one the service writes for such a package; in a value name it is plain.
TEST_F(BadInput, RegistryNamesHoldingABackslash)
{
    std::string key = std::string(NX_KEY) + "\\Packages\\Acme\\Sub\\Zip";
    reg_set_str(key.c_str(), "vers", "1.0");
    reg_set_dword(key.c_str(), "code", 0);
    reg_set_str(key.c_str(), "time", "2026-12-01 10:00:00");
    ASSERT_TRUE(write_file(device_list(), crlf(section("Acme\\Sub", "Zip", "1.0", "p1") + section("Acme", "Sub\\Zip", "1.0", "p2") +
                                                section("Acme", "Zip", "1.0", "p3"))));
    start("");
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(column(COL_STAT), (std::vector<std::string>{"2026-12-01 10:00:00", "2026-12-01 10:00:00", ""}));
    record("package names holding \"\\\"", "installed packages (registry)",
           "\"Acme\\Sub\" + \"Zip\" and \"Acme\" + \"Sub\\Zip\" both read the key Acme\\Sub\\Zip, as the service names it");

    CReg reg;
    EXPECT_EQ(reg.WriteStr("HKLM", NX_KEY, "a\\b", "value"), 0);
    EXPECT_STREQ(reg.ReadStr("HKLM", NX_KEY, "a\\b"), "value");
    std::string doubled = std::string(NX_KEY) + "\\\\x";
    EXPECT_EQ(reg.ReadStr("HKLM", doubled.c_str(), "a"), nullptr);
    record("registry value name \"a\\b\"", "registry access (CReg)", "written and read back as one value name");
    record("key path with an empty part (\"\\\\\\\\\")", "registry access (CReg)", "not opened; read gives nothing");
}

// A TEMP longer than 259 characters: no log, the console runs.
TEST_F(BadInput, TempLongerThanAPath)
{
    std::string t = "C:\\" + std::string(300, 't');
    set_env("TEMP", t.c_str());
    ASSERT_TRUE(write_file(device_list(), crlf(section("Acme", "Zip", "1.0", "p1"))));
    start("");
    EXPECT_EQ(mlog, nullptr);
    EXPECT_EQ(count(), 1);
    set_env("TEMP", temp.c_str());
    record("TEMP of 303 characters", "log file (console)", "no log; the console starts and shows the list");
}

}  // namespace
