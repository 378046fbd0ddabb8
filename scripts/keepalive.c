/* Holds the Wine desktop open between test processes, so each test does
   not start (and leave behind) an explorer of its own. wineserver -k ends
   it. With an argument, writes that file once the desktop exists, so the
   caller can wait for it. */
#include <windows.h>
#include <stdio.h>
int main(int argc, char** argv)
{
    GetDesktopWindow();
    HANDLE h = CreateEventA(NULL, TRUE, FALSE, "NxTest.KeepAlive.Stop");
    if (argc > 1) {
        FILE* f = fopen(argv[1], "w");
        if (f) {
            fputs("ready\n", f);
            fclose(f);
        }
    }
    WaitForSingleObject(h, 6 * 3600 * 1000);
    return 0;
}
