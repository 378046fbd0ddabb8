// The fleet: one row per device status file of the share, the devices
// that need a look first, and per package and version what the devices
// report. Built off the window's thread from the files' texts, shown by the
// Devices view, written as the fleet report. Free of Win32.
#pragma once
#include "status.h"
#include <stdio.h>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

enum DeviceCol { DEV_DEVICE, DEV_TIME, DEV_INSTALLED, DEV_FAILED, DEV_RESTART, DEV_VERS, DEV_STATUS, DEV_COLS };
extern const char* const device_headers[DEV_COLS];

// A device that has not reported for this many days is silent.
enum { FLEET_SILENT_DAYS = 7 };

// Which devices come first: those to look at.
enum DeviceRank { RANK_FAILED, RANK_SILENT, RANK_OTHER };

struct DeviceRow {
    std::array<std::string, DEV_COLS> cells;
    std::string file;  // the status file's name in the folder
    int rank = RANK_OTHER;
    int image = 0;  // picture of the row (model.h)
    int age = 0;    // days since the last report
};

// One package version across the fleet.
struct PackageTally {
    std::string comp, name, vers;
    int installed = 0, failed = 0, waiting = 0;
    std::vector<std::string> failed_on;  // devices where it failed or was refused, each with its status text
};

struct Fleet {
    std::vector<DeviceRow> rows;         // failed and unreadable first, then silent, then by name
    std::vector<PackageTally> packages;  // by manufacturer, name and version
    int failed = 0, silent = 0, unreadable = 0;
};

// Adds status files one by one, then sorts. today: days since 1970 of the
// current local date (stamp_day).
class FleetBuilder {
public:
    explicit FleetBuilder(long today) : mtoday(today) {}
    // A file's whole text (or the first bytes of an oversized file with
    // its real size); an unreadable one becomes an "unreadable" row.
    void add(const std::string& file, const char* data, size_t size);
    void add_unreadable(const std::string& file);
    Fleet finish();

private:
    long mtoday;
    Fleet mfleet;
    std::unordered_map<std::string, size_t> mindex;  // "comp\nname\nvers" -> packages
    std::string mkey;                                // the key being looked up
    DeviceStatus mstatus;                            // the file being added
};

// The status texts of one device, as the row shows them.
void device_row(const DeviceStatus& s, long today, DeviceRow& row);

// The package rows of a device, as the package view shows a device's list:
// name, manufacturer, version, script, status text, order; and a picture.
void device_package_cells(const StatusPackage& p, int order, std::string (&cells)[6], int& image);

// The fleet report, with the HTML writer; every text from the files is
// escaped. stamp: when the report was made; charset: the texts' code page
// as the document declares it (null: none). Closes f. Whether the whole
// report reached the file.
bool write_fleet_report(FILE* f, const Fleet& fleet, const char* stamp, const char* charset = nullptr);
