#include "creg.h"
#include "scoped.h"
#include <windows.h>
#include <stdlib.h>
#include <string.h>

char* mregtext = nullptr;

static HKEY root_key(const char* root)
{
    if (root && strcmp(root, "HKCU") == 0) return HKEY_CURRENT_USER;
    if (root && strcmp(root, "HKU") == 0) return HKEY_USERS;
    return HKEY_LOCAL_MACHINE;
}

static REGSAM read_access(bool view64) { return view64 ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ; }

static LONG open_read(const char* root, const char* key, bool view64, ScopedKey& h)
{
    return RegOpenKeyExA(root_key(root), key, 0, read_access(view64), h.put());
}

int CReg::KeyError(const char* root, const char* key)
{
    ScopedKey h;
    return (int)open_read(root, key, read_view64, h);
}

char* CReg::ReadStr(const char* root, const char* key, const char* name)
{
    ScopedKey h;
    if (open_read(root, key, read_view64, h) != ERROR_SUCCESS) return nullptr;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(h.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size < 2)
        return nullptr;
    free(mregtext);
    // One spare byte: a value stored without its terminating zero still
    // comes back as a terminated text.
    mregtext = (char*)calloc(size + 1, 1);
    if (!mregtext) return nullptr;
    DWORD got = size;
    LONG r = RegQueryValueExA(h.get(), name, nullptr, &type, (BYTE*)mregtext, &got);
    if (r != ERROR_SUCCESS) return nullptr;
    return mregtext;
}

int CReg::ReadNum(const char* root, const char* key, const char* name)
{
    ScopedKey h;
    if (open_read(root, key, read_view64, h) != ERROR_SUCCESS) return -1;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(h.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_DWORD ||
        size != 4)
        return -1;
    DWORD v = 0;
    size = 4;
    LONG r = RegQueryValueExA(h.get(), name, nullptr, &type, (BYTE*)&v, &size);
    return r == ERROR_SUCCESS ? (int)v : -1;
}

long CReg::ReadType(const char* root, const char* key, const char* name, unsigned long* number)
{
    *number = 0;
    ScopedKey h;
    DWORD type = 0, size = 0;
    if (open_read(root, key, read_view64, h) != ERROR_SUCCESS ||
        RegQueryValueExA(h.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return -1;
    if (type != REG_DWORD) return (long)type;
    // A DWORD of another size is no number: as REG_NONE.
    DWORD v = 0;
    if (size != 4 || RegQueryValueExA(h.get(), name, nullptr, &type, (BYTE*)&v, &size) != ERROR_SUCCESS)
        return REG_NONE;
    *number = v;
    return REG_DWORD;
}

int CReg::SubKeys(const char* root, const char* key, std::vector<std::string>& out)
{
    ScopedKey h;
    LONG r = open_read(root, key, read_view64, h);
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    if (r != ERROR_SUCCESS) return (int)r;
    char name[256];  // a key name has at most 255 characters
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof name;
        r = RegEnumKeyExA(h.get(), i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) return 0;
        if (r != ERROR_SUCCESS) return (int)r;
        out.emplace_back(name, n);
    }
}

static int write_value(const char* root, const char* key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    ScopedKey h;
    if (RegCreateKeyExA(root_key(root), key, 0, nullptr, 0, KEY_WRITE, nullptr, h.put(), nullptr) != ERROR_SUCCESS)
        return 1;
    return RegSetValueExA(h.get(), name, 0, type, data, size) == ERROR_SUCCESS ? 0 : 1;
}

int CReg::WriteStr(const char* root, const char* key, const char* name, const char* text)
{
    if (!text) text = "";
    return write_value(root, key, name, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
}

int CReg::WriteNum(const char* root, const char* key, const char* name, int number)
{
    DWORD v = (DWORD)number;
    return write_value(root, key, name, REG_DWORD, (const BYTE*)&v, 4);
}

int CReg::DeleteValue(const char* root, const char* key, const char* name)
{
    ScopedKey h;
    LONG r = RegOpenKeyExA(root_key(root), key, 0, KEY_SET_VALUE, h.put());
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    if (r != ERROR_SUCCESS) return 1;
    r = RegDeleteValueA(h.get(), name);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? 0 : 1;
}
