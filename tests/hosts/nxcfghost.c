/* A caller compiled on its own, in C: loads nxsvc.dll at run time and calls
   set_ncfg and get_file by name, writing what they answer to a file. */
#include <windows.h>
#include <stddef.h>
#include <stdio.h>
#include "ncfg.h"

typedef int(__cdecl* set_ncfg_fn)(NCFG*);
typedef int(__cdecl* get_file_fn)(char*, char*);

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    HMODULE lib = LoadLibraryA("nxsvc.dll");
    if (!lib) return 100;
    set_ncfg_fn set_ncfg_p = (set_ncfg_fn)GetProcAddress(lib, "set_ncfg");
    get_file_fn get_file_p = (get_file_fn)GetProcAddress(lib, "get_file");
    if (!set_ncfg_p || !get_file_p) return 101;
    NCFG n;
    memset(&n, 0, sizeof n);
    n.conn = 7;
    n.fail = 7;
    int r1 = set_ncfg_p(&n);
    char path[NX_PATH] = "";
    int r2 = get_file_p(path, "nxsvc.ini");
    FILE* f = fopen(argv[1], "w");
    if (!f) return 3;
    fprintf(f, "%d|%s|%s|%s|%s|%d|%d|%d|%s|%u|%u\n", r1, n.uncp, n.user, n.pswd, n.ndrv, n.conn, n.fail, r2, path,
            (unsigned)offsetof(NCFG, ndrv), (unsigned)sizeof(NCFG));
    fclose(f);
    FreeLibrary(lib);
    return 0;
}
