// Each setting with a value in the product's key and one under Policies:
// the policy's is used unless it has the wrong type or is out of range;
// the password never comes from policy. For the service's and the
// console's tests.
#pragma once
#include "policy.h"
#include "testutil.h"

static const struct PolicyCase {
    DWORD own_type;
    const char* own;
    DWORD policy_type;
    const char *policy, *used;  // used: as the console shows it
    const char* odd;            // why the policy value is ignored, null when used
} policy_cases[SVC_SETTINGS] = {
    {REG_SZ, "\\\\demo\\packages", REG_SZ, "\\\\demo\\policy", "\\\\demo\\policy", nullptr},
    {REG_SZ, "Y:", REG_SZ, "P:", "P:", nullptr},
    {REG_SZ, "dom\\own", REG_DWORD, "7", "dom\\own", "not a REG_SZ"},
    {REG_SZ, "secret", REG_SZ, "gpo", "secret", nullptr},
    {REG_DWORD, "0", REG_DWORD, "1", "1", nullptr},
    {REG_DWORD, "600", REG_DWORD, "3600", "3600", nullptr},
    {REG_DWORD, "10", REG_SZ, "30", "10", "not a REG_DWORD"},
    {REG_DWORD, "60", REG_DWORD, "0", "60", "out of range"},
    {REG_DWORD, "120", REG_DWORD, "300", "300", nullptr},
    {REG_DWORD, "1", REG_DWORD, "0", "0", nullptr},
    {REG_SZ, "", REG_SZ, "22:00-06:00 x", "", "out of range"},
    {REG_DWORD, "0", REG_DWORD, "30", "30", nullptr},
    {REG_SZ, "", REG_DWORD, "1", "", "not a REG_SZ"},
};

inline bool policy_fixed(int i) { return i != SVC_SET_PSWD && !policy_cases[i].odd; }

inline void policy_set_all()
{
    auto set = [](const char* key, const char* name, DWORD type, const char* text) {
        type == REG_DWORD ? tu::reg_set_dword(key, name, std::stoul(text)) : tu::reg_set_str(key, name, text);
    };
    for (int i = 0; i < SVC_SETTINGS; i++) {
        const PolicyCase& c = policy_cases[i];
        set(NX_KEY, svc_settings[i].value, c.own_type, c.own);
        set(NX_POLICY_KEY, svc_settings[i].value, c.policy_type, c.policy);
    }
}
