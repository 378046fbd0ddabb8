// Recursive file search by name and/or content with a depth limit.
#include "search.h"
#include "scoped.h"
#include "strutil.h"
#include "textenc.h"
#include <stdio.h>
#include <string.h>
#include <new>

CDir minvdir;

CDir::~CDir() { clear_list(); }

void CDir::clear_list()
{
    for (WIN32_FIND_DATAA* rec : mfound) delete rec;
    mfound.clear();
    mdepth = 0;
    mfail = 0;
    mfailpath[0] = 0;
    mstop = false;
    mtoperror = 0;
}

bool name_matches(const char* entry, const char* name)
{
    if (strstr(entry, name)) return true;
    // Equality folding only the letters A to Z, whatever the locale.
    for (;; ++entry, ++name) {
        char a = *entry, b = *name;
        if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
        if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
        if (a != b) return false;
        if (!a) return true;
    }
}

// Whether some piece of the file (a line, or up to 259 characters of a
// longer one) holds the text. A file that cannot be opened has none.
static bool content_matches(const wchar_t* path, const char* content)
{
    ScopedFile f(_wfopen(path, L"rt"));
    if (!f) return false;
    char line[NX_PATH];
    bool hit = false;
    while (!hit && fgets(line, sizeof line, f.get())) hit = strstr(line, content) != nullptr;
    return hit;
}

// "<folder>\\<entry>" into an NX_PATH buffer; false when it does not fit.
static bool join_path(wchar_t (&out)[NX_PATH], const wchar_t* folder, const wchar_t* entry)
{
    size_t a = wcslen(folder), b = wcslen(entry);
    if (a + 1 + b >= NX_PATH) return false;
    wmemcpy(out, folder, a);
    out[a] = L'\\';
    wmemcpy(out + a + 1, entry, b + 1);
    return true;
}

// Text in the code page; what it cannot hold becomes NOT_HELD.
static std::string ansi_of(const wchar_t* w)
{
    std::string out;
    wide_to_ansi((const char16_t*)w, wcslen(w), ansi_code_page(), out);
    return out;
}

void CDir::find_file(const char* folder, const char* name, const char* content, int mode)
{
    // The walk lists the wide names: the ANSI listing would best-fit a name
    // the code page cannot hold into one that does not exist.
    wchar_t wide[NX_PATH];
    int n = MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, NX_PATH);
    if (n > 0) find_wide(wide, name, content, mode);
}

void CDir::find_wide(const wchar_t* folder, const char* name, const char* content, int mode)
{
    if (mstop) return;  // the share is gone: the rest would fail, or hang as long
    wchar_t pattern[NX_PATH];
    // A folder whose pattern does not fit is not listed: a cut pattern
    // would list some other folder.
    if (!join_path(pattern, folder, L"*.*")) return;
    WIN32_FIND_DATAW fd;
    ScopedFind h(FindFirstFileW(pattern, &fd));
    if (!h) {
        DWORD e = GetLastError();
        if (mdepth == 0) mtoperror = e;
        if (listing_failed(e, true)) note_failure(ansi_of(folder).c_str(), e);
        return;
    }
    do {
        const wchar_t* entry = fd.cFileName;
        if (entry[0] == L'.' && (entry[1] == 0 || (entry[1] == L'.' && entry[2] == 0))) continue;
        wchar_t path[NX_PATH];
        // Cut paths are never used: they would name another entry.
        bool fits = join_path(path, folder, entry);
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            ++mdepth;
            if (mdepth < mmaxdepth && fits) find_wide(path, name, content, mode);
            --mdepth;
            if (mstop) break;
            continue;
        }
        std::string entry_a = ansi_of(entry);
        bool by_name = name && name_matches(entry_a.c_str(), name);
        bool by_content = false;
        if (content && ((mode == FIND_NAME_OR_CONTENT && !name) || (mode == FIND_NAME_AND_CONTENT && by_name)))
            by_content = fits && content_matches(path, content);
        bool take = mode == FIND_NAME_OR_CONTENT    ? (by_name || by_content)
                    : mode == FIND_NAME_AND_CONTENT ? (by_name && by_content)
                                                    : false;
        if (!take) continue;
        WIN32_FIND_DATAA* rec = new (std::nothrow) WIN32_FIND_DATAA;
        if (!rec) continue;
        // The entry as the ANSI listing gives it, but with the true name:
        // one the code page cannot hold keeps NOT_HELD where it differs.
        rec->dwFileAttributes = fd.dwFileAttributes;
        rec->ftCreationTime = fd.ftCreationTime;
        rec->ftLastAccessTime = fd.ftLastAccessTime;
        rec->ftLastWriteTime = fd.ftLastWriteTime;
        rec->nFileSizeHigh = fd.nFileSizeHigh;
        rec->nFileSizeLow = fd.nFileSizeLow;
        rec->dwReserved0 = fd.dwReserved0;
        rec->dwReserved1 = fd.dwReserved1;
        copy_str(rec->cAlternateFileName, ansi_of(fd.cAlternateFileName).c_str());
        // The full path when it fits into the name field, else the bare name.
        std::string full = fits ? ansi_of(path) : std::string();
        copy_str(rec->cFileName, fits && full.size() < NX_PATH ? full.c_str() : entry_a.c_str());
        mfound.push_back(rec);
    } while (FindNextFileW(h.get(), &fd));
    if (!mstop) {
        DWORD e = GetLastError();
        if (listing_failed(e, false)) note_failure(ansi_of(folder).c_str(), e);
    }
}

void CDir::note_failure(const char* folder, unsigned long error)
{
    if (!error) error = ERROR_GEN_FAILURE;
    // A folder closed to this account leaves the rest of the share readable;
    // a lost share found after it is what the walk then reports.
    bool stops = error != ERROR_ACCESS_DENIED;
    if (!mfail || (stops && !mstop)) {
        mfail = error;
        copy_str(mfailpath, folder);  // cut when too long: it only names the folder
    }
    mstop = mstop || stops;
}
