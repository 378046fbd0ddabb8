// The ANSI code page's conversions: the platform's, or natively a Latin-1
// stand-in, so the decoding also builds and runs without the platform.
#include "textenc.h"
#ifdef _WIN32
#include <windows.h>

static bool acp_to_ansi(const char16_t* w, size_t n, std::string& out)
{
    out.clear();
    if (n == 0) return true;
    const wchar_t* ws = (const wchar_t*)w;
    UINT acp = GetACP();
    // Without best fit: "ř" must not turn into an "r" that names another folder.
    DWORD flags = acp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL used = FALSE;
    BOOL* pused = acp == CP_UTF8 ? nullptr : &used;
    const char* dflt = acp == CP_UTF8 ? nullptr : "?";
    int len = WideCharToMultiByte(CP_ACP, flags, ws, (int)n, nullptr, 0, dflt, pused);
    if (len <= 0) return false;
    out.resize((size_t)len);
    WideCharToMultiByte(CP_ACP, flags, ws, (int)n, &out[0], len, dflt, pused);
    if (used) return false;
    // And it must come back as itself.
    int back = MultiByteToWideChar(CP_ACP, 0, out.data(), len, nullptr, 0);
    if (back != (int)n) return false;
    std::wstring again((size_t)back, L'\0');
    MultiByteToWideChar(CP_ACP, 0, out.data(), len, &again[0], back);
    return memcmp(again.data(), ws, n * sizeof(wchar_t)) == 0;
}

static void acp_to_wide(const char* s, size_t n, std::u16string& out)
{
    out.clear();
    if (n == 0) return;
    int len = MultiByteToWideChar(CP_ACP, 0, s, (int)n, nullptr, 0);
    if (len <= 0) return;
    out.resize((size_t)len);
    MultiByteToWideChar(CP_ACP, 0, s, (int)n, (wchar_t*)&out[0], len);
}

const CodePage& ansi_code_page()
{
    static const CodePage cp = {GetACP(), acp_to_ansi, acp_to_wide};
    return cp;
}
#else
static bool latin1_to_ansi(const char16_t* w, size_t n, std::string& out)
{
    out.clear();
    bool held = true;
    for (size_t i = 0; i < n; i++) {
        held = held && w[i] < 0x100;
        out += w[i] < 0x100 ? (char)w[i] : (char)NOT_HELD;
    }
    return held;
}

static void latin1_to_wide(const char* s, size_t n, std::u16string& out)
{
    out.clear();
    for (size_t i = 0; i < n; i++) out += (char16_t)(unsigned char)s[i];
}

const CodePage& ansi_code_page()
{
    static const CodePage cp = {28591, latin1_to_ansi, latin1_to_wide};
    return cp;
}
#endif
