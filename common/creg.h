// Registry access by root text, key path and value name.
#pragma once
#include <string>
#include <vector>

// Data of the most recent successful ReadStr; one per deliverable.
extern char* mregtext;

class CReg {
public:
    // Reads (ReadStr, ReadNum, ReadType, KeyError, SubKeys) open keys in the
    // 64-bit view; writes and deletes always use the program's own view.
    bool read_view64 = false;

    // Pointer to mregtext, or null when the value cannot be read as a
    // non-empty REG_SZ/REG_EXPAND_SZ. Valid until the next ReadStr.
    // Callers ask once whether a text is there and read it again to copy
    // it. Kept so on purpose: the copy is always taken from the read right
    // before it, whatever other reads did to the one buffer meanwhile.
    char* ReadStr(const char* root, const char* key, const char* name);
    // The REG_DWORD value, or -1 when it cannot be read.
    int ReadNum(const char* root, const char* key, const char* name);
    // The value's registry type (REG_DWORD 4 ...), -1 when it cannot be
    // read; *number its data when it is a REG_DWORD, else 0.
    long ReadType(const char* root, const char* key, const char* name, unsigned long* number);
    // 0 on success, 1 on failure; missing keys are created.
    int WriteStr(const char* root, const char* key, const char* name, const char* text);
    int WriteNum(const char* root, const char* key, const char* name, int number);
    // 0 when the value is gone afterwards (or its key never was), else 1.
    int DeleteValue(const char* root, const char* key, const char* name);
    // 0 when the key opens for reading, else the system error number.
    int KeyError(const char* root, const char* key);
    // Appends the names of key's subkeys to out, in the registry's order.
    // 0 when all were listed (a key that does not exist has none), else the
    // system error number; the names listed before it stay in out.
    int SubKeys(const char* root, const char* key, std::vector<std::string>& out);
};
