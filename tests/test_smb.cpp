// The package share on a real SMB file server: Samba's smbd on the loopback
// address, mounted with smbnetfs as the network drive S: (scripts/smb-env.sh,
// brought up by the suite's smb fixture). The console runs in-process; the
// service's part runs as its own processes. smbd's own request counts show
// that the reads went through the server.
#include "consoletest.h"
#include "resource.h"
#include "smbenv.h"

using namespace tu;

namespace {

const char* const kDevice = "NXSMB01";
const char* const kUnc = "\\\\127.0.0.1\\nxshare";
const char* const kPkgs = "Software\\Veltrane\\NxSvc\\Packages";

// Whether smbd's counter has grown by at least min since base. Each smbd
// process publishes its counts a moment after it has served them.
bool grew(smb::Counts& base, const char* name, long long min)
{
    smb::Counts now;
    bool ok = wait_until([&] {
        now = smb::counts();
        return now[name] - base[name] >= min;
    }, 15000);
    if (!ok) ADD_FAILURE() << name << " grew by " << now[name] - base[name] << ", not " << min;
    return ok;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to)
{
    for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
    return s;
}

class SmbTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        ASSERT_EQ(GetDriveTypeA("S:\\"), (UINT)DRIVE_REMOTE) << "scripts/smb-env.sh up maps S:";
        clear_dir(smb::server_dir());
        reg_set_str(NX_KEY, "uncp", kUnc);
        reg_set_str(NX_KEY, "ndrv", "S:");
        reg_set_dword(NX_KEY, "tmax", 600);
        old_name_ = get_env("Computername", &had_name_);
        set_env("Computername", kDevice);
        bin = exe_dir();
    }
    void TearDown() override
    {
        // Whatever a case did to the server, the next test finds it serving.
        wait_until([] { return msearch == 0; }, 90000);
        smb::run("up");
        set_env("Computername", had_name_ ? old_name_.c_str() : nullptr);
        ConsoleTest::TearDown();
    }

    // pkg_find alone, through a host that loads the library as the service does.
    int find_only() { return run_program("\"" + bin + "\\nxhost.exe\"", 90000, bin.c_str()); }

    // One task of the installation service in the foreground: pkg_find and
    // the installs. It starts a console afterwards, which is closed here.
    int run_service()
    {
        int code = run_program("\"" + bin + "\\nxsvc.exe\" /once /norestart", 120000, bin.c_str());
        for (DWORD pid : find_processes("nxwin.exe")) close_process(pid);
        return code;
    }

    // F5 in the console; returns when the search has started its walk.
    bool start_search()
    {
        command(CMD_FIND);
        std::string go = std::string("mdir.find_file (") + kUnc + "\\pkg) GO ...";
        return wait_until([&] { return log_text().find(go) != std::string::npos; }, 30000);
    }

    int count_lines(const std::string& text)
    {
        int n = 0;
        for (const std::string& l : log_bodies(log_text())) n += l == text;
        return n;
    }

    std::string bin;

private:
    std::string old_name_;
    bool had_name_ = false;
};

// The typical road with the demo share on the server: pkg_find builds the
// device list, F5 adds the share's other packages, and the service's task
// installs the list, each through smbd.
TEST_F(SmbTest, RoadOverSmb)
{
    std::string demo = get_env("NX_DEMO");
    for (char& c : demo)
        if (c == '/') c = '\\';
    int folders = copy_tree(demo + "\\share\\pkg", smb::server_dir() + "\\pkg");
    copy_tree(demo + "\\share\\cfg", smb::server_dir() + "\\cfg");
    // The demo's lists name Y:; here the packages are on S:.
    std::string group_bytes;
    for (const char* g : {"Base", "Office"}) {
        std::string p = smb::server_dir() + "\\cfg\\" + g + ".ini";
        std::string text = replace_all(read_file(p), "Y:\\", "S:\\");
        ASSERT_TRUE(write_file(p, text));
        group_bytes += text;
    }
    std::string assign = read_file(smb::server_dir() + "\\cfg\\Assignment.ini") + kDevice + "=Base,Office\r\n";
    ASSERT_TRUE(write_file(smb::server_dir() + "\\cfg\\Assignment.ini", assign));

    smb::Counts c = smb::counts();
    ASSERT_EQ(find_only(), 0);
    std::vector<std::string> want = split_lines(read_file(smb::server_dir() + "\\cfg\\Base.ini"));
    for (auto& l : split_lines(read_file(smb::server_dir() + "\\cfg\\Office.ini"))) want.push_back(l);
    EXPECT_EQ(split_lines(read_file(pub + "\\nxsvc.ini")), want);
    EXPECT_NE(read_file(bin + "\\nxdll.log").find("pkg_find () OK ..."), std::string::npos);
    // The assignment file and two group files were opened and read on the server.
    grew(c, "smb2_create_count", 3);
    grew(c, "smb2_read_outbytes", (long long)(assign.size() + group_bytes.size()));

    c = smb::counts();
    start();
    ASSERT_EQ(mlvw.get_item_count(), 5);
    ASSERT_TRUE(start_search());
    ASSERT_TRUE(wait_until([&] { return count_lines("Thread () OK ...") == 1; }, 60000)) << log_text();
    EXPECT_EQ(mlvw.get_item_count(), 9);
    int editor = -1;
    for (int i = 0; i < mlvw.get_item_count(); i++)
        if (cell(i, COL_PATH) == "S:\\pkg\\Litware\\Editor\\3.3\\Install.cmd") editor = i;
    ASSERT_GE(editor, 0);
    EXPECT_EQ(cell(editor, COL_STAT), "available");
    EXPECT_STREQ(status_text(), "Ready");
    // Every folder of the tree was listed by the server.
    grew(c, "smb2_find_count", folders);

    // The service's task reads the lists again and runs the scripts from
    // the share. The console it starts must not meet this one.
    StopConsole();
    c = smb::counts();
    ASSERT_EQ(run_service(), 0);
    for (const char* p : {"Veltrane\\NxAgent", "Contoso\\PdfViewer", "Fabrikam\\Runtime", "Contoso\\OfficeSuite"}) {
        SCOPED_TRACE(p);
        DWORD type = 0;
        std::string data;
        EXPECT_TRUE(reg_get_raw((std::string(kPkgs) + "\\" + p).c_str(), "time", &type, &data));
    }
    EXPECT_TRUE(file_exists(pub + "\\NxDemo\\NxAgent.txt"));
    grew(c, "smb2_read_count", 5);  // the five listed scripts
}

