#include "creg.h"
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

static REGSAM read_access(int view64) { return view64 ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ; }

int CReg::KeyError(const char* root, const char* key)
{
    HKEY h;
    LONG e = RegOpenKeyExA(root_key(root), key, 0, read_access(mview64), &h);
    if (e == ERROR_SUCCESS) RegCloseKey(h);
    return (int)e;
}

char* CReg::ReadStr(const char* root, const char* key, const char* name)
{
    HKEY h;
    if (RegOpenKeyExA(root_key(root), key, 0, read_access(mview64), &h) != ERROR_SUCCESS) return nullptr;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size < 2) {
        RegCloseKey(h);
        return nullptr;
    }
    free(mregtext);
    // One spare byte: a value stored without its terminating zero still
    // comes back as a terminated text.
    mregtext = (char*)calloc(size + 1, 1);
    if (!mregtext) {
        RegCloseKey(h);
        return nullptr;
    }
    DWORD got = size;
    LONG r = RegQueryValueExA(h, name, nullptr, &type, (BYTE*)mregtext, &got);
    RegCloseKey(h);
    if (r != ERROR_SUCCESS) return nullptr;
    return mregtext;
}

int CReg::ReadNum(const char* root, const char* key, const char* name)
{
    HKEY h;
    if (RegOpenKeyExA(root_key(root), key, 0, read_access(mview64), &h) != ERROR_SUCCESS) return -1;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_DWORD ||
        size != 4) {
        RegCloseKey(h);
        return -1;
    }
    DWORD v = 0;
    size = 4;
    LONG r = RegQueryValueExA(h, name, nullptr, &type, (BYTE*)&v, &size);
    RegCloseKey(h);
    return r == ERROR_SUCCESS ? (int)v : -1;
}

static int write_value(const char* root, const char* key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    HKEY h;
    if (RegCreateKeyExA(root_key(root), key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return 1;
    LONG r = RegSetValueExA(h, name, 0, type, data, size);
    RegCloseKey(h);
    return r == ERROR_SUCCESS ? 0 : 1;
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
    HKEY h;
    LONG r = RegOpenKeyExA(root_key(root), key, 0, KEY_SET_VALUE, &h);
    if (r == ERROR_FILE_NOT_FOUND) return 0;
    if (r != ERROR_SUCCESS) return 1;
    r = RegDeleteValueA(h, name);
    RegCloseKey(h);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? 0 : 1;
}
