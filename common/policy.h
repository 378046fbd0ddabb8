// Settings fixed by Group Policy. Each setting is read first from the
// Policies branch and then from the product's own key: a usable policy
// value wins. The rule here is Win32-free; svc_read_setting reads the
// registry through it.
#pragma once
#include "service_contract.h"
#include "ncfg.h"  // NX_PATH
#include <stddef.h>

// Group Policy keeps a machine's settings under "Software\Policies" and
// removes them again when the policy no longer applies.
#define NX_POLICY_KEY "Software\\Policies\\Veltrane\\NxSvc"

enum SvcPolicy {
    SVC_POLICY_NONE,  // no policy value: the product's own value applies
    SVC_POLICY_USE,   // the policy value applies
    SVC_POLICY_ODD,   // a policy value is there but unusable: the product's applies
};
// The rule for one policy value as read: type its registry type (-1 when
// absent), number its data when a REG_DWORD, length the characters of its
// text when a string. The password is never taken from policy. *odd names
// why an unusable value is ignored (SVC_POLICY_ODD_LOG), else it is null.
SvcPolicy svc_policy_pick(int id, long type, unsigned long number, size_t length, const char** odd);
#define SVC_POLICY_ODD_LOG "Policy (%s) %s, ignored ...\n"
// The settings a policy fixed, by value name, once per reading.
#define SVC_POLICY_LOG "Policy (%s) OK ...\n"

// One setting as the programs use it.
struct SvcRead {
    long type = -1;            // registry type of the value used; -1 none
    unsigned long number = 0;  // its data when a REG_DWORD
    char text[NX_PATH] = {};       // its data when a string, cut to 259 characters
    size_t length = 0;         // the whole text's length
    bool policy = false;       // taken from NX_POLICY_KEY
    const char* odd = nullptr; // a policy value was ignored: why
};
#ifdef _WIN32
// Reads the setting id: the policy's value where svc_policy_pick takes it,
// else the one in NX_KEY. Never fails: what cannot be read is absent.
void svc_read_setting(int id, SvcRead* r);
// As a number, the way CReg::ReadNum gives it: -1 when not a REG_DWORD.
inline int svc_read_num(const SvcRead& r) { return r.type == SVC_REG_DWORD ? (int)r.number : -1; }
#endif
