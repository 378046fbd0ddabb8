#include <windows.h>

// Loading and unloading do no work of their own.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
