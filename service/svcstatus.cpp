// The device's status on the share, written after every task: the task's
// counts and each package of the device list with its state, and the code
// and time its install result holds. Replaced in one step, so a reader
// never sees half.
#include "svc.h"
#include "creg.h"
#include "log.h"
#include "svcrules.h"
#include "safefile.h"
#include "scoped.h"
#include "service_contract.h"
#include "status.h"
#include "sharelayout.h"
#include "textenc.h"
#include "version.h"
#include <ctype.h>
#include <process.h>
#include <stdio.h>

namespace {

// The device name as a file name: letters, digits, "-", "_" and "." only,
// as computer names are; anything else could name a file elsewhere.
bool device_file_name(const char* name)
{
    size_t n = strlen(name);
    if (n == 0 || n > 63 || name[0] == '.') return false;
    for (const char* p = name; *p; p++)
        if (!isalnum((unsigned char)*p) && *p != '-' && *p != '_' && *p != '.') return false;
    return true;
}

// Code, time and the next try of a failure from the package's install
// result, when one of the listed version is recorded. A refused package has none: its code is the
// refusal's.
void fill_package(CReg& reg, StatusPackage& p)
{
    if (p.state == PKG_REFUSED && p.code != STATUS_NOT_SIGNED) p.code = SVC_ERR_REJECTED;
    char key[NX_PATH];
    if (fmt_str(key, SVC_RESULT_KEY, NX_KEY_PKGS, p.comp.c_str(), p.name.c_str())) return;
    const char* vers = reg.ReadStr(SVC_ROOT, key, SVC_RES_VERS);
    if (!vers || p.vers != vers || p.state == PKG_REFUSED) return;
    if (const char* t = reg.ReadStr(SVC_ROOT, key, SVC_RES_TIME)) p.time = t;
    int code = reg.ReadNum(SVC_ROOT, key, SVC_RES_CODE);
    int exit = reg.ReadNum(SVC_ROOT, key, SVC_RES_EXIT);
    if (svc_code_installed(code))
        p.code = code;
    else
        p.code = exit == -1 ? -1 : (long long)(unsigned)exit;  // -1: none recorded
    // "wait" counts the tasks the package still sits out, so its next try
    // is the task after them.
    int wait = reg.ReadNum(SVC_ROOT, key, SVC_RES_WAIT);
    if (p.state == PKG_FAILED && wait >= 0) p.next = wait + 1;
}

}  // namespace

static void write_now(const NCFG& ncfg, DeviceStatus& s);

namespace {
// A write started after a stop: its own copies, freed by whichever side
// lets go last.
struct LateWrite {
    NCFG ncfg;
    DeviceStatus s;
    LONG refs = 2;
    void release()
    {
        if (InterlockedDecrement(&refs) == 0) delete this;
    }
};
unsigned __stdcall late_write(void* arg)
{
    LateWrite* w = (LateWrite*)arg;
    write_now(w->ncfg, w->s);
    w->release();
    return 0;
}
}  // namespace

// After a stop the service has seconds (at shutdown about 20 in all), and a
// share that does not answer would take them: the file is written within
// SVC_STOP_WRITE_MS or left for the next task.
void svc_write_status(const NCFG& ncfg, DeviceStatus& s)
{
    if (!svc_stopping()) {
        write_now(ncfg, s);
        return;
    }
    LateWrite* w = new LateWrite;
    w->ncfg = ncfg;
    w->s = s;
    ScopedHandle t((HANDLE)_beginthreadex(nullptr, 0, late_write, w, 0, nullptr));
    if (!t) {
        delete w;
        svc_log("Status () failed: %lu; left for the next task\n", GetLastError());
        return;
    }
    if (WaitForSingleObject(t.get(), SVC_STOP_WRITE_MS) != WAIT_OBJECT_0)
        svc_log("Status () MSG ... not written within %d s of the stop; left for the next task\n",
                SVC_STOP_WRITE_MS / 1000);
    t.reset();
    w->release();
}

static void write_now(const NCFG& ncfg, DeviceStatus& s)
{
    char device[NX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("Computername", device, sizeof device);
    if (n == 0 || n >= sizeof device || !device_file_name(device)) {
        svc_log("Status (%s) not a usable device name, failed: %d\n",
                SvcShown<NX_PATH * 4>(n < sizeof device ? device : "").text, (int)ERROR_INVALID_NAME);
        return;
    }
    s.device = device;
    s.time = time_stamp();
    s.vers = NX_VERSION_TEXT;
    CReg reg;
    for (StatusPackage& p : s.packages) fill_package(reg, p);

    // Reached as the scripts are: by the share's UNC path, connected with
    // the configured account, no drive letter.
    char share[NX_PATH], folder[NX_PATH], path[NX_PATH];
    copy_str(share, share_root(ansi_code_page().id, ncfg.uncp).c_str());
    if (!share[0] || fmt_str(folder, "%s\\" SHARE_STATUS, share) ||
        fmt_str(path, "%s\\%s.ini", folder, device)) {
        svc_log("Status (%s) not a share, failed: %d\n", ncfg.uncp, (int)ERROR_BAD_PATHNAME);
        return;
    }
    SvcShare connected(ncfg);
    if (connected.error) {
        svc_log("Status (%s) not written: the share refused the account, failed: %lu\n", path, connected.error);
        return;
    }
    DWORD a = GetFileAttributesA(folder);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        DWORD e = a == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
        svc_log("Status (%s) failed: %lu\n", folder, e);
        return;
    }
    status_fit(s);
    if (s.left) svc_log("Status (%s) %d packages left out, so the file fits its reader\n", path, s.left);
    SafeFile out;
    if (!safe_open(out, path, "wt")) {
        svc_log("Status (%s) failed: %lu\n", path, GetLastError());
        return;
    }
    write_status(out.f, s);
    if (!safe_commit(out)) {
        svc_log("Status (%s) failed: %lu\n", path, GetLastError());
        return;
    }
    svc_log("Status (%s) OK ... %d packages\n", path, (int)s.packages.size());
}
