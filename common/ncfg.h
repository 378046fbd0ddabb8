// Share settings record and the exports of nxsvc.dll. A caller compiled
// separately must see the same layout, hence the offset checks below.
#pragma once
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Paths, field texts and registry texts cross in caller-owned buffers of
// this size: 259 characters and the terminating zero.
enum { NX_PATH = 260 };

typedef struct NCFG {
    char uncp[NX_PATH];  // UNC path of the package share
    char user[NX_PATH];  // empty: connect with the caller's credentials
    char pswd[NX_PATH];
    char ndrv[4];    // drive name, a letter and a colon
    int conn;        // 1 once the share was connected for this record's owner
    int fail;        // 1 after the owner's connection attempt failed
} NCFG;

#if defined(NXSVC_BUILD)
#define NXSVC_API __declspec(dllexport)
#elif defined(_WIN32)
#define NXSVC_API __declspec(dllimport)
#else
#define NXSVC_API
#define __cdecl  // native builds of the rules see the declarations only
#endif

NXSVC_API int __cdecl get_file(char* path, char* name);
NXSVC_API int __cdecl set_ncfg(NCFG* ncfg);
NXSVC_API int __cdecl pkg_find(void);

#ifdef __cplusplus
}
#endif

#define NX_KEY      "Software\\Veltrane\\NxSvc"
#define NX_KEY_PKGS "Software\\Veltrane\\NxSvc\\Packages"

#ifdef __cplusplus
static_assert(offsetof(NCFG, uncp) == 0, "NCFG layout");
static_assert(offsetof(NCFG, user) == 260, "NCFG layout");
static_assert(offsetof(NCFG, pswd) == 520, "NCFG layout");
static_assert(offsetof(NCFG, ndrv) == 780, "NCFG layout");
static_assert(offsetof(NCFG, conn) == 784, "NCFG layout");
static_assert(offsetof(NCFG, fail) == 788, "NCFG layout");
static_assert(sizeof(NCFG) == 792, "NCFG layout");
#endif
