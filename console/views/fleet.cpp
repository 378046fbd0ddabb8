#include "fleet.h"
#include "chtml.h"
#include "model.h"
#include <algorithm>

const char* const device_headers[DEV_COLS] = {"Device",         "Last Report",     "Installed", "Failed",
                                              "Restart Pending", "Service Version", "Status"};

void device_row(const DeviceStatus& s, long today, DeviceRow& row)
{
    int installed = 0, failed = 0, waiting = 0;
    for (const StatusPackage& p : s.packages) {
        if (p.state == PKG_INSTALLED) installed++;
        else if (p.state == PKG_FAILED || p.state == PKG_REFUSED) failed++;
        else waiting++;
    }
    long day = stamp_day(s.time.c_str());
    row.age = day >= 0 && today > day ? (int)(today - day) : 0;
    bool silent = row.age >= FLEET_SILENT_DAYS;
    row.cells[DEV_DEVICE] = s.device;
    row.cells[DEV_TIME] = s.time;
    row.cells[DEV_INSTALLED] = std::to_string(installed);
    row.cells[DEV_FAILED] = std::to_string(failed);
    row.cells[DEV_RESTART] = !s.restart ? "no" : s.restart_by.empty() ? "yes" : "by " + s.restart_by;
    row.cells[DEV_VERS] = s.vers;
    std::string& text = row.cells[DEV_STATUS];
    text.clear();
    if (failed) text = "failed: " + std::to_string(failed);
    // The service installs nothing there until its platform check passes.
    if (!s.check.empty()) text = s.check + (text.empty() ? "" : "; " + text);
    if (silent) text += (text.empty() ? "" : "; ") + std::string("no report for ") + std::to_string(row.age) + " days";
    if (text.empty() && s.restart)
        text = s.restart_by.empty() ? "restart pending" : "restart required by " + s.restart_by;
    if (text.empty() && !s.window.empty()) text = "waiting for the maintenance window (" + s.window + ")";
    if (text.empty()) text = waiting ? "waiting: " + std::to_string(waiting) : "ok";
    bool bad = failed || !s.check.empty();
    row.rank = bad ? RANK_FAILED : silent ? RANK_SILENT : RANK_OTHER;
    row.image = bad ? IMG_EXCLUDED : silent ? IMG_CLOCK : IMG_COMPUTER;
}

void device_package_cells(const StatusPackage& p, int order, std::string (&cells)[6], int& image)
{
    cells[COL_NAME] = p.name;
    cells[COL_COMP] = p.comp;
    cells[COL_VERS] = p.vers;
    cells[COL_PATH] = p.path;
    cells[COL_STAT] = status_package_text(p);
    char text[16];
    snprintf(text, sizeof text, "%03d", order);
    cells[COL_ORDER] = text;
    // Never a state a click could check: the view is read only.
    image = p.state == PKG_INSTALLED ? IMG_INSTALLED : IMG_LISTED;
}

void FleetBuilder::add_unreadable(const std::string& file)
{
    DeviceRow row;
    std::string device = file;
    if (device.size() > 4 && device.compare(device.size() - 4, 4, ".ini") == 0) device.resize(device.size() - 4);
    row.cells[DEV_DEVICE] = device;
    row.cells[DEV_STATUS] = "unreadable";
    row.file = file;
    row.rank = RANK_FAILED;
    row.image = IMG_EXCLUDED;
    mfleet.unreadable++;
    mfleet.rows.push_back(std::move(row));
}

