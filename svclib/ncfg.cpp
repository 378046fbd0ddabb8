// set_ncfg and get_file: where the data files live and how the share is
// configured.
#include "ncfg.h"
#include "creg.h"
#include "policy.h"
#include "service_contract.h"
#include "strutil.h"
#include <windows.h>

static void read_setting(SvcSettingId id, char* field, size_t size)
{
    SvcRead r;
    svc_read_setting(id, &r);
    // A value missing, empty or not a string leaves the field as it was.
    // An over-long value is cut to the field; never written past it.
    if (r.text[0]) snprintf(field, size, "%s", r.text);
}

extern "C" int __cdecl set_ncfg(NCFG* ncfg)
{
    if (!ncfg) return 0;
    read_setting(SVC_SET_UNCP, ncfg->uncp, sizeof ncfg->uncp);
    read_setting(SVC_SET_USER, ncfg->user, sizeof ncfg->user);
    read_setting(SVC_SET_PSWD, ncfg->pswd, sizeof ncfg->pswd);
    read_setting(SVC_SET_NDRV, ncfg->ndrv, sizeof ncfg->ndrv);
    ncfg->conn = 0;
    ncfg->fail = 0;
    return 0;
}

// No data folder, or a path that would not fit: a name under a folder that
// cannot exist, so the caller's open fails. Never a cut path, which could
// name some other file.
static void no_data_folder(char* path, const char* name)
{
    if (snprintf(path, NX_PATH, "<no data folder>\\%s", name) >= NX_PATH) snprintf(path, NX_PATH, "<no data folder>");
}

static void in_folder(char* path, const char* folder, const char* name)
{
    if (snprintf(path, NX_PATH, "%s\\%s", folder, name) >= NX_PATH) no_data_folder(path, name);
}

extern "C" int __cdecl get_file(char* path, char* name)
{
    if (!path) return 0;
    if (!name) name = (char*)"";
    char folder[32768];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableA("PUBLIC", folder, sizeof folder);
    if (n > 0 && n < sizeof folder) {
        in_folder(path, folder, name);
        return 0;
    }
    if (n == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
        // Set but empty.
        in_folder(path, "", name);
        return 0;
    }
    CReg reg;
    const char* common = reg.ReadStr(SVC_ROOT, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                     "Common AppData");
    if (common)
        in_folder(path, common, name);
    else
        no_data_folder(path, name);
    return 0;
}
