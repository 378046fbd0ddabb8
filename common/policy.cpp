#include "policy.h"

enum { REG_SZ_TYPE = 1, REG_EXPAND_SZ_TYPE = 2 };

SvcPolicy svc_policy_pick(int id, long type, unsigned long number, size_t length, const char** odd)
{
    *odd = nullptr;
    // No clear-text secret in policy: the share's password stays the
    // product's own setting.
    if (id < 0 || id >= SVC_SETTINGS || id == SVC_SET_PSWD || type == -1) return SVC_POLICY_NONE;
    const SvcSetting& s = svc_settings[id];
    if (s.type == SVC_DWORD) {
        if (type != SVC_REG_DWORD)
            *odd = "not a REG_DWORD";
        else if (s.max && (number < s.min || number > s.max))
            *odd = "out of range";
    } else {
        if (type != REG_SZ_TYPE && type != REG_EXPAND_SZ_TYPE)
            *odd = "not a REG_SZ";
        else if (length == 0)
            *odd = "empty";
        else if (length > (s.max ? s.max : 259) || length < s.min)
            *odd = "out of range";
    }
    return *odd ? SVC_POLICY_ODD : SVC_POLICY_USE;
}
