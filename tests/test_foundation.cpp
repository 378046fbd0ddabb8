// Registry access, the library's settings and data-file exports, and the
// log line format, all against the real Wine registry and files.
#include "testutil.h"
#include "creg.h"
#include "log.h"
#include "ncfg.h"
#include "shell.h"
#include "strutil.h"

using namespace tu;

namespace {
const char* K = NX_KEY;
const char* KT = "Software\\Veltrane\\NxSvc\\Test\\Deep\\Er";

class Registry : public NxTest {};

TEST_F(Registry, RootsAreChosenByExactText)
{
    reg_delete_tree(HKEY_CURRENT_USER, "Software\\Veltrane\\NxSvc");
    reg_set_str(K, "v", "machine");
    HKEY h;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Veltrane\\NxSvc", &h), ERROR_SUCCESS);
    RegSetValueExA(h, "v", 0, REG_SZ, (const BYTE*)"user", 5);
    RegCloseKey(h);
    struct { const char* root; const char* want; } rows[] = {
        {"HKLM", "machine"}, {"hklm", "machine"}, {"hkcu", "machine"}, {"HKEY_CURRENT_USER", "machine"},
        {"", "machine"}, {"HKCU", "user"},
    };
    CReg reg;
    for (auto& r : rows) {
        SCOPED_TRACE(r.root);
        const char* got = reg.ReadStr(r.root, "Software\\Veltrane\\NxSvc", "v");
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got, r.want);
    }
    reg_delete_tree(HKEY_CURRENT_USER, "Software\\Veltrane\\NxSvc");
}

TEST_F(Registry, StringReadsByType)
{
    reg_set_raw(K, "empty", REG_SZ, "", 1);
    reg_set_str(K, "exp", "%TEMP%\\x", REG_EXPAND_SZ);
    reg_set_dword(K, "dw", 5);
    reg_set_raw(K, "unterminated", REG_SZ, "abc", 3);
    reg_set_raw(K, "bin", REG_BINARY, "ab\0", 3);
    CReg reg;
    EXPECT_EQ(reg.ReadStr("HKLM", K, "empty"), nullptr);
    EXPECT_STREQ(reg.ReadStr("HKLM", K, "exp"), "%TEMP%\\x");
    EXPECT_EQ(reg.ReadStr("HKLM", K, "dw"), nullptr);
    EXPECT_EQ(reg.ReadStr("HKLM", K, "bin"), nullptr);
    EXPECT_EQ(reg.ReadStr("HKLM", K, "missing"), nullptr);
    EXPECT_EQ(reg.ReadStr("HKLM", "Software\\Veltrane\\NoSuchKey", "x"), nullptr);
    // Stored without its zero: still handed back terminated.
    EXPECT_STREQ(reg.ReadStr("HKLM", K, "unterminated"), "abc");
}

TEST_F(Registry, SharedTextBufferFollowsTheLastSuccessfulRead)
{
    reg_set_str(K, "a", "first");
    reg_set_str(K, "b", "second");
    reg_set_raw(K, "empty", REG_SZ, "", 1);
    CReg r1, r2;
    const char* p1 = r1.ReadStr("HKLM", K, "a");
    ASSERT_STREQ(p1, "first");
    const char* p2 = r2.ReadStr("HKLM", K, "b");
    EXPECT_EQ(p2, mregtext);
    EXPECT_STRNE(mregtext, "first");
    // Failed reads leave the buffer alone.
    EXPECT_EQ(r1.ReadStr("HKLM", K, "empty"), nullptr);
    EXPECT_EQ(r1.ReadStr("HKLM", K, "missing"), nullptr);
    EXPECT_STREQ(mregtext, "second");
}

TEST_F(Registry, NumbersByTypeAndSize)
{
    reg_set_dword(K, "minus", 0xffffffff);
    reg_set_dword(K, "seven", 7);
    reg_set_raw(K, "bin4", REG_BINARY, "\1\0\0\0", 4);
    unsigned long long q = 5;
    reg_set_raw(K, "qword", REG_QWORD, &q, 8);
    reg_set_str(K, "text", "12");
    CReg reg;
    EXPECT_EQ(reg.ReadNum("HKLM", K, "seven"), 7);
    EXPECT_EQ(reg.ReadNum("HKLM", K, "minus"), -1);
    EXPECT_EQ(reg.ReadNum("HKLM", K, "missing"), -1);
    EXPECT_EQ(reg.ReadNum("HKLM", K, "bin4"), -1);
    EXPECT_EQ(reg.ReadNum("HKLM", K, "qword"), -1);
    EXPECT_EQ(reg.ReadNum("HKLM", K, "text"), -1);
}

