// The navigation tree and what the console shows at start.
#include "shell.h"
#include "log.h"
#include "resource.h"
#include "search.h"
#include "strutil.h"
#include "views.h"

HTREEITEM mpkgs, minv, mcsv[10];

void OnInit()
{
    HTREEITEM root = mtvw.insert_item("NXSvc", IMG_COMPUTER, nullptr, nullptr);
    mpkgs = mtvw.insert_item("Packages", IMG_FOLDER, root, nullptr);
    mtvw.expand(root, TVE_EXPAND);

    // The program's folder, whatever the program file is called.
    char folder[NX_PATH];
    program_folder(folder, sizeof folder);
    SetCurrentDirectoryA(folder);

    if (madmin) {
        HMENU admin = CreatePopupMenu();
        AppendMenuA(admin, MF_STRING, CMD_OPENLIST, "Open Package List");
        AppendMenuA(admin, MF_STRING, CMD_SAVE, "Save Package List");
        AppendMenuA(admin, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(admin, MF_STRING, CMD_FLEETREPORT, "Fleet Report");
        InsertMenuA(GetMenu(mwin.window), 1, MF_BYPOSITION | MF_POPUP | MF_STRING, (UINT_PTR)admin, "Admin");
        AddDevicesNode();
        ShowWindow(mwin.window, SW_HIDE);
        ShowWindow(mwin.window, SW_SHOW);
    } else {
        ReadINI();
        ReadREG();
        minv = mtvw.insert_item("Inventory", IMG_FOLDER_GREY, root, mpkgs);
        minvdir.clear_list();
        minvdir.find_file(".", ".csv", nullptr, FIND_NAME_OR_CONTENT);
        HTREEITEM after = nullptr;
        int next = 0;
        for (size_t j = 0; j < minvdir.mfound.size() && j < 10; j++) {
            WIN32_FIND_DATAA* rec = minvdir.mfound[j];
            if (!rec) continue;
            log_line(mlog, "%s\n", rec->cFileName);
            const char* slash = strchr(rec->cFileName, '\\');
            if (!slash) continue;
            after = mtvw.insert_item(slash + 1, IMG_FOLDER_GREY, minv, after);
            mcsv[next++] = after;
        }
    }
    if (minv) mtvw.expand(minv, TVE_EXPAND);
    SelfService();
    log_line(mlog, "OnInit () OK ...\n");
}
