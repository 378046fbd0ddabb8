// The service settings as the programs read them: Group Policy first, then
// the product's own key (policy.h).
#include "creg.h"
#include "policy.h"
#include "strutil.h"
#include <windows.h>
#include <string.h>

// Fills r from the value name under key, through reg.
static void read_value(CReg& reg, const char* key, const char* name, SvcRead* r)
{
    r->type = reg.ReadType(SVC_ROOT, key, name, &r->number);
    r->text[0] = 0;
    if (r->type == REG_SZ || r->type == REG_EXPAND_SZ) {
        // Copied at once from the read right before (CReg::ReadStr).
        const char* t = reg.ReadStr(SVC_ROOT, key, name);
        if (t) {
            r->length = strlen(t);
            copy_str(r->text, t);
        }
    }
}

void svc_read_setting(int id, SvcRead* r)
{
    *r = SvcRead();
    if (id < 0 || id >= SVC_SETTINGS) return;
    const char* name = svc_settings[id].value;
    // HKLM\Software\Policies is a shared key, not redirected under WOW64
    // (learn.microsoft.com, "Registry Keys Affected by WOW64": "Shared" on
    // every version): one copy, which a 32-bit program reaches with
    // KEY_WOW64_64KEY and a 64-bit one anyway. Reading the 64-bit view
    // also finds it where a registry redirects the whole of Software.
    CReg policy;
    policy.read_view64 = true;
    if (id != SVC_SET_PSWD) {
        SvcRead p;
        read_value(policy, NX_POLICY_KEY, name, &p);
        if (svc_policy_pick(id, p.type, p.number, p.length, &r->odd) == SVC_POLICY_USE) {
            *r = p;
            r->policy = true;
            return;
        }
    }
    CReg own;
    read_value(own, NX_KEY, name, r);
}
