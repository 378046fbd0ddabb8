// The fleet in the console: a share whose status folder holds generated
// device status files (reporting, failed, silent, restart pending,
// malformed, oversized). The Devices view lists them, failed and silent
// first; a device opens read only; F5 loads again; the fleet report counts
// each package version and names the failed and silent devices, escaped.
#include "consoletest.h"
#include "fleet.h"
#include "log.h"
#include "resource.h"
#include "status.h"

namespace {

using namespace tu;

// A local time stamp days ago.
std::string stamp_ago(int days)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER u = {{ft.dwLowDateTime, ft.dwHighDateTime}};
    u.QuadPart -= (ULONGLONG)days * 24 * 3600 * 10000000ULL;
    ft = {u.LowPart, u.HighPart};
    FILETIME local;
    FileTimeToLocalFileTime(&ft, &local);
    SYSTEMTIME t;
    FileTimeToSystemTime(&local, &t);
    char buf[32];
    format_stamp(buf, sizeof buf, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return buf;
}

StatusPackage pkg(const char* comp, const char* name, const char* vers, int state, long long code)
{
    StatusPackage p;
    p.comp = comp;
    p.name = name;
    p.vers = vers;
    p.path = std::string("Y:\\pkg\\") + comp + "\\" + name + "\\" + vers + "\\Install.cmd";
    p.state = state;
    p.code = code;
    p.time = stamp_ago(0);
    p.runs = state == PKG_FAILED ? 3 : 1;
    return p;
}

std::string status_text(const char* device, int days, bool restart, std::vector<StatusPackage> pkgs,
                        const char* check = "", const char* restart_by = "", const char* window = "")
{
    DeviceStatus s;
    s.device = device;
    s.time = stamp_ago(days);
    s.vers = "1.0.0.6";
    s.restart = restart;
    s.packages = pkgs;
    s.check = check;
    s.restart_by = restart_by;
    s.window = window;
    char tmp[MAX_PATH];
    GetTempFileNameA(".", "st", 0, tmp);
    FILE* f = fopen(tmp, "wb");
    write_status(f, s);
    fclose(f);
    std::string text = read_file(tmp);
    DeleteFileA(tmp);
    return text;
}

// A list at the service's bounds, with every field at its longest, written
// in text mode as the service writes it: what fits is kept, the rest is
// counted, and the reader takes the file.
TEST(StatusFile, FitsItsReader)
{
    std::string f259(259, 'x');
    DeviceStatus s;
    s.device = "PC01";
    s.time = stamp_ago(0);
    for (int i = 0; i < 1000; i++) {
        StatusPackage p = pkg(f259.c_str(), f259.c_str(), f259.c_str(), PKG_FAILED, -2147483647LL);
        p.path = p.time = f259;
        s.packages.push_back(p);
    }
    status_fit(s);
    EXPECT_EQ(s.left + (int)s.packages.size(), 1000);
    FILE* f = fopen("fit.ini", "wt");
    write_status(f, s);
    fclose(f);
    std::string text = read_file("fit.ini");
    DeleteFileA("fit.ini");
    DeviceStatus back;
    const char* why = nullptr;
    ASSERT_TRUE(parse_status(text.data(), text.size(), back, &why)) << why << " " << text.size();
    EXPECT_EQ(back.left, s.left);
    EXPECT_GT(back.packages.size(), 50u);
}

class FleetView : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        if (HasFatalFailure()) return;
        reg_set_str("Software\\Veltrane\\NxSvc", "uncp", "\\\\demo\\packages");
        reg_set_str("Software\\Veltrane\\NxSvc", "ndrv", "Y:");
        make_dirs("Y:\\status");
    }
    bool loaded()
    {
        return wait_until([] { return msearch == 0; }, 30000);
    }
    int row_of(const std::string& device)
    {
        for (int r = 0; r < mlvw.get_item_count(); r++)
            if (cell(r, DEV_DEVICE) == device) return r;
        return -1;
    }
};

