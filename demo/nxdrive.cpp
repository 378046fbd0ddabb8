// nxdrive: drives a running console from outside, for the demo scripts.
// Every command acts on the window of class "CWin" and exits 0 on success,
// 1 when the console (or what was asked for) is not there.
#include "drive.h"
#include "resource.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int usage()
{
    fputs("usage: nxdrive <command>\n"
          "  wait [ms]            wait for the console window (default 20000 ms)\n"
          "  gone [ms]            wait until the console has ended\n"
          "  cmd <id>             post a command (202 find, 206 save, ...)\n"
          "  key <F2..F5|Delete>  post a key to the list\n"
          "  select <node>        select a tree node by its text (NXSvc, Packages, ...)\n"
          "  title | rows | table | geometry\n"
          "  cell <row> <col>     text of one list cell\n"
          "  waitcell <col> <text> [ms]  wait until a cell of that column starts with text\n"
          "  waitrows <n> [ms]    wait until the list shows at least n rows\n"
          "  click <row> [x]      click a row at main-window client x (160: its picture)\n"
          "  dblclick <row> [x]   double click a row (a device of the Devices view opens)\n"
          "  dlg <title> <id> [ms]  wait for a dialog, print its text, press a button\n"
          "  park                 move the mouse pointer to the corner\n"
          "  close [ms]           the Exit command and wait until the console ended\n",
          stderr);
    return 2;
}

static int ms_arg(int argc, char** argv, int i, int def) { return argc > i ? atoi(argv[i]) : def; }

static HWND need()
{
    HWND w = nxd::wait_console(5000);
    if (!w) fputs("nxdrive: no console window\n", stderr);
    return w;
}

static UINT key_code(const char* k)
{
    if ((k[0] == 'F' || k[0] == 'f') && k[1]) return VK_F1 + atoi(k + 1) - 1;
    if (_stricmp(k, "Delete") == 0) return VK_DELETE;
    if (_stricmp(k, "Enter") == 0) return VK_RETURN;
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const char* c = argv[1];
    if (strcmp(c, "wait") == 0) {
        HWND w = nxd::wait_console(ms_arg(argc, argv, 2, 20000));
        if (!w) fputs("nxdrive: the console did not appear\n", stderr);
        return w ? 0 : 1;
    }
    if (strcmp(c, "gone") == 0) return nxd::wait_gone(ms_arg(argc, argv, 2, 10000)) ? 0 : 1;
    if (strcmp(c, "park") == 0) {
        nxd::mouse_park();
        return 0;
    }
    HWND w = need();
    if (!w) return 1;
    if (strcmp(c, "cmd") == 0 && argc > 2) {
        nxd::post_command(w, atoi(argv[2]));
        return 0;
    }
    if (strcmp(c, "key") == 0 && argc > 2) {
        UINT vk = key_code(argv[2]);
        if (!vk) return usage();
        nxd::post_key(w, vk);
        return 0;
    }
    if (strcmp(c, "select") == 0 && argc > 2) {
        if (!nxd::tree_select(w, argv[2])) {
            fprintf(stderr, "nxdrive: no tree node \"%s\"\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (strcmp(c, "title") == 0) {
        printf("%s\n", nxd::title(w).c_str());
        return 0;
    }
    if (strcmp(c, "geometry") == 0) {
        printf("%s\n", nxd::geometry(w).c_str());
        return 0;
    }
    if (strcmp(c, "rows") == 0) {
        printf("%d\n", nxd::list_rows(w));
        return 0;
    }
    if (strcmp(c, "cell") == 0 && argc > 3) {
        printf("%s\n", nxd::list_cell(w, atoi(argv[2]), atoi(argv[3])).c_str());
        return 0;
    }
    if (strcmp(c, "table") == 0) {
        for (auto& row : nxd::list_table(w)) {
            for (size_t k = 0; k < row.size(); k++) printf("%s%s", k ? "\t" : "", row[k].c_str());
            printf("\n");
        }
        return 0;
    }
    if (strcmp(c, "waitcell") == 0 && argc > 3) {
        DWORD end = GetTickCount() + ms_arg(argc, argv, 4, 10000);
        int col = atoi(argv[2]);
        size_t len = strlen(argv[3]);
        do {
            for (int r = 0, n = nxd::list_rows(w); r < n; r++)
                if (nxd::list_cell(w, r, col).compare(0, len, argv[3]) == 0) {
                    printf("%d\n", r);
                    return 0;
                }
            Sleep(100);
        } while ((int)(end - GetTickCount()) > 0);
        return 1;
    }
    if (strcmp(c, "waitrows") == 0 && argc > 2) {
        DWORD end = GetTickCount() + ms_arg(argc, argv, 3, 10000);
        do {
            if (nxd::list_rows(w) >= atoi(argv[2])) return 0;
            Sleep(100);
        } while ((int)(end - GetTickCount()) > 0);
        return 1;
    }
    if ((strcmp(c, "click") == 0 || strcmp(c, "dblclick") == 0) && argc > 2) {
        RECT r;
        if (!nxd::row_rect(w, atoi(argv[2]), &r)) return 1;
        // The row's middle, in main-window client coordinates.
        POINT p = {0, (r.top + r.bottom) / 2};
        MapWindowPoints(nxd::list(w), w, &p, 1);
        nxd::mouse_click(w, ms_arg(argc, argv, 3, 160), p.y, c[0] == 'd');
        return 0;
    }
    if (strcmp(c, "dlg") == 0 && argc > 3) {
        HWND d = nxd::wait_dialog(w, argv[2], ms_arg(argc, argv, 4, 10000));
        if (!d) {
            fprintf(stderr, "nxdrive: no dialog \"%s\"\n", argv[2]);
            return 1;
        }
        printf("%s\n", nxd::dialog_text(d).c_str());
        nxd::press(d, atoi(argv[3]));
        return 0;
    }
    if (strcmp(c, "close") == 0) {
        nxd::post_command(w, CMD_EXIT);
        return nxd::wait_gone(ms_arg(argc, argv, 2, 10000)) ? 0 : 1;
    }
    return usage();
}
