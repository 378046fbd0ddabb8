// Everything the console and the library share with the installation
// service NXSvc (service/): the registry values it reads and writes and the
// data files it uses. Code that touches one of these places names it from
// here.
#pragma once
#include "ncfg.h"  // NX_KEY, NX_KEY_PKGS

// Root text for CReg.
#define SVC_ROOT "HKLM"

// Settings the service reads from NX_KEY, in the order the console shows,
// edits and writes them; code names a setting by its SvcSettingId.
enum SvcSettingId {
    SVC_SET_UNCP, SVC_SET_NDRV, SVC_SET_USER, SVC_SET_PSWD, SVC_SET_STOP,
    SVC_SET_TMAX, SVC_SET_TMSG, SVC_SET_TSVC, SVC_SET_TWRB, SVC_SET_SELF,
    SVC_SET_MWIN, SVC_SET_TDEF, SVC_SET_SIGN, SVC_SETTINGS
};
enum SvcType { SVC_STR, SVC_DWORD };
struct SvcSetting {
    const char* value;  // registry value name
    SvcType type;       // strings are written as REG_SZ, numbers as REG_DWORD
    // What a Group Policy value may hold (svc_policy_pick): a number from
    // min to max, a text of at most max characters; max 0: any number, a
    // text of up to 259 characters.
    unsigned long min = 0, max = 0;
    // A number's default: what the service takes when it is absent or
    // unusable, and what the settings template (scripts/release/nxsvc.reg,
    // checked by scripts/check-admx.sh) writes.
    unsigned long number = 0;
};
static constexpr SvcSetting svc_settings[SVC_SETTINGS] = {
    {"uncp", SVC_STR},         {"ndrv", SVC_STR, 2, 3},   {"user", SVC_STR},         {"pswd", SVC_STR},
    {"stop", SVC_DWORD, 0, 1, 0}, {"tmax", SVC_DWORD, 1, 604800, 600}, {"tmsg", SVC_DWORD, 1, 604800, 10},
    {"tsvc", SVC_DWORD, 1, 604800, 60}, {"twrb", SVC_DWORD, 1, 604800, 120}, {"self", SVC_DWORD, 0, 1, 1},
    {"mwin", SVC_STR, 0, 11},  {"tdef", SVC_DWORD, 0, 720, 0},
    {"sign", SVC_STR},
};
// The registry value name of a setting.
inline const char* svc_value(SvcSettingId id) { return svc_settings[id].value; }

// "self", self-service: 1 users may add any package of the share to their
// list; 0 they may only deselect, exclude or reorder what is assigned to
// the device (the console offers no search, the service runs nothing a
// user added). Absent: 1, as before the setting existed.
enum { SVC_SELF_ASSIGNED = 0, SVC_SELF_ANY = 1, SVC_REG_DWORD = 4 };
static_assert(svc_settings[SVC_SET_SELF].number == SVC_SELF_ANY, "self: absent is 1");
// The value to act on from the raw read: type the registry type (-1 when
// the value is absent), value its DWORD. Any other type or value counts as
// 1, and *odd then names why, for one log line (SVC_SELF_ODD_LOG);
// otherwise *odd is null.
inline int svc_self(long type, unsigned long value, const char** odd)
{
    *odd = nullptr;
    if (type == -1) return SVC_SELF_ANY;
    if (type != SVC_REG_DWORD)
        *odd = "not a REG_DWORD";
    else if (value > 1)
        *odd = "neither 0 nor 1";
    return *odd ? SVC_SELF_ANY : (int)value;
}
#define SVC_SELF_ODD_LOG "Settings (self) %s, taken as 1 ...\n"
// Logged when NX_KEY cannot be opened at all. The 32-bit programs see, on
// 64-bit Windows, the key that 64-bit tools show under WOW6432Node; the
// 64-bit package's programs see the 64-bit view.
#ifdef _WIN64
#define SVC_NO_KEY_LOG "RegOpenKeyEx (HKLM\\%s, 64-bit view) failed: %d\n"
#else
#define SVC_NO_KEY_LOG "RegOpenKeyEx (HKLM\\%s, 32-bit view) failed: %d\n"
#endif

// The package the service is working on: string values of NX_KEY_PKGS.
#define SVC_NOW_COMP "comp"
#define SVC_NOW_NAME "name"
#define SVC_NOW_VERS "vers"
#define SVC_NOW_INFO "info"  // progress text, shown as that package's status

