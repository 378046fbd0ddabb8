// Plays the installation service's side of the registry: install results
// and the package under way, written the way the service writes them
// (plain registry calls, not the console's CReg). Names come from the
// shared service_contract.h.
#pragma once
#include <windows.h>
#include <stdio.h>
#include <string>
#include "service_contract.h"

namespace svc_sim {

inline bool set_value(const std::string& key, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY h;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExA(h, name, 0, type, (const BYTE*)data, size);
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

inline bool set_str(const std::string& key, const char* name, const std::string& text)
{
    return set_value(key, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

inline bool set_dword(const std::string& key, const char* name, DWORD number)
{
    return set_value(key, name, REG_DWORD, &number, 4);
}

// Key of a package's install result: manufacturer and name as they are.
inline std::string result_key(const std::string& comp, const std::string& name)
{
    return std::string(NX_KEY_PKGS) + "\\" + comp + "\\" + name;
}

// When the service records an installation: local time like the log's stamp.
inline std::string now_text()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char buf[64];
    snprintf(buf, sizeof buf, "%i-%2.2d-%2.2d %2.2d:%2.2d:%2.2d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return buf;
}

// An installation finished with the given result code.
inline bool record_install(const std::string& comp, const std::string& name, const std::string& vers, DWORD code,
                           const std::string& time = now_text())
{
    std::string key = result_key(comp, name);
    return set_str(key, SVC_RES_VERS, vers) && set_dword(key, SVC_RES_CODE, code) && set_str(key, SVC_RES_TIME, time);
}

// An installation started but left no result code (the service stopped
// before it ended).
inline bool record_started(const std::string& comp, const std::string& name, const std::string& vers)
{
    return set_str(result_key(comp, name), SVC_RES_VERS, vers);
}

// The package under way and its progress text.
inline bool publish_progress(const std::string& comp, const std::string& name, const std::string& vers,
                             const std::string& info)
{
    return set_str(NX_KEY_PKGS, SVC_NOW_COMP, comp) && set_str(NX_KEY_PKGS, SVC_NOW_NAME, name) &&
           set_str(NX_KEY_PKGS, SVC_NOW_VERS, vers) && set_str(NX_KEY_PKGS, SVC_NOW_INFO, info);
}

// Nothing under way any more.
inline void clear_progress()
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NX_KEY_PKGS, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
    for (const char* v : {SVC_NOW_COMP, SVC_NOW_NAME, SVC_NOW_VERS, SVC_NOW_INFO}) RegDeleteValueA(h, v);
    RegCloseKey(h);
}

}  // namespace svc_sim