TEST_F(Registry, WritesCreateMissingKeys)
{
    CReg reg;
    EXPECT_EQ(reg.WriteNum("HKLM", KT, "n", -5), 0);
    EXPECT_EQ(reg.WriteStr("HKLM", KT, "s", "hello"), 0);
    DWORD type;
    std::string data;
    ASSERT_TRUE(reg_get_raw(KT, "n", &type, &data));
    EXPECT_EQ(type, (DWORD)REG_DWORD);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(*(const int*)data.data(), -5);
    ASSERT_TRUE(reg_get_raw(KT, "s", &type, &data));
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(data, std::string("hello", 6));
    EXPECT_EQ(reg.ReadNum("HKLM", KT, "n"), -5);
}

class Settings : public NxTest {};

NCFG caller_defaults()
{
    NCFG n;
    memset(&n, 0, sizeof n);
    copy_str(n.uncp, "defu");
    copy_str(n.user, "defuser");
    copy_str(n.pswd, "defpw");
    copy_str(n.ndrv, "Q:");
    n.conn = 1;
    n.fail = 1;
    return n;
}

TEST_F(Settings, AbsentKeyKeepsCallerValuesAndClearsFlags)
{
    NCFG n = caller_defaults();
    EXPECT_EQ(set_ncfg(&n), 0);
    EXPECT_STREQ(n.uncp, "defu");
    EXPECT_STREQ(n.user, "defuser");
    EXPECT_STREQ(n.pswd, "defpw");
    EXPECT_STREQ(n.ndrv, "Q:");
    EXPECT_EQ(n.conn, 0);
    EXPECT_EQ(n.fail, 0);
}

TEST_F(Settings, PresentValuesOnlyAndUnexpanded)
{
    reg_set_str(K, "ndrv", "Y:");
    reg_set_raw(K, "user", REG_SZ, "", 1);  // empty counts as missing
    reg_set_str(K, "uncp", "\\\\%SERVER%\\pkg", REG_EXPAND_SZ);
    reg_set_dword(K, "pswd", 3);  // not a string
    NCFG n = caller_defaults();
    set_ncfg(&n);
    EXPECT_STREQ(n.ndrv, "Y:");
    EXPECT_STREQ(n.user, "defuser");
    EXPECT_STREQ(n.uncp, "\\\\%SERVER%\\pkg");
    EXPECT_STREQ(n.pswd, "defpw");
}

TEST_F(Settings, OverlongValuesAreCutToTheirField)
{
    std::string longtext(400, 'u');
    reg_set_str(K, "uncp", longtext);
    reg_set_str(K, "ndrv", "ABCDEFG");
    struct Guarded {
        NCFG n;
        char guard[16];
    } g;
    memset(&g, 0x5a, sizeof g);
    g.n = caller_defaults();
    set_ncfg(&g.n);
    EXPECT_EQ(strlen(g.n.uncp), 259u);
    EXPECT_STREQ(g.n.ndrv, "ABC");
    EXPECT_STREQ(g.n.user, "defuser");  // the next field is untouched
    for (char c : g.guard) EXPECT_EQ(c, 0x5a);
}

