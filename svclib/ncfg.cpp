// set_ncfg and get_file: where the data files live and how the share is
// configured.
#include "ncfg.h"
#include "creg.h"
#include "strutil.h"
#include <windows.h>

static void read_setting(CReg& reg, const char* name, char* field, size_t size)
{
    if (reg.ReadStr("HKLM", NX_KEY, name)) {
        // An over-long value is cut to the field; never written past it.
        snprintf(field, size, "%s", reg.ReadStr("HKLM", NX_KEY, name));
    }
}

extern "C" int __cdecl set_ncfg(NCFG* ncfg)
{
    if (!ncfg) return 0;
    CReg reg;
    read_setting(reg, "uncp", ncfg->uncp, sizeof ncfg->uncp);
    read_setting(reg, "user", ncfg->user, sizeof ncfg->user);
    read_setting(reg, "pswd", ncfg->pswd, sizeof ncfg->pswd);
    read_setting(reg, "ndrv", ncfg->ndrv, sizeof ncfg->ndrv);
    ncfg->conn = 0;
    ncfg->fail = 0;
    return 0;
}

extern "C" int __cdecl get_file(char* path, char* name)
{
    if (!path) return 0;
    if (!name) name = (char*)"";
    char folder[32768];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableA("PUBLIC", folder, sizeof folder);
    if (n > 0 && n < sizeof folder) {
        snprintf(path, NX_PATH, "%s\\%s", folder, name);
        return 0;
    }
    if (n == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
        // Set but empty.
        snprintf(path, NX_PATH, "\\%s", name);
        return 0;
    }
    CReg reg;
    const char* common = reg.ReadStr("HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                     "Common AppData");
    if (common)
        snprintf(path, NX_PATH, "%s\\%s", common, name);
    else
        // No data folder at all: a name under a folder that cannot exist,
        // so the caller's open fails.
        snprintf(path, NX_PATH, "<no data folder>\\%s", name);
    return 0;
}
