#include <windows.h>
#include "shell.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmdline, int show) { return nxwin_main(inst, cmdline, show); }
