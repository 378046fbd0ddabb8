// Recursive file search by name and/or content with a depth limit.
#include "search.h"
#include "strutil.h"
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
static bool content_matches(const char* path, const char* content)
{
    FILE* f = fopen(path, "rt");
    if (!f) return false;
    char line[NX_PATH];
    bool hit = false;
    while (!hit && fgets(line, sizeof line, f)) hit = strstr(line, content) != nullptr;
    fclose(f);
    return hit;
}

int CDir::find_file(const char* folder, const char* name, const char* content, int mode)
{
    if (mstop) return 0;  // the share is gone: the rest would fail, or hang as long
    char pattern[NX_PATH];
    // A folder whose pattern does not fit is not listed: a cut pattern
    // would list some other folder.
    if (fmt_str(pattern, "%s\\*.*", folder)) return 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        if (mdepth == 0) mtoperror = e;
        if (listing_failed(e, true)) note_failure(folder, e);
        return 0;
    }
    do {
        const char* entry = fd.cFileName;
        if (entry[0] == '.' && (entry[1] == 0 || (entry[1] == '.' && entry[2] == 0))) continue;
        char path[NX_PATH];
        // Cut paths are never used: they would name another entry.
        bool fits = fmt_str(path, "%s\\%s", folder, entry) == 0;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            ++mdepth;
            if (mdepth < mmaxdepth && fits) find_file(path, name, content, mode);
            --mdepth;
            if (mstop) break;
            continue;
        }
        bool by_name = name && name_matches(entry, name);
        bool by_content = false;
        if (content && ((mode == FIND_NAME_OR_CONTENT && !name) || (mode == FIND_NAME_AND_CONTENT && by_name)))
            by_content = fits && content_matches(path, content);
        bool take = mode == FIND_NAME_OR_CONTENT    ? (by_name || by_content)
                    : mode == FIND_NAME_AND_CONTENT ? (by_name && by_content)
                                                    : false;
        if (!take) continue;
        WIN32_FIND_DATAA* rec = new (std::nothrow) WIN32_FIND_DATAA(fd);
        if (!rec) continue;
        // The full path when it fits into the name field, else the bare name.
        if (fits) copy_str(rec->cFileName, path);
        mfound.push_back(rec);
    } while (FindNextFileA(h, &fd));
    if (!mstop) {
        DWORD e = GetLastError();
        if (listing_failed(e, false)) note_failure(folder, e);
    }
    FindClose(h);
    return 0;
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
