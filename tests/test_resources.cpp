// The console's resources as the program sees them at run time: menu,
// accelerators, dialogs, image strips, icon, cursor, strings, version and
// manifest. The test program links the same resource script as nxwin.exe;
// one test also opens nxwin.exe itself, since resources that end up in a
// static library are silently dropped from the program.
#include "testutil.h"
#include <commctrl.h>
#include <algorithm>
#include <cstring>
#include "resource.h"

using namespace tu;

namespace {

HINSTANCE self() { return GetModuleHandleA(nullptr); }

INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::string window_text(HWND h)
{
    char buf[512] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

std::string class_name(HWND h)
{
    char buf[64] = "";
    GetClassNameA(h, buf, sizeof buf);
    return buf;
}

// ---------------------------------------------------------------- menu

struct MenuItem { UINT id; const char* text; };  // text null: separator

TEST(Resources, MainMenuHasItsTextsAndCommands)
{
    HMENU menu = LoadMenuA(self(), MAKEINTRESOURCEA(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    struct Popup { const char* text; std::vector<MenuItem> items; } popups[] = {
        {"&File", {{CMD_SHOWREPORT, "Show Assignmets for this Device"},
                   {0, nullptr},
                   {CMD_FIND, "Find Packages in UNC path"},
                   {CMD_SAVE, "Save Package List for this Device"},
                   {0, nullptr},
                   {CMD_EXIT, "Exit"}}},
        {"&?", {{CMD_HELP, "Help"}, {CMD_INFO, "Info"}}},
    };
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    for (int p = 0; p < 2; ++p) {
        SCOPED_TRACE(popups[p].text);
        char buf[NX_PATH] = "";
        MENUITEMINFOA mi = {sizeof mi, MIIM_STRING | MIIM_SUBMENU};
        mi.dwTypeData = buf;
        mi.cch = sizeof buf;
        ASSERT_TRUE(GetMenuItemInfoA(menu, p, TRUE, &mi));
        EXPECT_STREQ(buf, popups[p].text);
        ASSERT_NE(mi.hSubMenu, nullptr);
        const auto& items = popups[p].items;
        ASSERT_EQ(GetMenuItemCount(mi.hSubMenu), (int)items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE(i);
            char text[NX_PATH] = "";
            MENUITEMINFOA it = {sizeof it, MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU};
            it.dwTypeData = text;
            it.cch = sizeof text;
            ASSERT_TRUE(GetMenuItemInfoA(mi.hSubMenu, i, TRUE, &it));
            EXPECT_EQ(it.hSubMenu, nullptr);
            if (!items[i].text) {
                EXPECT_TRUE(it.fType & MFT_SEPARATOR);
                continue;
            }
            EXPECT_FALSE(it.fType & MFT_SEPARATOR);
            EXPECT_EQ(it.wID, items[i].id);
            EXPECT_STREQ(text, items[i].text);
        }
    }
    DestroyMenu(menu);
}

// ---------------------------------------------------------------- keys

TEST(Resources, AcceleratorsAreThePlainFunctionKeysAndEnter)
{
    HACCEL acc = LoadAcceleratorsA(self(), MAKEINTRESOURCEA(IDA_MAIN));
    ASSERT_NE(acc, nullptr);
    ACCEL got[16];
    int n = CopyAcceleratorTableA(acc, got, 16);
    struct { WORD key; WORD cmd; } want[] = {
        {VK_RETURN, CMD_ENTER}, {VK_F2, CMD_ADMIN}, {VK_F3, CMD_EARLIER},
        {VK_F4, CMD_LATER}, {VK_F5, CMD_FIND},
    };
    ASSERT_EQ(n, 5);  // F1 is the window procedure's, not the table's
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].key, want[i].key);
        EXPECT_EQ(got[i].cmd, want[i].cmd);
        EXPECT_EQ(got[i].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY);
    }
}

// ---------------------------------------------------------------- dialogs

enum Kind { BUTTON, LABEL_C, LABEL_L, EDIT, EDIT_SCROLL, EDIT_PASSWORD };
struct Ctl { int id; Kind kind; const char* text; int x, y, cx, cy; };
struct Dlg { int id; const char* title; DWORD style; int cx, cy; std::vector<Ctl> ctls; };

std::vector<Dlg> dialogs()
{
    std::vector<Dlg> d;
    d.push_back({IDD_INFO, "Info", WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 200, 80,
                 {{IDOK, BUTTON, "OK", 80, 66, 40, 11}}});
    d.push_back({IDD_CONFIG, "NXSvc Configuration", WS_CAPTION | WS_SYSMENU, 200, 196,
                 {{220, LABEL_C, " UNC Path", 10, 4, 60, 11},
                  {221, LABEL_C, " Drive", 10, 16, 60, 11},
                  {222, LABEL_C, " User", 10, 28, 60, 11},
                  {223, LABEL_C, " Passwort", 10, 40, 60, 11},
                  {224, LABEL_L, " Stop service after first task", 10, 60, 130, 11},
                  {225, LABEL_L, " Time max. package installation [s]", 10, 72, 130, 11},
                  {226, LABEL_L, " Time to display a message [s]", 10, 84, 130, 11},
                  {227, LABEL_L, " Time to wait for next task [s]", 10, 96, 130, 11},
                  {228, LABEL_L, " Time to wait for System Reboot [s]", 10, 108, 130, 11},
                  {229, LABEL_L, " Users may add packages (1/0)", 10, 120, 130, 11},
                  {230, LABEL_L, " Maintenance window (HH:MM-HH:MM)", 10, 132, 130, 11},
                  {231, LABEL_L, " Restart may be put off [h]", 10, 144, 130, 11},
                  {232, LABEL_C, " Signer", 10, 156, 60, 11},
                  {240, EDIT, "", 72, 4, 118, 11},
                  {241, EDIT, "", 72, 16, 118, 11},
                  {242, EDIT, "", 72, 28, 118, 11},
                  {243, EDIT_PASSWORD, "", 72, 40, 118, 11},
                  {244, EDIT, "", 142, 60, 48, 11},
                  {245, EDIT, "", 142, 72, 48, 11},
                  {246, EDIT, "", 142, 84, 48, 11},
                  {247, EDIT, "", 142, 96, 48, 11},
                  {248, EDIT, "", 142, 108, 48, 11},
                  {249, EDIT, "", 142, 120, 48, 11},
                  {250, EDIT_SCROLL, "", 142, 132, 48, 11},
                  {251, EDIT, "", 142, 144, 48, 11},
                  {252, EDIT_SCROLL, "", 72, 156, 118, 11},
                  {IDOK, BUTTON, "OK", 150, 178, 40, 11}}});
    d.push_back({IDD_EDIT, "Edit Properties", WS_CAPTION | WS_SYSMENU, 420, 50,
                 {{220, LABEL_C, "Name", 10, 4, 80, 10},
                  {221, LABEL_C, "Manufacturer", 90, 4, 80, 10},
                  {222, LABEL_C, "Version", 170, 4, 40, 10},
                  {223, LABEL_C, "Script", 210, 4, 200, 10},
                  {240, EDIT, "", 10, 16, 80, 11},
                  {241, EDIT, "", 90, 16, 80, 11},
                  {242, EDIT, "", 170, 16, 40, 11},
                  {243, EDIT_SCROLL, "", 210, 16, 200, 11},
                  {IDOK, BUTTON, "OK", 370, 34, 40, 11}}});
    return d;
}

// Position and size are converted separately, as the dialog manager does
// (converting the far edges instead can be one pixel off).
RECT dlu_rect(HWND dlg, int x, int y, int cx, int cy)
{
    RECT p = {x, y, cx, cy};
    MapDialogRect(dlg, &p);
    return RECT{p.left, p.top, p.left + p.right, p.top + p.bottom};
}

int count_children(HWND dlg)
{
    int n = 0;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++n;
    return n;
}

TEST(Resources, DialogsCreateWithTheirControlsInPlace)
{
    for (const Dlg& d : dialogs()) {
        SCOPED_TRACE(d.title);
        HWND dlg = CreateDialogParamA(self(), MAKEINTRESOURCEA(d.id), nullptr, QuietProc, 0);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(window_text(dlg), d.title);
        DWORD style = GetWindowLongA(dlg, GWL_STYLE);
        EXPECT_EQ(style & d.style, d.style);
        if (!(d.style & DS_MODALFRAME)) {
            EXPECT_FALSE(style & DS_MODALFRAME);
        }
        EXPECT_FALSE(style & WS_THICKFRAME);

        LOGFONTA lf = {};
        HFONT font = (HFONT)SendMessageA(dlg, WM_GETFONT, 0, 0);
        ASSERT_NE(font, nullptr);
        GetObjectA(font, sizeof lf, &lf);
        EXPECT_STREQ(lf.lfFaceName, "Tahoma");

        RECT client, want = dlu_rect(dlg, 0, 0, d.cx, d.cy);
        GetClientRect(dlg, &client);
        EXPECT_EQ(client.right, want.right);
        EXPECT_EQ(client.bottom, want.bottom);

        EXPECT_EQ(count_children(dlg), (int)d.ctls.size());
        for (const Ctl& c : d.ctls) {
            SCOPED_TRACE(c.id);
            HWND h = GetDlgItem(dlg, c.id);
            ASSERT_NE(h, nullptr);
            DWORD cs = GetWindowLongA(h, GWL_STYLE);
            EXPECT_TRUE(cs & WS_VISIBLE);
            RECT r, w = dlu_rect(dlg, c.x, c.y, c.cx, c.cy);
            GetWindowRect(h, &r);
            MapWindowPoints(nullptr, dlg, (POINT*)&r, 2);
            EXPECT_EQ(r.left, w.left);
            EXPECT_EQ(r.top, w.top);
            EXPECT_EQ(r.right, w.right);
            EXPECT_EQ(r.bottom, w.bottom);
            switch (c.kind) {
            case BUTTON:
                EXPECT_STRCASEEQ(class_name(h).c_str(), "Button");
                EXPECT_EQ(window_text(h), c.text);
                EXPECT_TRUE((cs & BS_TYPEMASK) == BS_PUSHBUTTON || (cs & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
                EXPECT_TRUE(cs & WS_TABSTOP);
                break;
            case LABEL_C:
            case LABEL_L:
                EXPECT_STRCASEEQ(class_name(h).c_str(), "Static");
                EXPECT_EQ(window_text(h), c.text);
                EXPECT_EQ(cs & SS_TYPEMASK, DWORD(c.kind == LABEL_C ? SS_CENTER : SS_LEFT));
                EXPECT_TRUE(cs & SS_SUNKEN);
                break;
            case EDIT:
            case EDIT_SCROLL:
            case EDIT_PASSWORD:
                EXPECT_STRCASEEQ(class_name(h).c_str(), "Edit");
                EXPECT_EQ(bool(cs & ES_AUTOHSCROLL), c.kind == EDIT_SCROLL);
                EXPECT_EQ(bool(cs & ES_PASSWORD), c.kind == EDIT_PASSWORD);
                EXPECT_FALSE(cs & ES_MULTILINE);
                EXPECT_TRUE(cs & WS_TABSTOP);
                break;
            }
        }
        DestroyWindow(dlg);
    }
}

// Only the script path and the maintenance window scroll; the other fields
// take typing up to their width. Text the program puts in is kept whole
// either way, so a long value shown in a dialog and read back is not cut.
TEST(Resources, EditFieldsScrollOnlyWhereIntended)
{
    for (const Dlg& d : dialogs()) {
        HWND dlg = CreateDialogParamA(self(), MAKEINTRESOURCEA(d.id), nullptr, QuietProc, 0);
        ASSERT_NE(dlg, nullptr);
        for (const Ctl& c : d.ctls) {
            if (c.kind != EDIT && c.kind != EDIT_SCROLL && c.kind != EDIT_PASSWORD) continue;
            SCOPED_TRACE(std::string(d.title) + " " + std::to_string(c.id));
            HWND h = GetDlgItem(dlg, c.id);
            for (int i = 0; i < 150; ++i) SendMessageA(h, WM_CHAR, 'W', 1);
            int typed = GetWindowTextLengthA(h);
            if (c.kind == EDIT_SCROLL) {
                EXPECT_EQ(typed, 150);
            } else {
                EXPECT_GT(typed, 0);
                EXPECT_LT(typed, 150);
            }
            std::string full(259, 'W');
            SetWindowTextA(h, full.c_str());
            char back[300] = "";
            GetWindowTextA(h, back, sizeof back);
            EXPECT_EQ(std::string(back), full);
        }
        DestroyWindow(dlg);
    }
}

TEST(Resources, PasswordFieldHidesItsText)
{
    HWND dlg = CreateDialogParamA(self(), MAKEINTRESOURCEA(IDD_CONFIG), nullptr, QuietProc, 0);
    ASSERT_NE(dlg, nullptr);
    for (int id = 240; id <= 251; ++id) {
        SCOPED_TRACE(id);
        LRESULT mask = SendDlgItemMessageA(dlg, id, EM_GETPASSWORDCHAR, 0, 0);
        if (id == 243) {
            EXPECT_NE(mask, 0);
        } else {
            EXPECT_EQ(mask, 0);
        }
    }
    DestroyWindow(dlg);
}

// ---------------------------------------------------------------- pictures

using Pixels = std::vector<COLORREF>;

// Draws one image of the list onto white and returns its 16x16 pixels.
Pixels draw_on_white(HIMAGELIST il, int index)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 16;
    bi.bmiHeader.biHeight = -16;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT r = {0, 0, 16, 16};
    FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ImageList_Draw(il, index, dc, 0, 0, ILD_TRANSPARENT);
    GdiFlush();
    Pixels px(256);
    const DWORD* p = (const DWORD*)bits;
    for (int i = 0; i < 256; ++i) px[i] = RGB((p[i] >> 16) & 255, (p[i] >> 8) & 255, p[i] & 255);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return px;
}

int count_if(const Pixels& px, bool (*pred)(int r, int g, int b))
{
    int n = 0;
    for (COLORREF c : px) n += pred(GetRValue(c), GetGValue(c), GetBValue(c));
    return n;
}

bool is_red(int r, int g, int b) { return r > 180 && g < 60 && b < 60; }
bool is_yellow(int r, int g, int b) { return r > 200 && g > 190 && b < 120; }
bool is_green(int r, int g, int b) { return g > 150 && g > r + 50 && g > b + 50; }
bool is_orange(int r, int g, int b) { return r > 220 && g > 120 && g < 200 && b < 100; }
bool is_saturated(int r, int g, int b) { return std::max({r, g, b}) - std::min({r, g, b}) > 40; }

TEST(Resources, ImageStripsLoadAsImageListsWithMaskedBackground)
{
    struct { int id; int grow; int count; } strips[] = {
        {IDB_TOOLBAR, 0, 4},
        {IDB_IMAGES, 10, 13},
    };
    for (auto& s : strips) {
        SCOPED_TRACE(s.id);
        HIMAGELIST il = ImageList_LoadImageA(self(), MAKEINTRESOURCEA(s.id), 16, s.grow, CLR_DEFAULT,
                                             IMAGE_BITMAP, LR_CREATEDIBSECTION);
        ASSERT_NE(il, nullptr);
        EXPECT_EQ(ImageList_GetImageCount(il), s.count);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(il, &cx, &cy);
        EXPECT_EQ(cx, 16);
        EXPECT_EQ(cy, 16);
        std::vector<Pixels> all;
        for (int i = 0; i < s.count; ++i) {
            SCOPED_TRACE(i);
            Pixels px = draw_on_white(il, i);
            EXPECT_EQ(px[0], RGB(255, 255, 255)) << "corner should be transparent";
            EXPECT_EQ(count_if(px, [](int r, int g, int b) { return r == 255 && g == 0 && b == 255; }), 0);
            EXPECT_GT(count_if(px, [](int r, int g, int b) { return !(r == 255 && g == 255 && b == 255); }), 30);
            for (size_t j = 0; j < all.size(); ++j) EXPECT_NE(px, all[j]) << "same as image " << j;
            all.push_back(px);
        }
        ImageList_Destroy(il);
    }
}

// The list's row states are told apart by colour alone; a strip put
// together in the wrong order shows them on the wrong rows.
TEST(Resources, RowStatePicturesCarryTheirColours)
{
    HIMAGELIST il = ImageList_LoadImageA(self(), MAKEINTRESOURCEA(IDB_IMAGES), 16, 10, CLR_DEFAULT,
                                         IMAGE_BITMAP, LR_CREATEDIBSECTION);
    ASSERT_NE(il, nullptr);
    struct { int image; bool red, yellow, green, orange; } rows[] = {
        {2, false, true, false, false},   // yellow folder
        {3, false, false, false, false},  // grey folder
        {4, false, false, false, false},  // available
        {5, true, false, false, false},   // ready: red check mark
        {6, false, false, false, false},  // excluded: grey cross
        {7, false, false, true, false},   // listed: green
        {8, false, false, false, true},   // installed: orange
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.image);
        Pixels px = draw_on_white(il, r.image);
        EXPECT_EQ(count_if(px, is_red) > 5, r.red);
        EXPECT_EQ(count_if(px, is_yellow) > 20, r.yellow);
        EXPECT_EQ(count_if(px, is_green) > 20, r.green);
        EXPECT_EQ(count_if(px, is_orange) > 20, r.orange);
    }
    // The grey folder is grey all over.
    EXPECT_EQ(count_if(draw_on_white(il, 3), is_saturated), 0);
    ImageList_Destroy(il);

    HIMAGELIST tb = ImageList_LoadImageA(self(), MAKEINTRESOURCEA(IDB_TOOLBAR), 16, 0, CLR_DEFAULT,
                                         IMAGE_BITMAP, LR_CREATEDIBSECTION);
    ASSERT_NE(tb, nullptr);
    EXPECT_GT(count_if(draw_on_white(tb, 0), is_green), 10);  // the find arrow
    ImageList_Destroy(tb);
}

#pragma pack(push, 2)
struct GroupEntry { BYTE w, h, colours, reserved; WORD planes, bits; DWORD bytes; WORD id; };
#pragma pack(pop)

TEST(Resources, IconHasLargeAndSmallImages)
{
    HRSRC res = FindResourceA(self(), MAKEINTRESOURCEA(IDI_MAIN), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(res, nullptr);
    const BYTE* dir = (const BYTE*)LockResource(LoadResource(self(), res));
    ASSERT_NE(dir, nullptr);
    WORD count = *(const WORD*)(dir + 4);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const GroupEntry* e = (const GroupEntry*)(dir + 6 + i * sizeof(GroupEntry));
        sizes.push_back(e->w);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    for (int size : {32, 16}) {
        SCOPED_TRACE(size);
        HICON icon = (HICON)LoadImageA(self(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr);
        ICONINFO ii = {};
        ASSERT_TRUE(GetIconInfo(icon, &ii));
        EXPECT_TRUE(ii.fIcon);
        BITMAP bm = {};
        ASSERT_NE(ii.hbmColor, nullptr);
        GetObjectA(ii.hbmColor, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, size);
        EXPECT_EQ(bm.bmHeight, size);
        DeleteObject(ii.hbmColor);
        DeleteObject(ii.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(Resources, HandCursorPointsWithItsFingertip)
{
    HCURSOR cur = LoadCursorA(self(), MAKEINTRESOURCEA(IDCUR_HAND));
    ASSERT_NE(cur, nullptr);
    ICONINFO ii = {};
    ASSERT_TRUE(GetIconInfo(cur, &ii));
    EXPECT_FALSE(ii.fIcon);
    EXPECT_EQ(ii.xHotspot, 12u);
    EXPECT_EQ(ii.yHotspot, 7u);
    EXPECT_EQ(ii.hbmColor, nullptr);  // monochrome: AND and XOR masks only
    ASSERT_NE(ii.hbmMask, nullptr);
    BITMAP bm = {};
    GetObjectA(ii.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    EXPECT_EQ(bm.bmHeight, 64);

    // The hot spot is drawn; the pixel above it is not: it is the tip.
    struct { BITMAPINFOHEADER h; RGBQUAD c[2]; } bi = {};
    bi.h.biSize = sizeof bi.h;
    bi.h.biWidth = 32;
    bi.h.biHeight = -64;
    bi.h.biPlanes = 1;
    bi.h.biBitCount = 1;
    DWORD bits[64] = {};
    HDC dc = GetDC(nullptr);
    ASSERT_EQ(GetDIBits(dc, ii.hbmMask, 0, 64, bits, (BITMAPINFO*)&bi, DIB_RGB_COLORS), 64);
    ReleaseDC(nullptr, dc);
    auto and_bit = [&](int x, int y) { return (((const BYTE*)&bits[y])[x / 8] >> (7 - x % 8)) & 1; };
    EXPECT_EQ(and_bit(12, 7), 0);
    EXPECT_EQ(and_bit(12, 6), 1);
    EXPECT_EQ(and_bit(0, 0), 1);
    DeleteObject(ii.hbmMask);
}

// ---------------------------------------------------------------- texts

TEST(Resources, VersionStringIsInTheStringTable)
{
    char buf[NX_PATH] = "";
    const char want[] = "NXSvc Console v " NX_VERSION_TEXT;
    EXPECT_EQ(LoadStringA(self(), IDS_VERSION, buf, sizeof buf), (int)strlen(want));
    EXPECT_STREQ(buf, want);
}

// version.dll is loaded by hand, so the test needs no extra import library.
struct VersionApi {
    HMODULE dll = LoadLibraryA("version.dll");
    DWORD(WINAPI* size)(LPCSTR, LPDWORD) =
        dll ? (DWORD(WINAPI*)(LPCSTR, LPDWORD))(void*)GetProcAddress(dll, "GetFileVersionInfoSizeA") : nullptr;
    BOOL(WINAPI* info)(LPCSTR, DWORD, DWORD, LPVOID) =
        dll ? (BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID))(void*)GetProcAddress(dll, "GetFileVersionInfoA") : nullptr;
    BOOL(WINAPI* query)(LPCVOID, LPCSTR, LPVOID*, PUINT) =
        dll ? (BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT))(void*)GetProcAddress(dll, "VerQueryValueA") : nullptr;
    ~VersionApi() { if (dll) FreeLibrary(dll); }
};

TEST(Resources, BothDeliverablesCarryVersion1006)
{
    VersionApi v;
    ASSERT_TRUE(v.size && v.info && v.query);
    struct { std::string path; const char* description; const char* file; } files[] = {
        {exe_dir() + "\\nxwin.exe", "NXSvc Console", "nxwin.exe"},
        {exe_dir() + "\\nxsvc.dll", "NXSvc Service Library", "nxsvc.dll"},
    };
    for (auto& f : files) {
        SCOPED_TRACE(f.path);
        DWORD handle = 0;
        DWORD n = v.size(f.path.c_str(), &handle);
        ASSERT_GT(n, 0u);
        std::vector<char> data(n);
        ASSERT_TRUE(v.info(f.path.c_str(), 0, n, data.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT len = 0;
        ASSERT_TRUE(v.query(data.data(), "\\", (void**)&fixed, &len));
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00000006u);
        WORD* lang = nullptr;
        ASSERT_TRUE(v.query(data.data(), "\\VarFileInfo\\Translation", (void**)&lang, &len));
        ASSERT_GE(len, 4u);
        char base[64];
        snprintf(base, sizeof base, "\\StringFileInfo\\%04x%04x\\", lang[0], lang[1]);
        struct { const char* name; const char* want; } values[] = {
            {"FileDescription", f.description},
            {"OriginalFilename", f.file},
            {"FileVersion", NX_VERSION_TEXT},
        };
        for (auto& val : values) {
            SCOPED_TRACE(val.name);
            char* text = nullptr;
            ASSERT_TRUE(v.query(data.data(), (std::string(base) + val.name).c_str(), (void**)&text, &len));
            EXPECT_STREQ(text, val.want);
        }
    }
}

// The program itself, not only this test, must carry every resource.
TEST(Resources, ProgramCarriesEveryResource)
{
    std::string path = exe_dir() + "\\nxwin.exe";
    HMODULE exe = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    struct { int id; int type; const char* what; } rows[] = {
        {IDM_MAIN, 4, "menu"},
        {IDA_MAIN, 9, "accelerators"},
        {IDD_INFO, 5, "dialog 102"},
        {IDD_CONFIG, 5, "dialog 103"},
        {IDD_EDIT, 5, "dialog 104"},
        {IDB_TOOLBAR, 2, "toolbar bitmap"},
        {IDB_IMAGES, 2, "image bitmap"},
        {IDI_MAIN, 14, "icon"},
        {IDCUR_HAND, 12, "cursor"},
        {IDS_VERSION / 16 + 1, 6, "string block"},
        {1, 16, "version"},
        {1, 24, "manifest"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(r.id), MAKEINTRESOURCEA(r.type)), nullptr);
    }
    FreeLibrary(exe);
}

TEST(Resources, ManifestSelectsCommonControls6)
{
    HRSRC res = FindResourceA(self(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(res, nullptr);
    const char* text = (const char*)LockResource(LoadResource(self(), res));
    std::string manifest(text, SizeofResource(self(), res));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);

    // The activation context made from it loads the side-by-side comctl32.
    char loaded[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), loaded, sizeof loaded);
    CharLowerA(loaded);
    EXPECT_NE(std::strstr(loaded, "common-controls"), nullptr) << loaded;
}

}  // namespace
