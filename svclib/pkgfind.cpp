// pkg_find: connects the share, collects this device's groups and their
// package lines, writes the assignment report and rewrites the device
// package list.
#include "assign.h"
#include "chtml.h"
#include "cnet.h"
#include "creg.h"
#include "log.h"
#include "ncfg.h"
#include "safefile.h"
#include "scoped.h"
#include "service_contract.h"
#include "sharelayout.h"
#include "strutil.h"
#include "textenc.h"
#include <windows.h>

// The library's log, rewritten at every call; the call before keeps its
// log as "nxdll.old", since a service task a minute later would leave
// nothing of a failure to read. A name planted in "TEMP" is not followed.
static FILE* open_log_keeping(const char* path)
{
    char old[NX_PATH];
    DWORD a = GetFileAttributesA(path);
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) &&
        !fmt_str(old, "%.*s" NX_DLL_OLD_FILE, (int)(strlen(path) - strlen(NX_DLL_LOG_FILE)), path))
        MoveFileExA(path, old, MOVEFILE_REPLACE_EXISTING);
    return open_unlinked(path, "wt");
}

// "nxdll.log" in the host program's folder, else in "TEMP"; none when
// neither opens.
static FILE* open_log()
{
    char path[NX_PATH];
    char module[NX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    if (n > 0 && n < sizeof module) {
        char* slash = strrchr(module, '\\');
        if (slash) {
            slash[1] = 0;
            if (!fmt_str(path, "%s" NX_DLL_LOG_FILE, module)) {
                FILE* f = open_log_keeping(path);
                if (f) return f;
            }
        }
    }
    // GetEnvironmentVariableA sees changes made in this process; getenv may not.
    char temp[NX_PATH];
    n = GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    // Users may write in "TEMP": a name planted there is not followed.
    if (n > 0 && n < sizeof temp && !fmt_str(path, "%s\\" NX_DLL_LOG_FILE, temp)) return open_log_keeping(path);
    return nullptr;
}

static void write_report(FILE* log, const char* device, const std::vector<std::string>& groups,
                         const std::vector<std::string>& numbers, const std::vector<std::string>& lines,
                         const std::vector<std::string>& notes)
{
    char path[NX_PATH];
    get_file(path, (char*)SVC_REPORT_FILE);
    CHtml html;
    // The data folder is the users' too: never written through a planted link.
    FILE* f = open_unlinked(path, "wt");
    int err = (int)GetLastError();
    html.Open(f, charset_name(ansi_code_page().id));
    if (!f) log_line(log, "fopen (%s) failed: %d\n", path, err);
    html.WriteStyle();
    std::string heading = "Assignments for Device " + html_escape(device);
    html.WriteText(heading.c_str(), TEXT_H3);
    if (lines.size() > 4) {
        std::vector<std::string> names;
        names.reserve(groups.size());
        for (const std::string& g : groups) names.push_back(html_escape(g));
        html.BeginTable();
        html.WriteTable(numbers, names, "Number", "Name");
    }
    std::vector<std::string> pkg_names, pkg_versions;
    build_package_columns(lines, pkg_names, pkg_versions);
    html.WriteText("Assigned Packages", TEXT_H4);
    html.BeginTable();
    html.WriteTable(pkg_names, pkg_versions, "Name", "Version");
    for (const std::string& note : notes) html.WriteText(html_escape(note).c_str(), TEXT_PARA);
    // A report cut short by a full disk is still the best there is, but the
    // log says so.
    if (f && !html.Close()) log_line(log, "fclose (%s) failed: %d\n", path, (int)GetLastError());
}

// The system error of reaching a folder, 0 when it is there.
static unsigned long folder_error(const char* folder)
{
    DWORD a = GetFileAttributesA(folder);
    if (a == INVALID_FILE_ATTRIBUTES) {
        DWORD e = GetLastError();
        return e ? e : ERROR_PATH_NOT_FOUND;
    }
    return (a & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_DIRECTORY;
}

// Reads a file of the share with read(); returns the system error that left
// part of it unread, 0 when it was read through or is not there
// (share_read_error). folder: a folder that was there before (null: none),
// so that "not found" with the folder gone means the share was lost.
// A file larger than the reader takes counts as unread.
template <class Read> static unsigned long read_share_file(const char* path, const char* folder, Read read)
{
    ScopedFile f(fopen(path, "rb"));
    unsigned long open_error = f ? 0 : (unsigned long)_doserrno;
    bool failed = false;
    if (f) {
        TextInfo info;
        read(f.get(), &info);
        if (info.cut) return ERROR_FILE_TOO_LARGE;
        failed = ferror(f.get()) != 0;
    }
    bool opened = (bool)f;
    f.reset();
    bool whole = opened && !failed;
    return share_read_error(opened, failed, open_error, whole || !folder ? 0 : folder_error(folder));
}

// Lines of a file whose names the code page cannot hold: logged with the
// file and the code page, and noted for the report. Their names reach the
// device list with NOT_HELD in place of what was lost, so they open and run
// nothing.
static void note_not_held(FILE* log, const char* path, const TextInfo& info, std::vector<std::string>& notes)
{
    if (!info.lost) return;
    std::string at = lost_lines_text(info);
    unsigned cp = ansi_code_page().id;
    log_line(log, "pkg_find (%s) line %s not in code page %u, failed: %d\n", path, at.c_str(), cp,
             (int)ERROR_NO_UNICODE_TRANSLATION);
    notes.push_back(std::string(path) + ": line " + at + " not in code page " + std::to_string(cp));
}

// Whether the caller is the installation service: a drive letter it maps
// runs as LocalSystem and is global, seen in every session, where a
// user's own mapping of that letter then fails (85). Known by the token,
// or by the program's name where every process has one user (Wine).
static bool in_service()
{
    char module[NX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    const char* base = n > 0 && n < sizeof module ? path_last_sep(ansi_code_page().id, module) : nullptr;
    if (base && _stricmp(base + 1, SVC_EXE_FILE) == 0) return true;
    // The process token's user never changes: asked once per process, as
    // a host calls pkg_find again and again.
    static const bool system = [] {
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
        ScopedHandle held(token);
        alignas(TOKEN_USER) char buf[128];
        DWORD size;
        return GetTokenInformation(token, TokenUser, buf, sizeof buf, &size) &&
               IsWellKnownSid(((TOKEN_USER*)buf)->User.Sid, WinLocalSystemSid);
    }();
    return system;
}

// The share connected without a drive letter for one call, with the
// configured account; without one the computer's account reaches it as it
// is. Cancelled when the call ends.
struct UncConnection {
    char remote[NX_PATH] = "";
    bool Connect(FILE* log, const char* root, const char* user, const char* password)
    {
        if (!user[0]) return true;
        char name[NX_PATH];
        copy_str(name, root);
        NETRESOURCEA nr = {};
        nr.dwType = RESOURCETYPE_DISK;
        nr.lpRemoteName = name;
        DWORD r = WNetAddConnection2A(&nr, password, user, 0);
        if (r != NO_ERROR) {
            log_line(log, "WNetAddConnection (%s) failed: %d\n", root, (int)r);
            return false;
        }
        copy_str(remote, root);
        log_line(log, "WNetAddConnection (%s) OK ...\n", root);
        return true;
    }
    ~UncConnection()
    {
        if (remote[0]) WNetCancelConnection2A(remote, 0, TRUE);
    }
};

// Forms the device key from "Computername" into key and leaves the name
// in name; without a usable name both stay empty and the key matches no
// line.
static void device_key(FILE* log, char (&name)[NX_PATH], char (&key)[NX_PATH])
{
    name[0] = key[0] = 0;
    DWORD n = GetEnvironmentVariableA("Computername", name, sizeof name);
    if (n >= sizeof name) {
        name[0] = 0;
        log_line(log, "GetEnvironmentVariable (Computername) failed: %d\n", (int)ERROR_INSUFFICIENT_BUFFER);
    } else if (n > 0 && make_device_key(key, sizeof key, name)) {
        log_line(log, "make_device_key (%s) failed: %d\n", name, (int)ERROR_INSUFFICIENT_BUFFER);
        name[0] = 0;
    }
}

// Whether an earlier call left a report.
static bool report_exists()
{
    char path[NX_PATH];
    get_file(path, (char*)SVC_REPORT_FILE);
    return (bool)ScopedFile(fopen(path, "r"));
}

// The share's root as this caller reads it, connected: from the service by
// its UNC path, else through the drive "ndrv" as the console sees it.
// Empty when none is configured; connected tells whether connecting worked.
static std::string connect_share(CNet& net, UncConnection& unc, FILE* log, const NCFG& ncfg, bool& connected)
{
    bool service = in_service();
    std::string root = service ? share_root(ansi_code_page().id, ncfg.uncp) : std::string(ncfg.ndrv);
    connected = false;
    if (root.empty()) return root;
    connected = service ? unc.Connect(log, root.c_str(), ncfg.user, ncfg.pswd)
                        : net.WNetAddConnection(ncfg.uncp, ncfg.ndrv, ncfg.user, ncfg.pswd) == 0;
    return root;
}

// What the share gives this device: its groups in file order and their
// numbers, the package lines, each group's led by its "<b>" marker, and
// notes on names the code page could not hold.
struct Assigned {
    std::vector<std::string> groups, numbers, lines, notes;
};

// The device's groups from the assignment file in cfg. A share lost on the
// way must not turn into an empty or partial list: 2 then, and the earlier
// list and report stay, as when the share cannot be connected. Unconnected,
// what the drive yields makes the first report.
static int read_assignment(FILE* log, const char* cfg, const char* key, bool connected,
                           std::vector<std::string>& assigned, std::vector<std::string>& notes)
{
    char path[NX_PATH];
    if (fmt_str(path, "%s\\" SHARE_ASSIGNMENT, cfg)) return 1;
    TextInfo read_info;
    auto read = [&](FILE* f, TextInfo* info) {
        read_assignments(f, key, assigned, info);
        read_info = *info;
    };
    if (unsigned long e = read_share_file(path, nullptr, read); e && connected) {
        log_line(log, "pkg_find (%s) failed: %d\n", path, (int)e);
        return 2;
    }
    note_not_held(log, path, read_info, notes);
    return 0;
}

// Each assigned group's file in cfg, its package lines after its marker.
// A group whose name the code page cannot hold has no file to open; it
// shows in the report as a group without packages. 2 when a group file,
// or the share itself, was lost on the way.
static int read_groups(FILE* log, const char* cfg, const std::vector<std::string>& assigned, Assigned& out)
{
    char path[NX_PATH];
    for (const std::string& g : assigned) {
        char marker[NX_PATH];
        if (fmt_str(marker, "<b>%s", g.c_str()) || fmt_str(path, "%s\\%s.ini", cfg, g.c_str())) {
            log_line(log, "read_group_lines (%s) failed: %d\n", g.c_str(), (int)ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        char number[16];
        fmt_str(number, "%04d", (int)out.groups.size());
        out.groups.push_back(g);
        out.numbers.push_back(number);
        out.lines.push_back(marker);
        if (has_not_held(g.c_str())) {
            unsigned cp = ansi_code_page().id;
            log_line(log, "pkg_find (%s) not in code page %u, failed: %d\n", path, cp,
                     (int)ERROR_NO_UNICODE_TRANSLATION);
            out.notes.push_back("Group " + g + ": name not in code page " + std::to_string(cp));
            continue;
        }
        // The assignment file was read from that folder.
        TextInfo read_info;
        if (unsigned long e = read_share_file(path, cfg, [&](FILE* f, TextInfo* info) {
                read_group_lines(f, out.lines, info);
                read_info = *info;
            })) {
            log_line(log, "pkg_find (%s) failed: %d\n", path, (int)e);
            return 2;
        }
        note_not_held(log, path, read_info, out.notes);
    }
    // A read cut short by a lost server can look like the end of the file;
    // the share must still be there once the last group file has been read.
    if (!out.groups.empty()) {
        if (unsigned long e = folder_error(cfg)) {
            log_line(log, "pkg_find (%s) failed: %d\n", cfg, (int)e);
            return 2;
        }
    }
    return 0;
}

// Replaces the device list in one step: the console or the service may
// read it at any time, and a failed write must leave the last list. 3 when
// it could not be replaced.
static int write_list(FILE* log, const std::vector<std::string>& lines)
{
    char path[NX_PATH];
    get_file(path, (char*)SVC_LIST_FILE);
    // The share seldom changes between two tasks: a list that already holds
    // these bytes, and is no link, stays as it is (its time too, which the
    // service takes for the console's save).
    std::string text = device_list_text(lines);
    if (plain_file_holds(path, text)) return 0;
    SafeFile out;
    if (!safe_open(out, path, "wb")) {
        log_line(log, "safe_open (%s) failed: %d\n", path, (int)GetLastError());
        return 3;
    }
    fwrite(text.data(), 1, text.size(), out.f);
    if (!safe_commit(out)) {
        log_line(log, "safe_commit (%s) failed: %d\n", path, (int)GetLastError());
        return 3;
    }
    return 0;
}

// The call up to its result; the caller releases the connection object and
// closes the log.
static int find_and_report(CNet& net, UncConnection& unc, FILE* log)
{
    char name[NX_PATH], key[NX_PATH];
    device_key(log, name, key);
    NCFG ncfg;
    memset(&ncfg, 0, sizeof ncfg);
    set_ncfg(&ncfg);
    if (int e = CReg().KeyError(SVC_ROOT, NX_KEY)) log_line(log, SVC_NO_KEY_LOG, NX_KEY, e);
    bool have_report = report_exists();

    bool connected;
    std::string root = connect_share(net, unc, log, ncfg, connected);
    if (root.empty()) return 1;
    // Without an earlier report go on, so that a first report is always written.
    if (!connected && have_report) return 2;

    char cfg[NX_PATH];
    if (fmt_str(cfg, "%s\\" SHARE_CFG, root.c_str())) return 1;
    Assigned found;
    std::vector<std::string> assigned;
    if (int r = read_assignment(log, cfg, key, connected, assigned, found.notes)) return r;
    if (int r = read_groups(log, cfg, assigned, found)) return r;

    write_report(log, name, found.groups, found.numbers, found.lines, found.notes);
    return found.lines.size() > 4 ? write_list(log, found.lines) : 0;
}

extern "C" int __cdecl pkg_find(void)
{
    ScopedFile log(open_log());
    int result;
    {
        CNet net(log.get());
        UncConnection unc;
        result = find_and_report(net, unc, log.get());
        if (result == 0) {
            log_line(log.get(), "pkg_find () OK ...\n");
            // The log closes first; the connection is then released silently.
            // Nothing is left to report a failed close to.
            net.mlogfile = nullptr;
            log.close();
        }
    }
    return result;
}
