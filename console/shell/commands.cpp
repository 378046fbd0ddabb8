// Routing of menu, accelerator and toolbar commands and of the controls'
// notifications to the operations that do the work.
#include "shell.h"
#include "creg.h"
#include "log.h"
#include "policy.h"
#include "resource.h"
#include "scoped.h"
#include "search.h"
#include "service_contract.h"
#include "strutil.h"
#include "views.h"
#include <shellapi.h>

int mself = SVC_SELF_ANY;

// Users add packages by the search (menu, F5, toolbar) and by editing a
// row's properties; with "self" 0 the service would refuse what they add,
// so outside admin mode the console does not offer it. Administrators
// keep both for the group lists.
static bool may_add() { return madmin || mself != SVC_SELF_ASSIGNED; }

void SelfService()
{
    SvcRead r;
    svc_read_setting(SVC_SET_SELF, &r);  // Group Policy first, as the service
    if (r.odd) log_line(mlog, SVC_POLICY_ODD_LOG, svc_value(SVC_SET_SELF), r.odd);
    const char* odd = nullptr;
    mself = svc_self(r.type, r.number, &odd);
    if (odd) log_line(mlog, SVC_SELF_ODD_LOG, odd);
    bool on = may_add();
    if (HMENU file = mwin.window ? GetSubMenu(GetMenu(mwin.window), 0) : nullptr)
        EnableMenuItem(file, CMD_FIND, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    if (mtbr.handle) SendMessageA(mtbr.handle, TB_ENABLEBUTTON, CMD_FIND, MAKELPARAM(on, 0));
}

int msg_box(const char* text) { return MessageBoxA(nullptr, text, "", MB_OK); }

char* menu_text(HMENU menu, int command)
{
    memset(mtext, 0, sizeof mtext);
    MENUITEMINFOA mi = {};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_TYPE;
    mi.dwTypeData = mtext;
    mi.cch = sizeof mtext;
    GetMenuItemInfoA(menu, command, FALSE, &mi);
    mtext[sizeof mtext - 1] = 0;
    return mtext;
}

// "Restart Now" while the service waits for a restart the users may put
// off: the user's own restart, asked for as the user (the shutdown
// privilege every interactive user holds), after one question. The service
// sees the system started again and forgets the deadline.
static void RestartNow()
{
    char text[128];
    fmt_str(text, "Restart this computer now?\nSave your work first: open programs are closed.");
    if (MessageBoxA(mwin.window, text, "Restart Now", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    ScopedHandle token;
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()) &&
        LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid))
        AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr);
    if (ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                      SHTDN_REASON_FLAG_PLANNED))
        log_line(mlog, "RestartNow () GO ...\n");
    else
        log_line(mlog, "RestartNow () failed: %d\n", (int)GetLastError());
}

// Commands that re-read or replace the list are ignored while a search
// runs: the search would add its rows to a list the user no longer sees.
// Everything else works on: the search thread never touches the model,
// and its rows are added on this thread when it is done.
static bool busy() { return msearch != 0; }

void OnCommand(WPARAM wp)
{
    switch (LOWORD(wp)) {
    case CMD_HELP:
        if ((INT_PTR)ShellExecuteA(nullptr, nullptr, NX_HELP_FILE, nullptr, nullptr, SW_SHOW) == 2)
            msg_box("Helpfile " NX_HELP_FILE " not found!");
        break;
    case CMD_INFO:
        ShowInfo(mwin.instance, mwin.window, IDD_INFO);
        break;
    case CMD_ADMIN:
        if (busy()) break;
        madmin = 1;
        SelfService();
        ReadINI();
        break;
    case CMD_SHOWREPORT: {
        char path[NX_PATH] = "";
        get_file(path, (char*)SVC_REPORT_FILE);
        ShellExecuteA(nullptr, nullptr, path, nullptr, nullptr, SW_SHOW);
        break;
    }
    case CMD_FIND:
        if (busy()) break;
        if (mview == VIEW_DEVICES || mview == VIEW_DEVICE) {
            // F5 in the Devices view loads the fleet again.
            if (mtvw.get_selection() != mdevs)
                mtvw.select_item(mdevs);
            else
                LoadDevices(true);
            break;
        }
        if (!may_add()) break;
        mtvw.select_item(mpkgs);
        ReadINI();
        ReadREG();
        FindCMD();
        break;
    case CMD_EARLIER:
        OnMove(MOVE_EARLIER);
        break;
    case CMD_LATER:
        OnMove(MOVE_LATER);
        break;
    case CMD_OPENLIST:
        if (busy()) break;
        Clear(CLEAR_PACKAGES);
        ConnectShare();
        ReadINI();
        break;
    case CMD_SAVE:
        if (madmin) {
            ConnectShare();
            OnSave();
        } else {
            // A list that could not be written keeps the console open, so
            // the user's choices are not lost behind an exit message.
            if (OnSave() != 0) break;
            MessageBoxA(nullptr,
                        "NXWin will exit now. NXSvc will start NXWin automatically when new Packages are installed.",
                        "Info", MB_OK | MB_ICONINFORMATION);
            PostQuitMessage(0);
        }
        break;
    case CMD_FLEETREPORT:
        FleetReport();
        break;
    case CMD_RESTART:
        if (mrestartby[0]) RestartNow();
        break;
    case CMD_EXIT:
        PostQuitMessage(0);
        break;
    default:  // 208 (Enter) and anything else: nothing
        break;
    }
}

