// The service settings: the two-column configuration view and the
// "NXSvc Configuration" dialog.
#include "views.h"
#include "creg.h"
#include "log.h"
#include "policy.h"
#include "resource.h"
#include "rowsort.h"
#include "service_contract.h"
#include "shell.h"
#include "strutil.h"
#include <shlobj.h>
#include <stdlib.h>

static int user_is_admin() { return IsUserAnAdmin() ? 1 : 0; }
int (*mis_admin)() = user_is_admin;

// List label and picture of each setting, in the order of svc_settings.
static const struct {
    const char* label;
    int image;
} mconfrows[SVC_SETTINGS] = {
    {"UNC Path", IMG_COMPUTER},
    {"Drive", IMG_NETDRIVE},
    {"User", IMG_USER},
    {"Password", IMG_KEY},
    {"Stop service after first task", IMG_SHEET},
    {"Time max. package installation [s]", IMG_CLOCK},
    {"Time to display a message [s]", IMG_CLOCK},
    {"Time to wait for next task [s]", IMG_CLOCK},
    {"Time to wait for System Reboot [s]", IMG_CLOCK},
    {"Users may add packages (1/0)", IMG_USER},
    {"Maintenance window (HH:MM-HH:MM)", IMG_CLOCK},
    {"Restart may be put off [h]", IMG_CLOCK},
    {"Signer thumbprints (SHA-1)", IMG_KEY},
};
static_assert(SVC_SETTINGS <= sizeof mdlg.field / sizeof mdlg.field[0], "a dialog field for every setting");

// Settings a Group Policy fixed at the last reading: shown read-only,
// never written.
static bool mpolicy[SVC_SETTINGS];
#define POLICY_MARK " (set by Group Policy)"

// The values as texts: strings as stored (empty when absent), numbers
// with "%d" (-1 when absent), each from Group Policy where one fixes it.
// At most 259 characters each.
static void read_config_fields(char (*text)[NX_PATH])
{
    for (int i = 0; i < SVC_SETTINGS; i++) {
        SvcRead r;
        svc_read_setting(i, &r);
        if (r.odd) log_line(mlog, SVC_POLICY_ODD_LOG, svc_settings[i].value, r.odd);
        mpolicy[i] = r.policy;
        if (svc_settings[i].type == SVC_STR)
            copy_str(text[i], NX_PATH, r.text);
        else
            snprintf(text[i], NX_PATH, "%d", svc_read_num(r));
    }
}

void OnConf()
{
    Clear(CLEAR_EMPTY);
    mview = VIEW_CONFIG;
    mlvw.insert_column("Name", 0, 0, 0);
    mlvw.insert_column("Value", 1, 0, 0);
    mncfg.fail = 0;
    char text[SVC_SETTINGS][NX_PATH];
    read_config_fields(text);
    for (int i = 0; i < SVC_SETTINGS; i++) {
        const char* cells[2] = {mconfrows[i].label, text[i]};
        if (i == SVC_SET_PSWD) cells[1] = text[i][0] ? "********" : "";
        char shown[NX_PATH + sizeof POLICY_MARK];
        if (mpolicy[i]) {
            snprintf(shown, sizeof shown, "%s" POLICY_MARK, cells[1]);
            cells[1] = shown;
        }
        mmodel.append(cells, 2, mconfrows[i].image);
    }
    mlvw.set_item_count(SVC_SETTINGS);
    mobjects = SVC_SETTINGS;
    OnSize();
    log_line(mlog, "OnConf () OK ...\n");
}

// OnEdit(EDIT_SETTINGS): all settings in one dialog.
void EditConf()
{
    int p = mlvw.get_next_selected(-1);
    if (p < 0) return;
    // Label of the selected row for the rights message.
    const std::string label = cell_of(mcols[0], (size_t)p < mrows.size() ? mrows[p] : -1);
    for (int i = 0; i < SVC_SETTINGS; i++) mdlg.field[i][0] = 0;
    read_config_fields(mdlg.field);
    for (int i = 0; i < SVC_SETTINGS; i++) mdlg.locked[i] = mpolicy[i];
    INT_PTR result = mdlg.run(mwin.instance, mwin.window, IDD_CONFIG);
    for (int i = 0; i < SVC_SETTINGS; i++) mdlg.locked[i] = false;
    if (result == IDOK) {
        if (mis_admin && mis_admin()) {
            CReg reg;
            for (int i = 0; i < SVC_SETTINGS; i++) {
                const char* name = svc_settings[i].value;
                // What a policy fixes is the policy's to change.
                if (mpolicy[i]) continue;
                int failed = svc_settings[i].type == SVC_STR
                                 ? reg.WriteStr(SVC_ROOT, NX_KEY, name, mdlg.field[i])
                                 : reg.WriteNum(SVC_ROOT, NX_KEY, name, (int)strtol(mdlg.field[i], nullptr, 10));
                if (failed) log_line(mlog, "Error setting: %s\n", mconfrows[i].label);
            }
            OnConf();
            SelfService();
        } else {
            char text[2 * NX_PATH];
            snprintf(text, sizeof text, "Insufficent rights to set value %s,\nrun nxwin.exe as Administrator!",
                     label.c_str());
            MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
        }
    }
    if (mwin.window) OnPaint();
    log_line(mlog, "OnEdit () OK ...\n");
}
