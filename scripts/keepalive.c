/* Holds the Wine desktop open between test processes, so each test does
   not pay for a new explorer. wineserver -k ends it. */
#include <windows.h>
int main(void)
{
    GetDesktopWindow();
    HANDLE h = CreateEventA(NULL, TRUE, FALSE, "NxTest.KeepAlive.Stop");
    WaitForSingleObject(h, 6 * 3600 * 1000);
    return 0;
}
