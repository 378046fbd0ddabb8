// pkg_find end to end: a host program loads nxsvc.dll at run time and calls
// it, against real files on the Wine network drive Y: (X: is a local disk,
// where connecting fails), the real registry and the real environment.
#include "testutil.h"
#include "ncfg.h"
#include <memory>
#include <regex>

using namespace tu;

namespace {

using Strings = std::vector<std::string>;

const char* TABLE =
    "<table border=1 cellspacing=0 cellpadding=3 style='border-collapse: collapse' bordercolor='#808080' "
    "width='100%'>\n";
const char* OFFICE = "[Vendor Editor]\ncomp=Vendor\nname=Editor\npath=Editor\nvers=2.1\n\n";
const char* TOOLS = "[Vendor Tool]\ncomp=Vendor\nname=Tool\npath=Tool\nvers=3\n\n";

std::string crlf(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string no_cr(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

std::string rows_html(const Strings& a, const Strings& b)
{
    std::string s;
    for (size_t i = 0; i < a.size(); i++)
        s += "<tr>\n  <td bgcolor='#f0f0f0'>" + a[i] + "</td>\n  <td>" + b[i] + "</td>\n</tr>\n";
    return s;
}

std::string head_html(const char* a, const char* b)
{
    return std::string("<tr>\n  <th bgcolor='#e0e0e0'>") + a + "</th>\n  <th bgcolor='#e0e0e0'>" + b + "</th>\n</tr>\n";
}

// The report after its style block, as written by the library.
std::string report_body(const std::string& device, const Strings& numbers, const Strings& groups,
                        const Strings& names, const Strings& versions)
{
    std::string s = "<div class='h3'>Assignments for Device " + device + "</div>\n\n";
    if (!numbers.empty()) s += TABLE + head_html("Number", "Name") + rows_html(numbers, groups) + "</table>\n\n";
    s += "<div class='h4'>Assigned Packages</div>\n\n";
    s += TABLE;
    if (names.size() == versions.size()) s += head_html("Name", "Version") + rows_html(names, versions) + "</table>\n\n";
    return s + "</body>\n</html>\n";
}

class PkgFind : public ShareTest {
protected:
    std::string host;  // the host program's own folder: its log lands here
    std::string old_name_;
    bool had_name_ = false;

    void SetUp() override
    {
        ShareTest::SetUp();
        if (HasFatalFailure()) return;
        host = dir + "\\host";
        make_dirs(host);
        ASSERT_TRUE(CopyFileA((exe_dir() + "\\nxhost.exe").c_str(), (host + "\\nxhost.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((exe_dir() + "\\nxsvc.dll").c_str(), (host + "\\nxsvc.dll").c_str(), FALSE));
        old_name_ = get_env("Computername", &had_name_);
        set_env("Computername", "PC01");
        reg_set_str(NX_KEY, "uncp", "\\\\srv\\share");
        reg_set_str(NX_KEY, "ndrv", "Y:");
        make_dirs("Y:\\cfg");
        make_dirs("X:\\cfg");
    }
    void TearDown() override
    {
        set_env("Computername", had_name_ ? old_name_.c_str() : nullptr);
        ShareTest::TearDown();
    }

    int run() { return run_program("\"" + host + "\\nxhost.exe\"", 30000, host.c_str()); }
    void share(const std::string& name, const std::string& text, const char* drive = "Y:")
    {
        ASSERT_TRUE(write_file(std::string(drive) + "\\cfg\\" + name, crlf(text)));
    }
    std::string report() { return read_file(pub + "\\nxsvc.htm"); }
    std::string device_list() { return read_file(pub + "\\nxsvc.ini"); }
    // The report from the end of its style block on, line ends as in memory.
    std::string body()
    {
        std::string r = no_cr(report());
        size_t p = r.find("</style>\n\n");
        const std::string head = "<html>\n<meta charset='windows-1252'>\n<body>\n<style>";
        if (p == std::string::npos || r.compare(0, head.size(), head) != 0) return "(no report) " + r;
        return r.substr(p + 10);
    }
    // Log texts without their stamps; a line not in the log format is kept whole.
    Strings log_texts(const std::string& file)
    {
        Strings out;
        static const std::regex stamped("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t(.*)$");
        for (const std::string& l : split_lines(read_file(file))) {
            std::smatch m;
            out.push_back(std::regex_match(l, m, stamped) ? m[1].str() : "(unstamped) " + l);
        }
        return out;
    }
    Strings log() { return log_texts(host + "\\nxdll.log"); }
    // The same with any system error number other than 0 shown as "N".
    Strings log_any_error()
    {
        Strings lines = log();
        for (std::string& l : lines) {
            size_t f = l.find(") failed: ");
            if (f != std::string::npos && l.compare(f + 10, std::string::npos, "0") != 0) l = l.substr(0, f + 10) + "N";
        }
        return lines;
    }
    // The group table's (number, name) rows.
    Strings group_rows()
    {
        std::string b = body();
        size_t end = b.find("<div class='h4'>");
        b = b.substr(0, end);
        Strings out;
        static const std::regex row("<td bgcolor='#f0f0f0'>([^<]*)</td>\\n  <td>([^<]*)</td>");
        for (std::sregex_iterator i(b.begin(), b.end(), row), e; i != e; ++i)
            out.push_back((*i)[1].str() + " " + (*i)[2].str());
        return out;
    }
};

const Strings LOG_OK = {"CNet::CNet () OK ...", "pkg_find () OK ..."};

TEST_F(PkgFind, WorkedExample)
{
    share("Assignment.ini", "PC01=Office\n");
    share("Office.ini", OFFICE);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(device_list(), crlf(OFFICE));  // exactly the six lines, text mode
    EXPECT_EQ(report().find("<html>\r\n<meta charset='windows-1252'>\r\n<body>\r\n<style>\r\n"), 0u);
    EXPECT_EQ(body(), report_body("PC01", {"0000"}, {"Office"}, {"<b>Office", "Editor"}, {"---", "2.1"}));
    // Y: already is a network drive: no connection line, nothing cancelled.
    EXPECT_EQ(log(), LOG_OK);
    EXPECT_EQ(GetDriveTypeA("Y:\\"), (UINT)DRIVE_REMOTE);
    EXPECT_TRUE(file_exists("Y:\\cfg\\Office.ini"));

    // Hand the report to the browser check when it asks for it.
    std::string out = get_env("NX_REPORT_DIR");
    if (!out.empty()) {
        for (char& c : out)
            if (c == '/') c = '\\';
        if (out[0] == '\\') out = "Z:" + out;
        make_dirs(out);
        EXPECT_TRUE(write_file(out + "\\nxsvc.htm", report()));
    }
}

TEST_F(PkgFind, AssignmentLinesChooseTheGroups)
{
    struct { const char* what; const char* assignment; Strings groups; } rows[] = {
        {"plain", "PC01=Office\n", {"Office"}},
        {"blanks around = and ,", "  PC01 =\tOffice , Tools \n", {"Office", "Tools"}},
        {"; after the list", "PC01=Office,Tools ; note\n", {}},
        {"; first", ";PC01=Office\n", {}},
        {"one-character name skipped", "PC01=A,Office\n", {"Office"}},
        {"two lines in order, repeats kept", "PC01=Office\nPC02=Games\nPC01=Tools,Office\n", {"Office", "Tools", "Office"}},
        {"longer device name", "XPC01=Office\n", {}},
        {"case of the device name", "pc01=Office\n", {}},
        {"no device name", "Office,Tools\n", {}},
    };
    share("Office.ini", OFFICE);
    share("Tools.ini", TOOLS);
    share("Games.ini", TOOLS);
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        clear_dir(pub);
        ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", "untouched"));
        share("Assignment.ini", r.assignment);
        ASSERT_EQ(run(), 0);
        Strings want_rows;
        std::string want_list;
        for (size_t i = 0; i < r.groups.size(); i++) {
            char n[8];
            snprintf(n, sizeof n, "%04d", (int)i);
            want_rows.push_back(n + (" " + r.groups[i]));
            want_list += r.groups[i] == "Office" ? OFFICE : TOOLS;
        }
        EXPECT_EQ(group_rows(), want_rows);
        // No group at all: nothing to rewrite the device list with.
        EXPECT_EQ(device_list(), r.groups.empty() ? "untouched" : crlf(want_list));
    }
}

TEST_F(PkgFind, ShortAndUnusualGroupFiles)
{
    struct {
        const char* what;
        const char* office;
        bool rewritten;
        std::string list;
        Strings names, versions;
    } rows[] = {
        {"three lines: no group table, list untouched", "[Vendor Editor]\nname=Editor\nvers=2.1\n", false, "",
         {"<b>Office", "Editor"}, {"---", "2.1"}},
        {"package without vers=: table without rows, head or end", "[V A]\nname=A\nvers=1\n[V B]\nname=B\npath=b\n",
         true, "[V A]\nname=A\nvers=1\n[V B]\nname=B\npath=b\n", {"<b>Office", "A", "B"}, {"---", "1"}},
        {"first word only in the report", "[V T]\ncomp=V\nname=Text Editor\npath=T\nvers=1.0 beta\n", true,
         "[V T]\ncomp=V\nname=Text Editor\npath=T\nvers=1.0 beta\n", {"<b>Office", "Text"}, {"---", "1.0"}},
        {"<b> line bold, ; line dropped", "[V E]\n<b>Extras\ncomp=V\nname=Editor\npath=E;x\nvers=2.1\n\n", true,
         "[V E]\ncomp=V\nname=Editor\nvers=2.1\n\n", {"<b>Office", "<b>Extras\n", "Editor"}, {"---", "---", "2.1"}},
        {"last line without line end", "[V E]\ncomp=V\nname=Editor\npath=E\nvers=2.1", true,
         "[V E]\ncomp=V\nname=Editor\npath=E\nvers=2.1\n", {"<b>Office", "Editor"}, {"---", "2.1"}},
    };
    share("Assignment.ini", "PC01=Office\n");
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        clear_dir(pub);
        ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", "untouched"));
        ASSERT_TRUE(write_file("Y:\\cfg\\Office.ini", crlf(r.office)));
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(device_list(), r.rewritten ? crlf(r.list) : "untouched");
        EXPECT_EQ(body(), report_body("PC01", r.rewritten ? Strings{"0000"} : Strings{},
                                      r.rewritten ? Strings{"Office"} : Strings{}, r.names, r.versions));
    }
}

TEST_F(PkgFind, TextsFromFilesAndEnvironmentAreEscaped)
{
    set_env("Computername", "PC<&>");
    share("Assignment.ini", "PC<&>=R&D\n");
    share("R&D.ini", "[V A]\ncomp=V\nname=A<B>\npath=a\nvers=1&2\n");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(body(), report_body("PC&lt;&amp;&gt;", {"0000"}, {"R&amp;D"}, {"<b>R&amp;D", "A&lt;B&gt;"},
                                  {"---", "1&amp;2"}));
    EXPECT_EQ(device_list(), crlf("[V A]\ncomp=V\nname=A<B>\npath=a\nvers=1&2\n"));  // the list keeps the text
}

TEST_F(PkgFind, WithoutComputernameNoLineMatches)
{
    set_env("Computername", nullptr);
    share("Assignment.ini", "=Office\nPC01=Office\n");
    share("Office.ini", OFFICE);
    ASSERT_TRUE(write_file(pub + "\\nxsvc.ini", "untouched"));
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(body(), report_body("", {}, {}, {}, {}));
    EXPECT_EQ(device_list(), "untouched");
}

TEST_F(PkgFind, OverlongGroupNamesAreSkippedAndLogged)
{
    // "Y:\cfg\" + name + ".ini" must fit 259 characters: 248 does, 249 not.
    std::string fits(248, 'f'), too_long(249, 'g'), marker_too_long(257, 'm');
    share("Assignment.ini", "PC01=" + fits + "," + too_long + ",Office," + marker_too_long + "\n");
    share("Office.ini", OFFICE);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(group_rows(), (Strings{"0000 " + fits, "0001 Office"}));
    EXPECT_EQ(device_list(), crlf(OFFICE));
    EXPECT_EQ(log(), (Strings{"CNet::CNet () OK ...", "read_group_lines (" + too_long + ") failed: 206",
                              "read_group_lines (" + marker_too_long + ") failed: 206", "pkg_find () OK ..."}));
}

TEST_F(PkgFind, NoDriveGivesOneAndWritesNothing)
{
    reg_set_str(NX_KEY, "ndrv", "");  // empty: as if missing
    share("Assignment.ini", "PC01=Office\n");
    share("Office.ini", OFFICE);
    ASSERT_EQ(run(), 1);
    EXPECT_FALSE(file_exists(pub + "\\nxsvc.htm"));
    EXPECT_FALSE(file_exists(pub + "\\nxsvc.ini"));
    EXPECT_EQ(log(), (Strings{"CNet::CNet () OK ...", "CNet::~CNet () OK ..."}));
}

TEST_F(PkgFind, FailedConnectionWithEarlierReportGivesTwoAndKeepsBoth)
{
    share("Assignment.ini", "PC01=Office\n");
    share("Office.ini", OFFICE);
    ASSERT_EQ(run(), 0);  // a first call through the network drive
    std::string first_report = report(), first_list = device_list();
    ASSERT_FALSE(first_report.empty());

    // Now the drive is a local disk: connecting it fails.
    reg_set_str(NX_KEY, "ndrv", "X:");
    share("Assignment.ini", "PC01=Office\n", "X:");
    share("Office.ini", TOOLS, "X:");
    ASSERT_EQ(run(), 2);
    EXPECT_EQ(report(), first_report);
    EXPECT_EQ(device_list(), first_list);
    Strings l = log();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], "CNet::CNet () OK ...");
    EXPECT_TRUE(std::regex_match(l[1], std::regex("CNet::WNetAddConnection \\(X:\\) failed: [1-9][0-9]*"))) << l[1];
    EXPECT_EQ(l[2], "CNet::~CNet () OK ...");
}

TEST_F(PkgFind, FailedConnectionWithoutReportGoesOn)
{
    reg_set_str(NX_KEY, "ndrv", "X:");
    share("Assignment.ini", "PC01=Office\n", "X:");
    share("Office.ini", OFFICE, "X:");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(body(), report_body("PC01", {"0000"}, {"Office"}, {"<b>Office", "Editor"}, {"---", "2.1"}));
    EXPECT_EQ(device_list(), crlf(OFFICE));
    Strings l = log();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], "CNet::CNet () OK ...");
    EXPECT_TRUE(std::regex_match(l[1], std::regex("CNet::WNetAddConnection \\(X:\\) failed: [1-9][0-9]*"))) << l[1];
    EXPECT_EQ(l[2], "pkg_find () OK ...");
}