void FleetBuilder::add(const std::string& file, const char* data, size_t size)
{
    DeviceStatus& s = mstatus;
    if (!parse_status(data, size, s, nullptr)) {
        add_unreadable(file);
        return;
    }
    DeviceRow row;
    device_row(s, mtoday, row);
    row.file = file;
    if (row.rank == RANK_FAILED) mfleet.failed++;
    if (row.age >= FLEET_SILENT_DAYS) mfleet.silent++;
    for (const StatusPackage& p : s.packages) {
        // One key buffer for every lookup: no allocation once it is large enough.
        mkey.assign(p.comp).append(1, '\n').append(p.name).append(1, '\n').append(p.vers);
        auto it = mindex.find(mkey);
        if (it == mindex.end()) {
            it = mindex.emplace(mkey, mfleet.packages.size()).first;
            mfleet.packages.emplace_back();
            PackageTally& t = mfleet.packages.back();
            t.comp = p.comp;
            t.name = p.name;
            t.vers = p.vers;
        }
        PackageTally& t = mfleet.packages[it->second];
        if (p.state == PKG_INSTALLED) {
            t.installed++;
        } else if (p.state == PKG_FAILED || p.state == PKG_REFUSED) {
            t.failed++;
            // The device with what failed there, so the report says it as the view does.
            t.failed_on.push_back(s.device + ": " + status_package_text(p));
        } else {
            t.waiting++;
        }
    }
    mfleet.rows.push_back(std::move(row));
}

Fleet FleetBuilder::finish()
{
    std::sort(mfleet.rows.begin(), mfleet.rows.end(), [](const DeviceRow& a, const DeviceRow& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.cells[DEV_DEVICE] < b.cells[DEV_DEVICE];
    });
    std::sort(mfleet.packages.begin(), mfleet.packages.end(), [](const PackageTally& a, const PackageTally& b) {
        if (a.comp != b.comp) return a.comp < b.comp;
        if (a.name != b.name) return a.name < b.name;
        return a.vers < b.vers;
    });
    for (PackageTally& t : mfleet.packages) std::sort(t.failed_on.begin(), t.failed_on.end());
    mindex.clear();
    return std::move(mfleet);
}

static std::string package_title(const PackageTally& t)
{
    return html_escape(t.comp + " " + t.name + " " + t.vers);
}

// A heading and its two-column table.
static void section(CHtml& html, const char* title, const std::vector<std::string>& col1,
                    const std::vector<std::string>& col2, const char* head1, const char* head2)
{
    html.WriteText(title, TEXT_H4);
    html.BeginTable();
    html.WriteTable(col1, col2, head1, head2);
}

bool write_fleet_report(FILE* f, const Fleet& fleet, const char* stamp, const char* charset)
{
    CHtml html;
    html.Open(f, charset);
    html.WriteStyle();
    html.WriteText("Fleet Status", TEXT_H3);
    std::string summary = std::to_string(fleet.rows.size()) + " devices: " + std::to_string(fleet.failed) +
                          " failed, " + std::to_string(fleet.silent) + " without a report for " +
                          std::to_string(FLEET_SILENT_DAYS) + " days or more, " + std::to_string(fleet.unreadable) +
                          " unreadable. Made " + html_escape(stamp) + ".";
    html.WriteText(summary.c_str(), TEXT_PARA);

    std::vector<std::string> names, counts, failed_names, failed_on;
    for (const PackageTally& t : fleet.packages) {
        names.push_back(package_title(t));
        counts.push_back("installed " + std::to_string(t.installed) + ", failed " + std::to_string(t.failed) +
                         ", waiting " + std::to_string(t.waiting));
        if (t.failed_on.empty()) continue;
        failed_names.push_back(names.back());
        std::string list;
        // One device a line: the status texts hold commas themselves.
        for (const std::string& d : t.failed_on) list += (list.empty() ? "" : "<br>") + html_escape(d);
        failed_on.push_back(list);
    }
    section(html, "Packages", names, counts, "Package", "Devices");
    section(html, "Failed Installations", failed_names, failed_on, "Package", "Devices");

    std::vector<std::string> silent, last, unreadable, files;
    for (const DeviceRow& r : fleet.rows) {
        if (r.cells[DEV_STATUS] == "unreadable") {
            unreadable.push_back(html_escape(r.cells[DEV_DEVICE]));
            files.push_back(html_escape(r.file));
        } else if (r.age >= FLEET_SILENT_DAYS) {
            silent.push_back(html_escape(r.cells[DEV_DEVICE]));
            last.push_back(html_escape(r.cells[DEV_TIME]) + " (" + std::to_string(r.age) + " days)");
        }
    }
    section(html, "No Report for a Week", silent, last, "Device", "Last Report");
    section(html, "Unreadable Status Files", unreadable, files, "Device", "File");
    return html.Close();
}
