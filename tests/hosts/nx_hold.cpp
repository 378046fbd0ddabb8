// Holds a file open, as another program on the machine would, until it is
// ended:  nx_hold.exe <path> <none|read|rw> <event>
// "none" shares nothing, "read" lets others read, "rw" lets others read and
// write but not delete or rename. The named event is set once the file is
// held; the exit code is 2 when it could not be opened.
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc < 4) return 3;
    DWORD share = strcmp(argv[2], "read") == 0 ? FILE_SHARE_READ
                  : strcmp(argv[2], "rw") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                               : 0;
    HANDLE h = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (ready) SetEvent(ready);
    Sleep(INFINITE);
    return 0;
}