TEST_F(PkgFind, MissingFilesOnTheShare)
{
    struct { const char* what; bool assignment; Strings names; } rows[] = {
        {"no assignment file: heading and an empty package table", false, {}},
        {"no group file: the group's bold row alone", true, {"<b>Office"}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        clear_dir("Y:\\cfg");
        clear_dir(pub);
        if (r.assignment) share("Assignment.ini", "PC01=Office\n");
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(body(), report_body("PC01", {}, {}, r.names, Strings(r.names.size(), "---")));
        EXPECT_FALSE(file_exists(pub + "\\nxsvc.ini"));
        EXPECT_EQ(log(), LOG_OK);
    }
}

TEST_F(PkgFind, LogFallsBackToTemp)
{
    share("Assignment.ini", "PC01=Office\n");
    share("Office.ini", OFFICE);
    // A folder of that name keeps the log from being created beside the host.
    ASSERT_TRUE(CreateDirectoryA((host + "\\nxdll.log").c_str(), nullptr));
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_texts(temp + "\\nxdll.log"), LOG_OK);

    // Neither place: the run is the same, without a log.
    DeleteFileA((temp + "\\nxdll.log").c_str());
    ASSERT_TRUE(CreateDirectoryA((temp + "\\nxdll.log").c_str(), nullptr));
    DeleteFileA((pub + "\\nxsvc.ini").c_str());
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(device_list(), crlf(OFFICE));
}

