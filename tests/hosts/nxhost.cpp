// Stand-in for the installation service: loads nxsvc.dll at run time, as
// the service does, calls pkg_find and exits with its result.
// Exit codes past the results: 100 library not loaded, 101 no export.
#include <windows.h>
#include <stdio.h>

typedef int(__cdecl* pkg_find_fn)(void);

int main()
{
    // The program's own folder is searched first.
    HMODULE lib = LoadLibraryA("nxsvc.dll");
    if (!lib) {
        printf("LoadLibrary (nxsvc.dll) failed: %lu\n", GetLastError());
        return 100;
    }
    pkg_find_fn pkg_find = (pkg_find_fn)GetProcAddress(lib, "pkg_find");
    if (!pkg_find) {
        printf("GetProcAddress (pkg_find) failed: %lu\n", GetLastError());
        FreeLibrary(lib);
        return 101;
    }
    int r = pkg_find();
    printf("pkg_find () = %d\n", r);
    FreeLibrary(lib);
    return r;
}
