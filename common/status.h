// A device's status file on the share: what the service's last task left
// on this device, written after every task, read by the console's Devices
// view and fleet report. The package list's section format: "[" lines open
// sections, "key=value" lines fill them, an empty line ends each. The first
// section is the device's, every further one a package of its list.
// Free of Win32. The files are written by every device with one account, so
// the reader takes them as hostile input: bounded in size, lines, sections.
#pragma once
#include "ncfg.h"  // NX_PATH
#include <stddef.h>
#include <stdio.h>
#include <string>
#include <vector>

// Bounds well above what the list's own limits produce (a section is about
// 200 bytes): a larger file is refused whole, never read in part.
enum {
    STATUS_MAX_BYTES = 256 * 1024,
    STATUS_MAX_PACKAGES = 1000,
    STATUS_FIELD = NX_PATH,  // as the list's fields
    STATUS_LINE = 272,   // a key, "=" and a whole field
};

// What became of a package of the list.
enum PkgState {
    PKG_INSTALLED,  // the listed version is installed
    PKG_FAILED,     // its last run failed; also while it waits for its next try
    PKG_SKIPPED,    // not run in the last task (it ended before, or a restart came first)
    PKG_WAITING,    // waits for the Windows Installer or a restart, never for a retry
    PKG_REFUSED,    // its path or identity broke the service's rules
    PKG_STATES
};
const char* pkg_state_text(int state);
// The state named by text, -1 for none.
int pkg_state_of(const char* text);

struct StatusPackage {
    std::string comp, name, vers, path, time;
    int state = PKG_SKIPPED;
    long long code = 0;  // result code when installed, else the exit value or system error
    int runs = 0;        // failed attempts in a row for this version
    // A failed package: the task that tries it again, counted from the
    // next one (1: the next task); 0 when not known.
    int next = 0;
};

// The code of a package refused because its files are not the signed
// ones (ERROR_INVALID_IMAGE_HASH, 577): its status says "refused: not signed".
enum { STATUS_NOT_SIGNED = 577 };

// What a package's status says: the time of an installed one; "failed:
// 1603, next try in 4 tasks", "refused: 161", or the state's name; and
// " (3 attempts)" after a failure that repeats.
std::string status_package_text(const StatusPackage& p);

struct DeviceStatus {
    std::string device, time, vers;  // name, time of the task, service version
    // The task's counts.
    int installed = 0, failed = 0, skipped = 0, waiting = 0;
    bool restart = false;  // a restart is pending
    // The restart's deadline when users may put it off ("YYYY-MM-DD
    // hh:mm:ss", local time of the device), else empty.
    std::string restart_by;
    // "HH:MM" when the task ran nothing because the maintenance window was
    // closed: the time it opens. Else empty.
    std::string window;
    // Set when the service installs nothing because the platform failed its
    // check: "platform check failed: <row>". A failure of the device.
    std::string check;
    // What the service made of the share's signature: "unsigned", "signed,
    // sequence <n>" or "signature refused: <check>"; empty from a service
    // before signing.
    std::string sign;
    std::vector<StatusPackage> packages;
    int left = 0;  // packages of the list left out so the file fits its reader
};

// Leaves out packages from the end of the list, counting them in left,
// until the file write_status writes stays within STATUS_MAX_BYTES (with
// text-mode line ends): the reader refuses a larger file whole.
void status_fit(DeviceStatus& s);

// Writes the whole file. Texts are cut at their first line end, so no value
// can start a line of its own.
void write_status(FILE* f, const DeviceStatus& s);

// Reads a whole file held in memory. False when it is not a status file:
// larger than STATUS_MAX_BYTES, a zero byte, a line longer than STATUS_LINE
// or a value longer than a field, a
// device section without name or valid time, a package section without
// manufacturer, name, version or a known state, a number that is not one,
// more than STATUS_MAX_PACKAGES packages. why then names the first fault.
// Unknown keys are passed over, so a newer service's file still reads.
// Files written before "next" existed called a package in its retry wait
// "waiting" with its failed attempts in "runs": such a package reads as
// failed.
bool parse_status(const char* data, size_t size, DeviceStatus& out, const char** why);

// Days since 1970-01-01 of a time stamp "YYYY-MM-DD hh:mm:ss"; -1 when the
// text is not one.
long stamp_day(const char* stamp);