TEST_F(PkgFind, ReportThatCannotBeCreatedStillRewritesTheList)
{
    share("Assignment.ini", "PC01=Office\n");
    share("Office.ini", OFFICE);
    const std::string htm = pub + "\\nxsvc.htm";
    const Strings logged = {"CNet::CNet () OK ...", "fopen (" + htm + ") failed: N", "pkg_find () OK ..."};
    // A folder in its place.
    ASSERT_TRUE(CreateDirectoryA(htm.c_str(), nullptr));
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(device_list(), crlf(OFFICE));
    EXPECT_EQ(log_any_error(), logged);
    RemoveDirectoryA(htm.c_str());

    // Held open by a browser or another program that shares nothing.
    ASSERT_TRUE(write_file(htm, "earlier report"));
    DeleteFileA((pub + "\\nxsvc.ini").c_str());
    {
        FileHolder holder(htm, "none");
        ASSERT_TRUE(holder.held());
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(device_list(), crlf(OFFICE));
        EXPECT_EQ(log_any_error(), logged);
    }
    EXPECT_EQ(report(), "earlier report");
}

TEST_F(PkgFind, DeviceListThatCannotBeReplacedIsKeptWhole)
{
    share("Assignment.ini", "PC01=Office\n");
    share("Office.ini", OFFICE);
    const std::string ini = pub + "\\nxsvc.ini";
    const std::string earlier = crlf(TOOLS);
    for (const ListBlock& c : kListBlocks) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_file(ini, earlier));
        std::unique_ptr<Blocked> block(new Blocked(ini, c));
        ASSERT_TRUE(block->ok());
        ASSERT_EQ(run(), 3);
        block.reset();
        EXPECT_EQ(device_list(), earlier);
        const std::string op = std::string(c.line) == "Could not write " ? "safe_commit (" : "safe_open (";
        EXPECT_EQ(log_any_error(), (Strings{"CNet::CNet () OK ...", op + ini + ") failed: N", "CNet::~CNet () OK ..."}));
        EXPECT_NE(body().find("Office"), std::string::npos) << "the report is still written";
        // No temporary file is left beside the list.
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((pub + "\\nxs*.tmp").c_str(), &fd);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << fd.cFileName;
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
    }
}