// Install results: key SVC_RESULT_KEY formed from NX_KEY_PKGS, the
// manufacturer and the package name (no escaping: a "\\" in either names a
// deeper key).
#define SVC_RESULT_KEY "%s\\%s\\%s"
#define SVC_RES_VERS "vers"  // string: the version installed
#define SVC_RES_CODE "code"  // DWORD: result of the installation
#define SVC_RES_TIME "time"  // string: when; shown as the package's status

// Result codes that mean installed: success, success with a restart the
// package started itself, success with a restart required.
enum { SVC_CODE_SUCCESS = 0, SVC_CODE_RESTART_STARTED = 1641, SVC_CODE_RESTART_NEEDED = 3010 };
inline bool svc_code_installed(long long code)
{
    return code == SVC_CODE_SUCCESS || code == SVC_CODE_RESTART_STARTED || code == SVC_CODE_RESTART_NEEDED;
}

// Data files in the machine-wide data folder (get_file).
#define SVC_LIST_FILE "nxsvc.ini"    // the device package list the service installs
#define SVC_REPORT_FILE "nxsvc.htm"  // the assignment report pkg_find writes

// The installation service itself: its name with the service control
// manager, its files beside it, and what it keeps beside the contract.
#define SVC_NAME "NXSvc"
#define SVC_DISPLAY_NAME "NXSvc Installation Service"
#define SVC_DESCRIPTION "Installs the packages of this device's package list from the package share."
#define SVC_LIB_FILE "nxsvc.dll"      // loaded from the service's own folder
#define SVC_CONSOLE_FILE "nxwin.exe"  // started from there after new installs
#define SVC_LOG_FILE "nxsvc.log"      // beside nxdll.log
// The library's log, beside the host program (else in "TEMP"), and the
// one of the call before.
#define NX_DLL_LOG_FILE "nxdll.log"
#define NX_DLL_OLD_FILE "nxdll.old"
// The service's program: pkg_find called from it maps no drive letter.
#define SVC_EXE_FILE "nxsvc.exe"
#define SVC_LOG_OLD "nxsvc.old"       // the log before the last one
// Failure actions: restart after a minute; the failures count anew after a day.
enum { SVC_RESTART_DELAY_MS = 60000, SVC_FAILURE_RESET_S = 24 * 3600 };
// Beside "vers", "time" and "code" of a result: the script's exit code, or
// the system error that kept it from running or ended it, so a failure,
// which carries no "code", still tells why.
#define SVC_RES_EXIT "exit"
// String value of NX_KEY_PKGS: the last-write time of the device package
// list when the service last took it (after pkg_find or after installing
// it). A list that differs was saved by the console since.
#define SVC_LIST_SEEN "seen"
// Failures that repeat (DWORDs beside "vers" of a result): attempts in a
// row that failed, and the tasks the package still waits before the next.
// Both go when it succeeds or its version changes.
#define SVC_RES_TRIES "tries"
#define SVC_RES_WAIT "wait"
// Bounds of a device package list the service reads: far above any real
// list (a few hundred sections of about 150 bytes), low enough that a list
// at the bound costs about a megabyte in the 32-bit service.
enum { SVC_LIST_BYTES = 1024 * 1024, SVC_LIST_SECTIONS = 1000 };
// String value of NX_KEY_PKGS while a restart that packages need has not
// happened: "<requested> <accepted>", seconds since 1601 (UTC), accepted 0
// until the platform takes the request. No package runs while it is there.
#define SVC_RESTART_PENDING "boot"
// String value of NX_KEY_PKGS while a package waits because the Windows
// Installer was busy with another install: that package's script path. The
// next task tries it again.
#define SVC_WAITING "busy"
// "mwin", the maintenance window "HH:MM-HH:MM" (local time; empty: any
// time): outside it a task builds the list and writes the status file but
// runs no script. "tdef": hours a restart packages need may be put off by
// the users (0: restarted after "twrb" as before). While one is put off,
// string values of NX_KEY_PKGS: SVC_RESTART_DEFER "<deadline> <next ask>
// <clock seen>" in seconds since 1601 (UTC), and SVC_RESTART_BY the
// deadline as local time "YYYY-MM-DD hh:mm:ss", which the console shows.
// Both go with SVC_RESTART_PENDING once the system has started again.
#define SVC_RESTART_DEFER "dfer"
#define SVC_RESTART_BY "rdue"
// "sign": SHA-1 thumbprints of the certificates whose signature on the
// share's manifest the service accepts, ";" between them. Empty or absent:
// the share is unsigned. The highest manifest sequence accepted is kept
// beside it (REG_SZ, decimal); the cache of approved copies lives beside
// the program.
#define SVC_SIGN_SEQUENCE "sseq"
#define SVC_SIGN_CACHE "pkgcache"