static const char* tooltip_text(UINT_PTR id)
{
    HMENU file = GetSubMenu(GetMenu(mwin.window), 0);
    switch (id) {
    case CMD_FIND:
        return menu_text(file, CMD_FIND);
    case CMD_SAVE:
        return madmin ? "Save current Package List" : menu_text(file, CMD_SAVE);
    case CMD_EARLIER:
        return "Change Install Order (INSTALL EARLIER ...)";
    case CMD_LATER:
        return "Change Install Order (INSTALL LATER ...)";
    }
    return nullptr;
}

static void on_selection_changed()
{
    if (busy()) return;
    HTREEITEM sel = mtvw.get_selection();
    if (!sel) return;
    if (sel == mtvw.get_root()) {
        OnConf();
    } else if (sel == mpkgs) {
        if (!madmin) {
            ReadINI();
            ReadREG();
        }
    } else if (mdevs && sel == mdevs) {
        LoadDevices(true);
    } else if (mdevnode && sel == mdevnode) {
        ShowDevice();
    } else if (minv && sel == minv) {
        Clear(CLEAR_EMPTY);
    } else {
        for (int i = 0; i < 10; i++)
            if (mcsv[i] && sel == mcsv[i]) {
                ReadCSV(CSV_FIRST_NODE + i);
                break;
            }
    }
}

void OnNotify(NMHDR* hdr)
{
    if (!hdr) return;
    switch ((int)hdr->code) {
    case (int)TTN_GETDISPINFOA: {
        NMTTDISPINFOA* t = (NMTTDISPINFOA*)hdr;
        const char* text = tooltip_text(hdr->idFrom);
        if (text) t->lpszText = (char*)text;
        break;
    }
    case (int)TTN_GETDISPINFOW: {
        NMTTDISPINFOW* t = (NMTTDISPINFOW*)hdr;
        const char* text = tooltip_text(hdr->idFrom);
        if (text) {
            MultiByteToWideChar(CP_ACP, 0, text, -1, t->szText, sizeof t->szText / sizeof t->szText[0]);
            t->szText[sizeof t->szText / sizeof t->szText[0] - 1] = 0;
            t->lpszText = t->szText;
        }
        break;
    }
    case (int)TBN_HOTITEMCHANGE: {
        NMTBHOTITEM* h = (NMTBHOTITEM*)hdr;
        msavehot = madmin && !(h->dwFlags & HICF_LEAVING) && h->idNew == CMD_SAVE;
        break;
    }
    case (int)TVN_SELCHANGEDA:
    case (int)TVN_SELCHANGEDW:
        on_selection_changed();
        break;
    case (int)LVN_KEYDOWN: {
        NMLVKEYDOWN* k = (NMLVKEYDOWN*)hdr;
        // Only the package view takes Delete; the configuration and the
        // inventory views are not edited this way.
        if (k->wVKey == VK_DELETE && mview == VIEW_PACKAGES) OnDelete();
        break;
    }
    case (int)LVN_GETDISPINFOA:
        OnGetDispInfo((NMLVDISPINFOA*)hdr);
        break;
    case (int)LVN_COLUMNCLICK:
        msortdesc = !msortdesc;
        msortcol = ((NMLISTVIEW*)hdr)->iSubItem;
        OnSort();
        break;
    case (int)LVN_ITEMCHANGED:
        OnSelChange();
        break;
    case (int)NM_DBLCLK:
        if (hdr->idFrom != IDC_VIEW || busy()) break;
        if (mview == VIEW_DEVICES) {
            OpenDevice(mlvw.get_next_selected(-1));
            break;
        }
        if (mtvw.get_selection() == mtvw.get_root()) OnEdit(EDIT_SETTINGS);
        if (mpkgs && mtvw.get_selection() == mpkgs && may_add()) OnEdit(EDIT_PACKAGE);
        break;
    case (int)NM_CLICK: {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(mwin.window, &pt);
        if (msplit < pt.x && pt.x < msplit + 20) {
            OnCheck();
            OnSelChange();
        }
        break;
    }
    default:
        break;
    }
}
