// The device's status on the share, written after every task: the task's
// counts and, for each package of the device list, what the install results
// in the registry say. Replaced in one step, so a reader never sees half.
#include "svc.h"
#include "cnet.h"
#include "creg.h"
#include "listfile.h"
#include "log.h"
#include "resource.h"
#include "rules.h"
#include "safefile.h"
#include "service_contract.h"
#include "status.h"
#include <ctype.h>
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

// A package's state from its install result; a result of another version
// says nothing about the listed one.
void fill_package(CReg& reg, StatusPackage& p)
{
    char key[NX_PATH];
    if (fmt_str(key, SVC_RESULT_KEY, NX_KEY_PKGS, p.comp.c_str(), p.name.c_str())) return;
    const char* vers = reg.ReadStr(SVC_ROOT, key, SVC_RES_VERS);
    if (!vers || p.vers != vers) return;  // skipped: not run for this version yet
    int code = reg.ReadNum(SVC_ROOT, key, SVC_RES_CODE);
    int exit = reg.ReadNum(SVC_ROOT, key, SVC_RES_EXIT);
    if (const char* t = reg.ReadStr(SVC_ROOT, key, SVC_RES_TIME)) p.time = t;
    p.runs = 1;
    if (svc_code_installed(code)) {
        p.state = PKG_INSTALLED;
        p.code = code;
    } else {
        p.state = exit == SVC_ERR_REJECTED ? PKG_REFUSED : PKG_FAILED;
        p.code = exit == -1 ? -1 : (long long)(unsigned)exit;  // -1: none recorded
    }
}

}  // namespace

void svc_write_status(const NCFG& ncfg, const char* list_path, const SvcCounts& counts)
{
    DeviceStatus s;
    char device[NX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("Computername", device, sizeof device);
    if (n == 0 || n >= sizeof device || !device_file_name(device)) {
        svc_log("Status (%s) not a usable device name, failed: %d\n", n < sizeof device ? device : "",
                (int)ERROR_INVALID_NAME);
        return;
    }
    s.device = device;
    s.time = time_stamp();
    s.vers = NX_VERSION_TEXT;
    s.installed = counts.installed;
    s.failed = counts.failed;
    s.skipped = counts.skipped;
    s.waiting = counts.waiting;
    s.restart = counts.restart;

    CReg reg;
    if (FILE* f = fopen(list_path, "r")) {
        for_each_record(f, [&](const ListReader& rd) {
            if (s.packages.size() >= STATUS_MAX_PACKAGES) return;
            StatusPackage p;
            p.comp = rd.comp;
            p.name = rd.name;
            p.vers = rd.vers;
            p.path = rd.path;
            fill_package(reg, p);
            s.packages.push_back(p);
        });
        fclose(f);
    }

    // Reached as the scripts are: through the share's drive.
    CNet net(nullptr);
    if (ncfg.ndrv[0] && ncfg.uncp[0] && net.WNetAddConnection(ncfg.uncp, ncfg.ndrv, ncfg.user, ncfg.pswd) != 0) {
        svc_log("Status (%s) WNetAddConnection failed: %lu\n", ncfg.ndrv, GetLastError());
        return;
    }
    char folder[NX_PATH], path[NX_PATH];
    if (!ncfg.ndrv[0] || fmt_str(folder, "%s\\" SVC_STATUS_FOLDER, ncfg.ndrv) ||
        fmt_str(path, "%s\\%s.ini", folder, device)) {
        svc_log("Status () no share drive, failed: %d\n", (int)ERROR_BAD_PATHNAME);
        return;
    }
    DWORD a = GetFileAttributesA(folder);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        DWORD e = a == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
        svc_log("Status (%s) failed: %lu\n", folder, e);
        return;
    }
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
