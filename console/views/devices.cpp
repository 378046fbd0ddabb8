// The Devices view (admin mode): the status files of the share's status
// folder, loaded off the window's thread like the package search; one
// device's packages, read only; and the fleet report.
#include "sharelayout.h"
#include "views.h"
#include "fleet.h"
#include "safefile.h"
#include <io.h>
#include "log.h"
#include "search.h"
#include "service_contract.h"
#include "shell.h"
#include "strutil.h"
#include "textenc.h"
#include "handover.h"
#include "scoped.h"
#include <shellapi.h>
#include <process.h>

HTREEITEM mdevs, mdevnode;
Fleet mfleet;
static char mdevfile[NX_PATH];   // status file of the device shown under mdevnode
static char mstatusdir[NX_PATH];  // the status folder the fleet was loaded from
static bool mreportpending;      // write the fleet report when the load is done

// What the loader thread hands to the window (which takes ownership).
struct FleetLoad {
    char folder[NX_PATH] = {};
    long today = 0;
    Fleet fleet;
    unsigned long error = 0;
};

// The current local date as days since 1970.
static long local_today()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    format_stamp(stamp, sizeof stamp, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return stamp_day(stamp);
}

// Reads a whole status file into buf, refusing one above the bound before
// reading it. False when it cannot be read.
static bool read_status_file(const char* path, std::vector<char>& buf)
{
    ScopedHandle h(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h.get(), &size) || size.QuadPart > STATUS_MAX_BYTES) return false;
    buf.resize((size_t)size.QuadPart);
    DWORD got = 0;
    return buf.empty() || (ReadFile(h.get(), buf.data(), (DWORD)buf.size(), &got, nullptr) && got == buf.size());
}

unsigned long load_fleet(const char* folder, long today, Fleet& out)
{
    FleetBuilder b(today);
    char pattern[NX_PATH], path[NX_PATH];
    if (fmt_str(pattern, "%s\\*.ini", folder)) return ERROR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAA fd;
    ScopedFind h(FindFirstFileA(pattern, &fd));
    if (!h) {
        unsigned long e = GetLastError();
        out = b.finish();
        return e == ERROR_FILE_NOT_FOUND ? 0 : e;  // an empty folder
    }
    std::vector<char> buf;
    buf.reserve(16384);
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        size_t len = strlen(fd.cFileName);
        // The pattern also matches short names; only "<device>.ini" counts.
        if (len < 5 || _stricmp(fd.cFileName + len - 4, ".ini") != 0) continue;
        if (fmt_str(path, "%s\\%s", folder, fd.cFileName) || !read_status_file(path, buf))
            b.add_unreadable(fd.cFileName);
        else
            b.add(fd.cFileName, buf.data(), buf.size());
    } while (FindNextFileA(h.get(), &fd));
    unsigned long e = GetLastError();
    h.reset();
    out = b.finish();
    return e == ERROR_NO_MORE_FILES ? 0 : e;
}

static unsigned __stdcall FleetThread(void* arg)
{
    std::unique_ptr<FleetLoad> job((FleetLoad*)arg);
    job->error = load_fleet(job->folder, job->today, job->fleet);
    // No window takes the load: it ends here, and its result with it.
    if (!post_result(mwin.window, WM_NX_DEVICESDONE, job)) msearch = BUSY_NONE;
    return 0;
}

// Empties the list and puts up the Devices columns.
static void devices_columns()
{
    Clear(CLEAR_EMPTY);
    for (int i = 0; i < DEV_COLS; i++) mlvw.insert_column(device_headers[i], i, 0, 0);
    mview = VIEW_DEVICES;
    OnSize();
}

static void show_fleet()
{
    mobjects = (int)mfleet.rows.size();
    mselected = 0;
    mlvw.set_item_count(mobjects);
    if (mwin.window) OnPaint();
}

void LoadDevices(bool show)
{
    if (!madmin || msearch) return;
    if (show) devices_columns();
    ConnectShare();
    FleetLoad* job = new (std::nothrow) FleetLoad;
    if (!job || !mncfg.ndrv[0] || fmt_str(job->folder, "%s\\" SHARE_STATUS, mncfg.ndrv)) {
        log_line(mlog, "LoadDevices (%s) failed: %d\n", mncfg.ndrv, (int)(job ? ERROR_BAD_PATHNAME : ERROR_NOT_ENOUGH_MEMORY));
        delete job;
        return;
    }
    job->today = local_today();
    msearch = BUSY_DEVICES;
    mticks = 0;
    ScopedHandle h((HANDLE)_beginthreadex(nullptr, 0, FleetThread, job, CREATE_SUSPENDED, nullptr));
    if (!h) {
        msearch = BUSY_NONE;
        log_line(mlog, "LoadDevices (%s) failed: %d\n", job->folder, (int)GetLastError());
        delete job;
        return;
    }
    log_line(mlog, "LoadDevices (%s) GO ...\n", job->folder);
    ResumeThread(h.get());
}

// A stream of its own on the file of f, for a writer that closes what it
// is given; null when there is none (the error in GetLastError).
static FILE* stream_copy(FILE* f)
{
    ScopedFd fd(_dup(_fileno(f)));
    if (!fd) return nullptr;
    FILE* copy = _fdopen(fd.get(), "wt");
    if (copy) fd.release();  // the stream's from now on
    return copy;
}