// The share goes away during a search or a pkg_find call: the user is told
// (network-error band, a failure line naming the folder), nothing waits
// longer than the client's time-out, and pkg_find keeps the earlier list.
TEST_F(SmbTest, LostShare)
{
    // 400 packages, made on the server's side: a walk of several seconds.
    std::string top = smb::server_dir() + "\\pkg";
    for (int i = 0; i < 400; i++) {
        std::string v = top + "\\Maker" + std::to_string(i % 10) + "\\Pkg" + std::to_string(i) + "\\1.0";
        make_dirs(v + "\\files");
        ASSERT_TRUE(write_file(v + "\\Install.cmd", "@echo off\r\n"));
        ASSERT_TRUE(write_file(v + "\\readme.txt", "readme\r\n"));
    }
    // A group file big enough to be read while the server is stopped, and a
    // second group after it.
    std::string big;
    for (int i = 0; big.size() < 8u << 20; i++) {
        std::string n = std::to_string(i);
        big += "[Vendor Big" + n + "]\r\ncomp=Vendor\r\nname=Big" + n + "\r\npath=S:\\pkg\\Big" + n +
               "\\Install.cmd\r\nvers=1." + n + "\r\n\r\n";
    }
    make_dirs(smb::server_dir() + "\\cfg");
    ASSERT_TRUE(write_file(smb::server_dir() + "\\cfg\\Assignment.ini", std::string(kDevice) + "=Big,Office\r\n"));
    ASSERT_TRUE(write_file(smb::server_dir() + "\\cfg\\Big.ini", big));
    ASSERT_TRUE(write_file(smb::server_dir() + "\\cfg\\Office.ini",
                           "[Vendor Editor]\r\ncomp=Vendor\r\nname=Editor\r\npath=Editor\r\nvers=2.1\r\n\r\n"));
    const std::string earlier_list = "[Earlier List]\r\ncomp=Earlier\r\nname=List\r\npath=P\r\nvers=1\r\n\r\n";
    const std::string earlier_report = "<html>earlier report</html>\n";

    struct Case {
        const char* what;
        const char* action;  // smb-env.sh command that loses the share
        bool search;         // the console's search, else pkg_find
    } cases[] = {
        {"server stopped mid-search", "stop", true},
        {"server frozen mid-search", "freeze", true},
        {"share lost between the assignment and a group file", "stop-when-open cfg/Big.ini", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(smb::run("up"), "");
        if (c.search) {
            start();
            ASSERT_TRUE(start_search());
            int paints = count_lines("OnPaint () OK ...");
            ASSERT_EQ(smb::run(c.action), "");
            // The window keeps answering: the band goes on animating while
            // the walk waits on the server.
            EXPECT_TRUE(wait_until([&] { return count_lines("OnPaint () OK ...") >= paints + 2 || !msearch; }, 10000));
            // The search ends after the client's time-out.
            EXPECT_TRUE(wait_until([] { return msearch == 0; }, 90000));
            smb::run("thaw");
            ASSERT_TRUE(wait_until([&] { return count_lines("Thread () OK ...") == 1; }, 10000));
            EXPECT_STREQ(status_text(), "Network error, check configuration!");
            std::string failed;
            for (const std::string& l : log_bodies(log_text()))
                if (l.rfind("mdir.find_file (S:\\pkg", 0) == 0 && l.find(") failed: ") != std::string::npos) failed = l;
            EXPECT_NE(failed, "") << log_text();
            EXPECT_EQ(count_lines(std::string("mdir.find_file (") + kUnc + "\\pkg) OK ..."), 0);
            // The rows found before the loss stay.
            EXPECT_EQ(mobjects, mlvw.get_item_count());
            EXPECT_LE(mobjects, 400);
            StopConsole();
        } else {
            ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", earlier_list));
            ASSERT_TRUE(write_file(pub + "\\nxsvc.htm", earlier_report));
            ASSERT_EQ(smb::run(c.action), "");
            EXPECT_EQ(find_only(), 2);
            // Compared whole: a replaced list would be megabytes to print.
            EXPECT_TRUE(read_file(pub + "\\nxsvc.ini") == earlier_list) << "the device list was rewritten";
            EXPECT_TRUE(read_file(pub + "\\nxsvc.htm") == earlier_report) << "the report was rewritten";
            std::string log = read_file(bin + "\\nxdll.log"), failed;
            for (const std::string& l : log_bodies(log))
                if (l.rfind("pkg_find (S:\\cfg", 0) == 0 && l.find(") failed: ") != std::string::npos) failed = l;
            EXPECT_NE(failed, "") << log;
            EXPECT_EQ(log.find("pkg_find () OK ..."), std::string::npos);
        }
    }
}

}  // namespace
