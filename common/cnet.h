// Maps the package share to a drive name; cancels its own mapping when
// destroyed.
#pragma once
#include <stdio.h>
#include <windows.h>
#include <winnetwk.h>
// The platform header maps this name to its own ANSI function; included
// here first so no later include brings the mapping back.
#undef WNetAddConnection

class CNet {
public:
    FILE* mlogfile;  // written to, never opened or closed here
    char mdrive[4];  // drive this object connected; empty when none

    explicit CNet(FILE* log);
    ~CNet();
    // 0 when connected or the drive already is a network drive, else 1.
    int WNetAddConnection(const char* remote, const char* local, const char* user, const char* password);
    // Cancels the mapping this object made; a failure is logged.
    void WNetDelConnection();
};