static void open_report()
{
    char path[NX_PATH] = "";
    get_file(path, (char*)FLEET_REPORT_FILE);
    // In the users' Public folder, written by an administrator: never
    // through a link a user planted there, never half written.
    SafeFile out;
    FILE* f = path[0] && safe_open(out, path, "wt") ? stream_copy(out.f) : nullptr;
    if (!f) {
        log_line(mlog, "FleetReport (%s) failed: %d\n", path, (int)GetLastError());
        return;
    }
    // The texts are in the code page, as in the assignment report.
    bool whole = write_fleet_report(f, mfleet, time_stamp(), charset_name(ansi_code_page().id));  // closes f
    // A report cut short by a failed write is never put in place.
    if (!whole || !safe_commit(out)) {
        log_line(mlog, "FleetReport (%s) failed: %d\n", path, whole ? (int)GetLastError() : (int)ERROR_WRITE_FAULT);
        return;
    }
    log_line(mlog, "FleetReport (%s) OK ...\n", path);
    ShellExecuteA(nullptr, nullptr, path, nullptr, nullptr, SW_SHOW);
}

LRESULT OnDevicesDone(LPARAM lp)
{
    std::unique_ptr<FleetLoad> job = take_result<FleetLoad>(lp);
    if (!job) return 0;
    mfleet = std::move(job->fleet);
    copy_str(mstatusdir, job->folder);
    if (job->error)
        log_line(mlog, "LoadDevices (%s) failed: %d\n", job->folder, (int)job->error);
    else
        log_line(mlog, "LoadDevices (%s) OK ... %d devices\n", job->folder, (int)mfleet.rows.size());
    job.reset();
    msearch = BUSY_NONE;
    mticks = 0;
    if (mview == VIEW_DEVICES) show_fleet();
    if (mreportpending) {
        mreportpending = false;
        open_report();
    }
    if (mwin.window) InvalidateRect(mwin.window, nullptr, FALSE);
    return 0;
}

void FleetReport()
{
    if (!madmin || msearch) return;
    // Always from a fresh load, so the report says what the share holds now.
    mreportpending = true;
    LoadDevices(false);
    if (!msearch) mreportpending = false;
}

void OpenDevice(int p)
{
    if (mview != VIEW_DEVICES || p < 0 || (size_t)p >= mfleet.rows.size()) return;
    const DeviceRow& row = mfleet.rows[p];
    copy_str(mdevfile, row.file.c_str());
    // One node under "Devices" names the device shown; selecting it shows it.
    if (mdevnode) {
        TVITEMA it = {};
        it.mask = TVIF_TEXT;
        it.hItem = mdevnode;
        it.pszText = (char*)row.cells[DEV_DEVICE].c_str();
        SendMessageA(mtvw.handle, TVM_SETITEMA, 0, (LPARAM)&it);
    } else {
        mdevnode = mtvw.insert_item(row.cells[DEV_DEVICE].c_str(), IMG_COMPUTER, mdevs, nullptr);
        mtvw.expand(mdevs, TVE_EXPAND);
    }
    if (mtvw.get_selection() == mdevnode)
        ShowDevice();
    else
        mtvw.select_item(mdevnode);
}

void ShowDevice()
{
    Clear(CLEAR_PACKAGES);
    mview = VIEW_DEVICE;
    char path[NX_PATH];
    std::vector<char> buf;
    DeviceStatus s;
    const char* why = "not read";
    bool ok = mdevfile[0] && !fmt_str(path, "%s\\%s", mstatusdir, mdevfile) && read_status_file(path, buf) &&
              parse_status(buf.data(), buf.size(), s, &why);
    int n = 0;
    for (const StatusPackage& p : s.packages) {
        std::string cells[NCOLS];
        int image;
        device_package_cells(p, n++, cells, image);
        mmodel.append(cells, NCOLS, image);
    }
    mobjects = n;
    mlvw.set_item_count(n);
    if (ok)
        log_line(mlog, "ShowDevice (%s) OK ... %d packages\n", mdevfile, n);
    else
        log_line(mlog, "ShowDevice (%s) unreadable: %s\n", mdevfile, why);
}

void DevicesDispInfo(NMLVDISPINFOA* info)
{
    LVITEMA& it = info->item;
    static char empty[1] = "";
    int r = it.iItem;
    if (r < 0 || (size_t)r >= mfleet.rows.size()) {
        if (it.mask & LVIF_TEXT) it.pszText = empty;
        if (it.mask & LVIF_IMAGE) it.iImage = I_IMAGENONE;
        return;
    }
    const DeviceRow& row = mfleet.rows[r];
    if (it.mask & LVIF_IMAGE) it.iImage = row.image;
    if (it.mask & LVIF_TEXT)
        it.pszText = it.iSubItem >= 0 && it.iSubItem < DEV_COLS ? (char*)row.cells[it.iSubItem].c_str() : empty;
}

void AddDevicesNode()
{
    if (mdevs || !mpkgs) return;
    mdevnode = nullptr;
    mdevfile[0] = 0;
    mfleet = Fleet();
    mdevs = mtvw.insert_item("Devices", IMG_COMPUTER, mtvw.get_root(), mpkgs);
}
