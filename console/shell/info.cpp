// The Info dialog: painted name, version, credit and the maker's address.
#include "shell.h"
#include "scoped.h"
#include "resource.h"
#include "strutil.h"
#include <shellapi.h>

const char* const minfo_url = "https://www.example.com/nxsvc";
static char mversion[NX_PATH];
static HCURSOR mhand;

int ShowInfo(HINSTANCE inst, HWND owner, int dialog)
{
    mversion[0] = 0;
    LoadStringA(inst, IDS_VERSION, mversion, sizeof mversion);
    mhand = LoadCursorA(inst, MAKEINTRESOURCEA(IDCUR_HAND));
    return (int)DialogBoxParamA(inst, MAKEINTRESOURCEA(dialog), owner, InfoProc, 0);
}

static bool on_link(LPARAM lp)
{
    int y = (short)HIWORD(lp);
    return 60 < y && y < 80;
}

INT_PTR CALLBACK InfoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        InfoPaint(hwnd);
        break;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(hwnd, LOWORD(wp));
        break;
    case WM_MOUSEMOVE:
        SetCursor(on_link(lp) && mhand ? mhand : LoadCursorA(nullptr, (LPCSTR)IDC_ARROW));
        break;
    case WM_LBUTTONDOWN:
        if (on_link(lp)) ShellExecuteA(nullptr, nullptr, minfo_url, nullptr, nullptr, SW_SHOW);
        break;
    }
    return 0;
}

void InfoPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    ScopedGdi<HFONT> f1(CreateFontA(14, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 100, 0, "Tahoma"));
    RECT rc;
    GetClientRect(hwnd, &rc);
    rc.left += 10;
    rc.top += 10;
    rc.right -= 10;
    rc.bottom -= 30;
    FillRect(dc, &rc, (HBRUSH)(COLOR_WINDOW + 1));
    const UINT fmt = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    rc.top += 10;
    HGDIOBJ old = SelectObject(dc, f1.get());
    DrawTextA(dc, mversion, -1, &rc, fmt);
    ScopedGdi<HFONT> f2(CreateFontA(13, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 100, 0, "Tahoma"));
    SelectObject(dc, f2.get());
    rc.top += 20;
    DrawTextA(dc, "Development & Design", -1, &rc, fmt);
    SetTextColor(dc, RGB(0, 0, 255));
    rc.top += 20;
    DrawTextA(dc, minfo_url, -1, &rc, fmt);
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}
