#include "safefile.h"
#include "strutil.h"
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <utility>

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
    ScopedHandle h(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h) return true;
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND;
}

// The open file's attributes and whether it is a reparse point or one of
// several hard links; false when they cannot be told. Asked by the two
// information classes that hold them (FILE_BASIC_INFO, FILE_STANDARD_INFO;
// learn.microsoft.com, ZwQueryInformationFile: the basic class needs a
// handle opened with FILE_READ_ATTRIBUTES, the standard one no particular
// access): GetFileInformationByHandle also fetches the volume's serial
// number, which Wine asks of its mount manager in another process, half a
// millisecond a call.
static bool link_facts(HANDLE h, DWORD* attrs, bool* linked)
{
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard))
        return false;
    *attrs = basic.FileAttributes;
    *linked = (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || standard.NumberOfLinks > 1;
    return true;
}

// The stream over a handle opened without following links.
static FILE* open_handle(const char* path, const char* mode, DWORD disposition, DWORD share)
{
    const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
    ScopedHandle h(CreateFileA(path, access, share, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // Windows always knows the flag; a platform without reparse points may
    // refuse it, and then has no links of that kind to follow.
    if (!h && (GetLastError() == ERROR_INVALID_PARAMETER || GetLastError() == ERROR_NOT_SUPPORTED))
        h.reset(CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return nullptr;
    DWORD attrs;
    bool linked;
    if (!link_facts(h.get(), &attrs, &linked) || linked) {
        h.reset();
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    bool append = mode[0] == 'a';
    if (append ? SetFilePointer(h.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER : !SetEndOfFile(h.get()))
        return nullptr;
    int fd = _open_osfhandle((intptr_t)h.get(), (append ? _O_APPEND : 0) | (strchr(mode, 'b') ? _O_BINARY : _O_TEXT));
    if (fd < 0) return nullptr;
    h.release();  // the descriptor owns it now
    FILE* f = _fdopen(fd, mode);
    if (!f) _close(fd);
    return f;
}

bool plain_file_holds(const char* path, const std::string& bytes)
{
    ScopedHandle h(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD attrs;
    bool linked;
    LARGE_INTEGER size;
    if (!h || !link_facts(h.get(), &attrs, &linked) || linked || (attrs & FILE_ATTRIBUTE_DIRECTORY) ||
        !GetFileSizeEx(h.get(), &size) || (unsigned long long)size.QuadPart != bytes.size())
        return false;
    std::string have(bytes.size(), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(h.get(), &have[0], (DWORD)have.size(), &got, nullptr) || got != have.size()))
        return false;
    return have == bytes;
}

FILE* open_unlinked(const char* path, const char* mode)
{
    return open_handle(path, mode, OPEN_ALWAYS, FILE_SHARE_READ);
}

// The temporary file: created new, shared with nobody, its handle kept
// (delete and security rights for the rename) and a stream over a copy.
static FILE* open_temp(SafeFile& sf, const char* mode)
{
    ScopedHandle h(CreateFileA(sf.temp, GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) return nullptr;
    ScopedHandle dup;
    int fd = -1;
    if (DuplicateHandle(GetCurrentProcess(), h.get(), GetCurrentProcess(), dup.put(), GENERIC_WRITE, FALSE, 0))
        fd = _open_osfhandle((intptr_t)dup.get(), strchr(mode, 'b') ? _O_BINARY : _O_TEXT);
    if (fd >= 0) dup.release();  // the descriptor owns it now
    FILE* f = fd >= 0 ? _fdopen(fd, mode) : nullptr;
    if (!f) {
        DWORD e = GetLastError();
        if (fd >= 0) _close(fd);
        dup.reset();
        h.reset();
        SetLastError(e ? e : ERROR_OPEN_FAILED);
        return nullptr;
    }
    sf.hold = std::move(h);
    return f;
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
        sf.f = open_temp(sf, mode);
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

SafeFile::~SafeFile()
{
    ScopedFile(f).reset();  // the stream first, then its file
    if (hold) {
        // Deleted through its own handle: never another file of that name.
        FILE_DISPOSITION_INFO d = {TRUE};
        if (!SetFileInformationByHandle(hold.get(), FileDispositionInfo, &d, sizeof d)) DeleteFileA(temp);
        hold.reset();
    }
}

// The old file's access list onto the new one, when the old is a plain
// file (not a link, whose list is not the writer's to copy); its file
// attributes are returned. INVALID_FILE_ATTRIBUTES: no old file.
static DWORD carry_security(const char* path, HANDLE to)
{
    ScopedHandle old(CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!old) return INVALID_FILE_ATTRIBUTES;
    DWORD attrs = INVALID_FILE_ATTRIBUTES, found;
    bool linked;
    if (link_facts(old.get(), &found, &linked) && !linked) {
        attrs = found;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (GetSecurityInfo(old.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd) ==
                ERROR_SUCCESS &&
            dacl && GetSecurityDescriptorControl(sd, &control, &revision)) {
            SECURITY_INFORMATION which = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                                          ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                          : UNPROTECTED_DACL_SECURITY_INFORMATION);
            SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
        }
        if (sd) LocalFree(sd);
    }
    return attrs;
}

// Renames the held file over path's name (a link there is replaced, not
// followed): by its handle, else by name. The platform reads the new name
// as a path of its own (a bare name would be taken from the current
// folder), so it gets the full one.
static bool rename_over(SafeFile& sf)
{
    wchar_t wpath[NX_PATH], full[NX_PATH];
    int wn = MultiByteToWideChar(CP_ACP, 0, sf.path, -1, wpath, NX_PATH);
    DWORD fn = wn > 1 ? GetFullPathNameW(wpath, NX_PATH, full, nullptr) : 0;
    if (fn > 0 && fn < NX_PATH) {
        alignas(FILE_RENAME_INFO) char buf[sizeof(FILE_RENAME_INFO) + sizeof full];
        FILE_RENAME_INFO* ri = (FILE_RENAME_INFO*)buf;
        memset(buf, 0, sizeof buf);
        ri->ReplaceIfExists = TRUE;
        ri->FileNameLength = (DWORD)(fn * sizeof(wchar_t));
        memcpy(ri->FileName, full, (fn + 1) * sizeof(wchar_t));
        if (SetFileInformationByHandle(sf.hold.get(), FileRenameInfo, ri, sizeof buf)) return true;
    }
    // Where the platform does not rename by handle: by name, which replaces
    // a link rather than following it.
    sf.hold.reset();
    return MoveFileExA(sf.temp, sf.path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool safe_commit(SafeFile& sf)
{
    if (!sf.f) return false;
    ScopedFile stream(sf.f);
    sf.f = nullptr;
    bool ok = ferror(stream.get()) == 0;
    // A write the stream still buffered can fail at the close only.
    if (!stream.close()) ok = false;
    if (!sf.temp[0]) return ok;
    DWORD err = ERROR_WRITE_FAULT;
    if (ok) {
        // An existing file keeps its security and attributes (an
        // administrator may have let users write it); a new one, or one
        // that was a link, takes the folder's.
        DWORD attrs = carry_security(sf.path, sf.hold.get());
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & kept)) {
            FILE_BASIC_INFO bi = {};
            bi.FileAttributes = (attrs & kept) | FILE_ATTRIBUTE_ARCHIVE;
            SetFileInformationByHandle(sf.hold.get(), FileBasicInfo, &bi, sizeof bi);
        }
        FlushFileBuffers(sf.hold.get());
        ok = rename_over(sf);
        if (!ok) err = GetLastError();
    }
    if (sf.hold) {
        if (!ok) {
            FILE_DISPOSITION_INFO d = {TRUE};
            SetFileInformationByHandle(sf.hold.get(), FileDispositionInfo, &d, sizeof d);
        }
        sf.hold.reset();
    } else if (!ok) {
        DeleteFileA(sf.temp);
    }
    if (!ok) SetLastError(err);
    sf.temp[0] = 0;
    return ok;
}