TEST_F(PkgFind, SecondCallRewritesFromScratch)
{
    share("Assignment.ini", "PC01=Office,Tools\n");
    share("Office.ini", OFFICE);
    share("Tools.ini", TOOLS);
    ASSERT_EQ(run(), 0);
    share("Assignment.ini", "PC01=Tools\n");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(group_rows(), (Strings{"0000 Tools"}));
    EXPECT_EQ(device_list(), crlf(TOOLS));
    EXPECT_EQ(log(), LOG_OK);  // the log too starts again; the one before is kept
    EXPECT_EQ(log_texts(host + "\\nxdll.old"), LOG_OK);
}

// A list that already holds what pkg_find would write stays as it is (its
// time too); one that is a link is replaced all the same, never written
// through.
TEST_F(PkgFind, UnchangedListIsLeftUnlessLinked)
{
    share("Assignment.ini", "PC01=Tools\n");
    share("Tools.ini", TOOLS);
    ASSERT_EQ(run(), 0);
    const std::string ini = pub + "\\nxsvc.ini", other = pub + "\\other.ini";
    auto facts = [](const std::string& path, FILETIME& time) {
        BY_HANDLE_FILE_INFORMATION info = {};
        HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        time = info.ftLastWriteTime;
        return info.nNumberOfLinks;
    };
    struct Row { const char* what; bool link; } rows[] = {{"a plain file", false}, {"a hard link", true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.link) {
            ASSERT_TRUE(write_file(other, crlf(TOOLS)));
            DeleteFileA(ini.c_str());
            ASSERT_TRUE(CreateHardLinkA(ini.c_str(), other.c_str(), nullptr));
        }
        FILETIME before, after;
        facts(ini, before);
        Sleep(20);  // a rewrite would then carry another time
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(facts(ini, after), 1u);
        EXPECT_EQ(CompareFileTime(&before, &after) == 0, !r.link);
        EXPECT_EQ(device_list(), crlf(TOOLS));
    }
}

}  // namespace
