// A plain top-level window of another process, for the status monitor's
// tests. Usage: nx_dummywin [/hidden] [title words ...]
// No title words give an untitled window. The program ends when its
// window is closed, or after two minutes so that nothing outlives a test.
#include <windows.h>
#include <string.h>

static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY || (msg == WM_TIMER && wp == 1)) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmdline, int)
{
    const char* title = cmdline ? cmdline : "";
    while (*title == ' ') title++;
    bool hidden = strncmp(title, "/hidden", 7) == 0 && (title[7] == 0 || title[7] == ' ');
    if (hidden) {
        title += 7;
        while (*title == ' ') title++;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = "NxDummyWin";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "NxDummyWin", title, WS_OVERLAPPEDWINDOW, 40, 40, 240, 120, nullptr, nullptr, inst,
                                nullptr);
    if (!hwnd) return 1;
    if (!hidden) ShowWindow(hwnd, SW_SHOWNORMAL);
    SetTimer(hwnd, 1, 120000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
