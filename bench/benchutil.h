// Shared by the benchmarks: a monotonic clock in milliseconds.
#pragma once
#include <windows.h>
#include <stdio.h>
#include <malloc.h>
#include <string>

inline double now_ms()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / freq.QuadPart;
}

// Every entry of a tree, nothing else: the floor of any walk.
inline long bare_walk(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 0;
    do {
        if (fd.cFileName[0] == '.' && (!fd.cFileName[1] || (fd.cFileName[1] == '.' && !fd.cFileName[2]))) continue;
        n++;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            n += bare_walk(folder + "\\" + fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

// Large shares for pkg_find: "Group%02d" names, device lines that give
// device d two groups, and group files of numbered packages on a drive.
inline std::string group_name(int g)
{
    char n[16];
    snprintf(n, sizeof n, "Group%02d", g);
    return n;
}

inline std::string assignment_line(int d, int groups)
{
    return "PC" + std::to_string(100000 + d).substr(1) + " = " + group_name(d % groups) + ", " +
           group_name((d + 7) % groups) + "\n";
}

inline std::string group_text(int g, int packages, const char* drive)
{
    std::string text;
    for (int p = 0; p < packages; p++) {
        char sec[512];
        snprintf(sec, sizeof sec,
                 "[Vendor%02d Package%02d%02d]\ncomp=Vendor%02d\nname=Package%02d%02d\n"
                 "path=%s\\pkg\\Vendor%02d\\Package%02d%02d\\1.%d\\Install.cmd\nvers=1.%d\n\n",
                 p % 7, g, p, p % 7, g, p, drive, p % 7, g, p, p, p);
        text += sec;
    }
    return text;
}

// Text mode: line ends as the share's editors write them.
inline bool write_text(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wt");
    if (!f) return false;
    fwrite(text.data(), 1, text.size(), f);
    return fclose(f) == 0;
}

// Bytes in the heap's blocks in use: memory figures as a difference.
inline size_t heap_in_use()
{
    _HEAPINFO hi = {};
    size_t used = 0;
    while (_heapwalk(&hi) == _HEAPOK)
        if (hi._useflag == _USEDENTRY) used += hi._size;
    return used;
}
