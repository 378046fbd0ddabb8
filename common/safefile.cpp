#include "safefile.h"
#include "strutil.h"
#include <windows.h>

// Whether an existing file may be written now: opened for writing the way
// the runtime's fopen would, without changing it. A missing file may be.
static bool writable(const char* path)
{
    // Asked first: where the platform lets an administrator open read-only
    // files for writing, the file must still stay as it is.
    DWORD attrs = GetFileAttributesA(path);
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND;
}

bool safe_open(SafeFile& sf, const char* path, const char* mode)
{
    sf.f = nullptr;
    sf.temp[0] = 0;
    if (!path || !path[0] || copy_str(sf.path, path)) return false;
    if (!writable(path)) return false;
    char dir[NX_PATH];
    copy_str(dir, path);
    char* slash = strrchr(dir, '\\');
    if (slash)
        slash[1] = 0;
    else
        copy_str(dir, ".\\");
    if (GetTempFileNameA(dir, "nxs", 0, sf.temp)) {
        sf.f = fopen(sf.temp, mode);
        if (sf.f) return true;
        DeleteFileA(sf.temp);
    }
    sf.temp[0] = 0;
    sf.f = fopen(path, mode);
    return sf.f != nullptr;
}

bool safe_commit(SafeFile& sf)
{
    if (!sf.f) return false;
    bool ok = ferror(sf.f) == 0;
    if (fclose(sf.f) != 0) ok = false;
    sf.f = nullptr;
    if (!sf.temp[0]) return ok;
    DWORD err = ERROR_WRITE_FAULT;
    if (ok) {
        ok = MoveFileExA(sf.temp, sf.path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok) err = GetLastError();
    }
    if (!ok) {
        DeleteFileA(sf.temp);
        SetLastError(err);
    }
    sf.temp[0] = 0;
    return ok;
}
