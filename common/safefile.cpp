#include "safefile.h"
#include "strutil.h"
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

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
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND;
}

// A name that is a reparse point or one of several hard links of a file.
static bool linked(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1;
}

// True when path names a link (symbolic, junction or hard); false when it
// is a plain file or missing.
static bool is_link(const char* path)
{
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool r = GetFileInformationByHandle(h, &info) && linked(info);
    CloseHandle(h);
    return r;
}

// The stream over a handle opened without following links.
static FILE* open_handle(const char* path, const char* mode, DWORD disposition, DWORD share)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    // Windows always knows the flag; a platform without reparse points may
    // refuse it, and then has no links of that kind to follow.
    if (h == INVALID_HANDLE_VALUE && (GetLastError() == ERROR_INVALID_PARAMETER || GetLastError() == ERROR_NOT_SUPPORTED))
        h = CreateFileA(path, GENERIC_WRITE, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || linked(info)) {
        CloseHandle(h);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    bool append = mode[0] == 'a';
    if (append ? SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER : !SetEndOfFile(h)) {
        CloseHandle(h);
        return nullptr;
    }
    int fd = _open_osfhandle((intptr_t)h, (append ? _O_APPEND : 0) | (strchr(mode, 'b') ? _O_BINARY : _O_TEXT));
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* f = _fdopen(fd, mode);
    if (!f) _close(fd);
    return f;
}

FILE* open_unlinked(const char* path, const char* mode)
{
    return open_handle(path, mode, OPEN_ALWAYS, FILE_SHARE_READ);
}

bool safe_open(SafeFile& sf, const char* path, const char* mode)
{
    sf.f = nullptr;
    sf.temp[0] = 0;
    if (!path || !path[0] || copy_str(sf.path, path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!writable(path)) return false;
    // One name per file: a temporary file that a crash left is simply
    // overwritten and put in place by the next save. Opened for this save
    // alone, so two saves of one file never mix their texts.
    // Whatever holds the temporary name goes first (a link there is removed,
    // not followed), and the file is made new.
    if (!fmt_str(sf.temp, "%s.tmp", path)) {
        if (!DeleteFileA(sf.temp) && GetLastError() == ERROR_SHARING_VIOLATION) {
            sf.temp[0] = 0;
            return false;
        }
        sf.f = open_handle(sf.temp, mode, CREATE_NEW, 0);
        if (sf.f) return true;
        if (GetLastError() == ERROR_SHARING_VIOLATION) {
            sf.temp[0] = 0;
            return false;
        }
    }
    sf.temp[0] = 0;
    sf.f = open_handle(path, mode, OPEN_ALWAYS, FILE_SHARE_READ | FILE_SHARE_WRITE);
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
        // An existing file is replaced so that it keeps its security,
        // attributes and owner (an administrator may have let users write
        // it); a new one is moved in.
        // A link in its place is not replaced through but removed, so the
        // new file takes its name.
        if (is_link(sf.path)) DeleteFileA(sf.path);
        DWORD attrs = GetFileAttributesA(sf.path);
        ok = attrs != INVALID_FILE_ATTRIBUTES &&
             ReplaceFileA(sf.path, sf.temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        if (!ok) err = GetLastError();
        // Where ReplaceFileA does not carry the attributes over (Wine's
        // does not), they are put back.
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (ok && (GetFileAttributesA(sf.path) & kept) != (attrs & kept))
            SetFileAttributesA(sf.path, (attrs & kept) ? (attrs & kept) : FILE_ATTRIBUTE_NORMAL);
        // Gone meanwhile, or never there.
        if (!ok && GetFileAttributesA(sf.path) == INVALID_FILE_ATTRIBUTES) {
            ok = MoveFileExA(sf.temp, sf.path, MOVEFILE_WRITE_THROUGH) != 0;
            if (!ok) err = GetLastError();
        }
    }
    if (!ok) {
        DeleteFileA(sf.temp);
        SetLastError(err);
    }
    sf.temp[0] = 0;
    return ok;
}