TEST_F(FleetView, DevicesViewAndReportFromTheStatusFiles)
{
    const StatusPackage office_ok = pkg("Contoso", "OfficeSuite", "16.0", PKG_INSTALLED, 0);
    const StatusPackage office_bad = pkg("Contoso", "OfficeSuite", "16.0", PKG_FAILED, 1603);
    const StatusPackage agent = pkg("Veltrane", "NxAgent", "1.2.0", PKG_INSTALLED, 0);
    const StatusPackage odd = pkg("Tail<b>spin", "Zip&per", "9.1", PKG_REFUSED, 161);
    const StatusPackage later = pkg("Northwind", "Mailer", "7.3", PKG_WAITING, 1);
    StatusPackage retry = pkg("Litware", "Editor", "3.3", PKG_FAILED, 1603);
    retry.runs = 2;
    retry.next = 4;
    // A service before "next" called a failed package in its retry wait "waiting".
    std::string old = status_text("PC-OLD", 0, false, {agent});
    old += "[Litware Editor]\ncomp=Litware\nname=Editor\nvers=3.3\npath=p\nstat=waiting\ncode=1603\nruns=2\n\n";
    std::string big = status_text("PC-BIG", 0, false, {agent});
    big += std::string(STATUS_MAX_BYTES, '\n');
    struct Row {
        const char* device;
        std::string text;
        const char *installed, *failed, *restart, *status;
    } rows[] = {
        {"PC-OK", status_text("PC-OK", 0, false, {agent, office_ok}), "2", "0", "no", "ok"},
        {"PC-FAIL", status_text("PC-FAIL", 1, false, {agent, office_bad, odd}), "1", "2", "no", "failed: 2"},
        {"PC-SILENT", status_text("PC-SILENT", 9, false, {agent, office_ok}), "2", "0", "no", "no report for 9 days"},
        {"PC-BOOT", status_text("PC-BOOT", 0, true, {agent, later}), "1", "0", "yes", "restart pending"},
        {"PC-WAIT", status_text("PC-WAIT", 0, false, {agent, later}), "1", "0", "no", "waiting: 1"},
        // users may put the restart off until then; outside the maintenance window
        {"PC-DUE", status_text("PC-DUE", 0, true, {}, "", "2026-12-09 17:30:00"), "0", "0",
         "by 2026-12-09 17:30:00", "restart required by 2026-12-09 17:30:00"},
        {"PC-WIN", status_text("PC-WIN", 0, false, {}, "", "", "22:00"), "0", "0", "no",
         "waiting for the maintenance window (22:00)"},
        {"PC-RETRY", status_text("PC-RETRY", 0, false, {agent, retry}), "1", "1", "no", "failed: 1"},
        {"PC-OLD", old, "1", "1", "no", "failed: 1"},
        // the service installs nothing there: a failed device
        {"PC-CHECK", status_text("PC-CHECK", 0, false, {agent}, "platform check failed: exit code 1: expected 1, observed 0"),
         "1", "0", "no", "platform check failed: exit code 1: expected 1, observed 0"},
        {"PC-BAD", "[device]\nname=PC-BAD\ntime=yesterday\n", "", "", "", "unreadable"},
        {"PC-BIG", big, "", "", "", "unreadable"},
    };
    for (auto& r : rows) ASSERT_TRUE(write_file(std::string("Y:\\status\\") + r.device + ".ini", r.text));
    write_file("Y:\\status\\PC-OK.ini.tmp", "half a file");  // a device writing now

    start("/admin");
    ASSERT_NE(mdevs, nullptr);
    mtvw.select_item(mdevs);
    EXPECT_EQ(msearch.load(), 2) << "the load runs off the window's thread";
    ASSERT_TRUE(loaded());
    EXPECT_EQ(mview, VIEW_DEVICES);
    ASSERT_EQ(mlvw.get_item_count(), 12);
    EXPECT_EQ(mobjects, 12);
    for (int c = 0; c < DEV_COLS; c++) EXPECT_EQ(header(c), device_headers[c]) << c;
    // Failed and unreadable first, then silent, then the rest; by name within.
    const char* order[12] = {"PC-BAD",    "PC-BIG",  "PC-CHECK", "PC-FAIL", "PC-OLD",  "PC-RETRY",
                             "PC-SILENT", "PC-BOOT", "PC-DUE",   "PC-OK",   "PC-WAIT", "PC-WIN"};
    for (int i = 0; i < 12; i++) EXPECT_EQ(cell(i, DEV_DEVICE), order[i]) << i;
    for (auto& r : rows) {
        SCOPED_TRACE(r.device);
        int at = row_of(r.device);
        ASSERT_GE(at, 0);
        EXPECT_EQ(cell(at, DEV_STATUS), r.status);
        EXPECT_EQ(cell(at, DEV_INSTALLED), r.installed);
        EXPECT_EQ(cell(at, DEV_FAILED), r.failed);
        EXPECT_EQ(cell(at, DEV_RESTART), r.restart);
        if (r.installed[0]) {
            EXPECT_EQ(cell(at, DEV_VERS), "1.0.0.6");
        }
    }
    EXPECT_NE(log_text().find("LoadDevices (Y:\\status) OK ... 12 devices"), std::string::npos) << log_text();
    // A failure in its retry wait opens as failed, with its next try.
    OpenDevice(row_of("PC-RETRY"));
    ASSERT_TRUE(wait_until([] { return mview == VIEW_DEVICE; }));
    EXPECT_EQ(cell(1, COL_STAT), "failed: 1603, next try in 4 tasks (2 attempts)");
    mtvw.select_item(mdevs);
    ASSERT_TRUE(loaded());

    // A device opens read only, its packages as the package view shows them.
    OpenDevice(row_of("PC-FAIL"));
    ASSERT_TRUE(wait_until([] { return mview == VIEW_DEVICE; }));
    EXPECT_EQ(mtvw.get_selection(), mdevnode);
    EXPECT_STREQ(mtvw.get_item_text(mdevnode), "PC-FAIL");
    ASSERT_EQ(mlvw.get_item_count(), 3);
    EXPECT_EQ(cell(1, COL_NAME), "OfficeSuite");
    EXPECT_EQ(cell(1, COL_STAT), "failed: 1603 (3 attempts)");
    EXPECT_EQ(mlvw.get_item_image(1), IMG_LISTED);
    EXPECT_EQ(cell(0, COL_STAT), agent.time);
    EXPECT_EQ(mlvw.get_item_image(0), IMG_INSTALLED);
    EXPECT_EQ(cell(2, COL_STAT), "refused: 161");
    select_row(1);
    OnCheck();
    NMLVKEYDOWN del = {};
    del.hdr.code = LVN_KEYDOWN;
    del.wVKey = VK_DELETE;
    OnNotify(&del.hdr);
    EXPECT_EQ(cell(1, COL_STAT), "failed: 1603 (3 attempts)") << "read only";
    EXPECT_EQ(mlvw.get_item_count(), 3);
    EXPECT_EQ(OnSave(), 0);
    EXPECT_NE(log_text().find("OnSave () no package list shown"), std::string::npos);

    // F5 loads the fleet again, with a device that reported meanwhile.
    ASSERT_TRUE(write_file("Y:\\status\\PC-NEW.ini", status_text("PC-NEW", 0, false, {agent})));
    command(CMD_FIND);
    ASSERT_TRUE(wait_until([] { return mview == VIEW_DEVICES && msearch == 0; }, 30000));
    EXPECT_EQ(mlvw.get_item_count(), 13);
    EXPECT_GE(row_of("PC-NEW"), 0);

    // The fleet report, from a fresh load, escaped.
    std::string report_path = pub + "\\" FLEET_REPORT_FILE;
    // A link planted in the Public folder is replaced, never written through.
    std::string victim = pub + "\\victim.txt";
    ASSERT_TRUE(write_file(victim, "victim"));
    DeleteFileA(report_path.c_str());
    ASSERT_TRUE(CreateHardLinkA(report_path.c_str(), victim.c_str(), nullptr));
    ModalAutomator closer;  // closes what the shell may show about opening it
    command(CMD_FLEETREPORT);
    ASSERT_TRUE(loaded());
    ASSERT_TRUE(wait_until([&] { return log_text().find("FleetReport (") != std::string::npos; }));
    std::string html = read_file(report_path);
    html.erase(std::remove(html.begin(), html.end(), '\r'), html.end());
    for (const char* want : {
             "13 devices: 4 failed, 1 without a report for 7 days or more, 2 unreadable.",
             "Litware Editor 3.3</td>\n  <td>PC-OLD: failed: 1603 (2 attempts)<br>PC-RETRY: failed: 1603, next try in 4 tasks (2 attempts)",
             "Contoso OfficeSuite 16.0</td>\n  <td>installed 2, failed 1, waiting 0",
             "Veltrane NxAgent 1.2.0</td>\n  <td>installed 9, failed 0, waiting 0",
             "Northwind Mailer 7.3</td>\n  <td>installed 0, failed 0, waiting 2",
             "Tail&lt;b&gt;spin Zip&amp;per 9.1</td>\n  <td>PC-FAIL",
             "PC-SILENT</td>\n  <td>" ,
             "PC-BAD</td>\n  <td>PC-BAD.ini",
             "PC-BIG</td>\n  <td>PC-BIG.ini",
         }) {
        SCOPED_TRACE(want);
        EXPECT_NE(html.find(want), std::string::npos) << html;
    }
    EXPECT_EQ(html.find("<b>spin"), std::string::npos) << "texts from the files are escaped";
    EXPECT_EQ(read_file(victim), "victim");
    EXPECT_EQ(html.find("PC-OK</td>\n  <td>"), std::string::npos) << "a reporting device is not silent";
}

}  // namespace