TEST_F(Settings, DataFolderFromPublicOrCommonAppData)
{
    char path[NX_PATH];
    set_env("PUBLIC", "C:\\users\\Public");
    get_file(path, (char*)"nxsvc.ini");
    EXPECT_STREQ(path, "C:\\users\\Public\\nxsvc.ini");

    set_env("PUBLIC", "");
    get_file(path, (char*)"nxsvc.htm");
    EXPECT_STREQ(path, "\\nxsvc.htm");

    set_env("PUBLIC", nullptr);
    CReg reg;
    const char* common = reg.ReadStr("HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                     "Common AppData");
    ASSERT_NE(common, nullptr) << "Wine's prefix has Common AppData";
    std::string want = std::string(common) + "\\nxsvc.ini";
    get_file(path, (char*)"nxsvc.ini");
    EXPECT_EQ(want, path);
}

TEST_F(Settings, NoDataFolderGivesAPathWhoseOpenFails)
{
    const char* sf = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    DWORD type;
    std::string saved;
    ASSERT_TRUE(reg_get_raw(sf, "Common AppData", &type, &saved));
    HKEY h;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, sf, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    RegDeleteValueA(h, "Common AppData");
    set_env("PUBLIC", nullptr);
    char path[NX_PATH];
    get_file(path, (char*)"nxsvc.ini");
    RegSetValueExA(h, "Common AppData", 0, type, (const BYTE*)saved.data(), (DWORD)saved.size());
    RegCloseKey(h);
    EXPECT_EQ(fopen(path, "rt"), nullptr) << path;
    EXPECT_EQ(fopen(path, "wt"), nullptr) << path;

    // A name that does not fit beside the folder is not cut into the name
    // of another file there.
    const std::string folder = "C:\\users\\Public";
    set_env("PUBLIC", folder.c_str());
    for (size_t total : {259u, 260u, 261u}) {
        SCOPED_TRACE(total);
        std::string name(total - folder.size() - 1, 'n');
        get_file(path, (char*)name.c_str());
        if (total == 259) {
            EXPECT_EQ(path, folder + "\\" + name);
        } else {
            EXPECT_EQ(std::string(path).rfind("<no data folder>", 0), 0u) << path;
            EXPECT_EQ(fopen(path, "wt"), nullptr) << path;
        }
    }
}

class LogFile : public NxTest {};

TEST(Stamp, FieldsHaveTwoDigits)
{
    char buf[64];
    format_stamp(buf, sizeof buf, 2024, 3, 5, 7, 5, 0);
    EXPECT_STREQ(buf, "2024-03-05 07:05:00");
    const char* now = time_stamp();
    ASSERT_EQ(strlen(now), 19u);
    EXPECT_EQ(now[4], '-');
    EXPECT_EQ(now[10], ' ');
    EXPECT_EQ(now[13], ':');
}

TEST_F(LogFile, HeaderAndLinesReachTheFileAtOnce)
{
    OpenLog();
    ASSERT_NE(mlog, nullptr);
    log_line(mlog, "WinMain () RUN ...\n");
    // Read while still open: every line is flushed as it is written.
    std::string text = log_text();
    CloseLog();
    DWORD v = GetVersion();
    char head[128];
    snprintf(head, sizeof head, "Logfile created by nxwin.exe:\r\nWindows Version: %d.%d\r\n\r\n", (int)(v & 0xff),
             (int)((v >> 8) & 0xff));
    ASSERT_EQ(text.substr(0, strlen(head)), head);
    std::string line = text.substr(strlen(head));
    ASSERT_EQ(line.size(), 19u + 1 + 18 + 2);
    EXPECT_EQ(line.substr(19), "\tWinMain () RUN ...\r\n");
}

TEST_F(LogFile, RewrittenEachRunAndAbsentWithoutTemp)
{
    write_file(temp + "\\nxwin.log", "old content\n");
    OpenLog();
    ASSERT_NE(mlog, nullptr);
    CloseLog();
    EXPECT_EQ(log_text().find("old content"), std::string::npos);
    EXPECT_EQ(log_text().rfind("Logfile created by nxwin.exe:", 0), 0u);

    DeleteFileA((temp + "\\nxwin.log").c_str());
    set_env("TEMP", nullptr);
    OpenLog();
    EXPECT_EQ(mlog, nullptr);
    log_line(mlog, "nothing\n");  // a closed log takes lines silently
    EXPECT_FALSE(file_exists(temp + "\\nxwin.log"));
}

TEST_F(LogFile, OverlongTempWritesNoLogAndNothingPastTheBuffer)
{
    std::string deep = temp;
    while (deep.size() < 255) deep += "\\abcdefghij";
    make_dirs(deep);
    set_env("TEMP", deep.c_str());
    OpenLog();
    EXPECT_EQ(mlog, nullptr);
    CloseLog();
}
}  // namespace

namespace {
TEST_F(Settings, SeparatelyCompiledHostCallsBothExportsByName)
{
    tu::reg_set_str(K, "uncp", "\\\\srv\\pkg");
    tu::reg_set_str(K, "ndrv", "Y:");
    std::string out = dir + "\\host.txt";
    ASSERT_EQ(tu::run_program("\"" + tu::exe_dir() + "\\nxcfghost.exe\" \"" + out + "\""), 0);
    std::string want = "0|\\\\srv\\pkg|||Y:|0|0|0|" + pub + "\\nxsvc.ini|780|792";
    auto lines = tu::split_lines(tu::read_file(out));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], want);
}
}  // namespace
