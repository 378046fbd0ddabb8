// The package list file in the console (which file, the title, the file
// dialogs) and the install results the service left in the registry.
#include "sharelayout.h"
#include "views.h"
#include "creg.h"
#include "listfile.h"
#include "log.h"
#include "resource.h"
#include "rowsort.h"
#include "editrules.h"
#include "safefile.h"
#include "service_contract.h"
#include "shell.h"
#include "strutil.h"
#include <commdlg.h>
#include <stdlib.h>
#include <algorithm>
#include <unordered_set>

static std::string ascii_lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    return s;
}

// How the list last read was written: an administrator's list is saved back
// in its own encoding, and one holding names the code page cannot hold is
// not saved at all, since those names would be lost.
static TextInfo mlistinfo;

// Set when the last title had to be cut: it then no longer names the list,
// and a toolbar save must not write to whatever the cut text names.
static int mtitlecut;

// The title "NXSvc Console - <name>", or the program's name alone for a
// null name.
static void set_title(const char* name)
{
    mtitlecut = name ? fmt_str(mwin.title, "%s - %s", NX_CONSOLE_TITLE, name) : copy_str(mwin.title, NX_CONSOLE_TITLE);
    if (mwin.window) SetWindowTextA(mwin.window, mwin.title);
}

// Open or Save dialog for a list file; starts in the share's "cfg" folder
// when the share is connected. Leaves path empty when nothing was chosen.
static bool list_dialog(char (&path)[NX_PATH], bool save)
{
    path[0] = 0;
    char dir[NX_PATH];
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = mwin.window;
    ofn.lpstrFilter = "Package lists (*.ini)\0*.ini\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    if (mncfg.conn && !fmt_str(dir, "%s\\" SHARE_CFG, mncfg.ndrv)) ofn.lpstrInitialDir = dir;
    // The program's folder stays the current directory (the help file is
    // opened relative to it).
    ofn.Flags = OFN_NOCHANGEDIR;
    BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    // On failure the buffer may hold a required size instead of a name.
    if (!ok) path[0] = 0;
    return ok != 0;
}

void ReadINI()
{
    Clear(CLEAR_PACKAGES);
    char path[NX_PATH] = "";
    if (!madmin) {
        get_file(path, (char*)SVC_LIST_FILE);
        set_title(SVC_LIST_FILE);
    } else {
        list_dialog(path, false);
        mtvw.select_item(mpkgs);
        // The view is emptied: until a list opens, the title names none, so
        // a toolbar save cannot write the empty view over the last list.
        set_title(nullptr);
    }
    int n = 0;
    mlistinfo = TextInfo();
    ScopedFile f(path[0] ? fopen(path, "rb") : nullptr);
    if (f) {
        if (madmin) set_title(path);
        n = read_list(f.get(), madmin, mmodel, &mlistinfo);
    }
    if (mlistinfo.lost) {
        std::string at = lost_lines_text(mlistinfo);
        log_line(mlog, "ReadINI (%s) line %s not in code page %u, failed: %d\n", path, at.c_str(),
                 ansi_code_page().id, (int)ERROR_NO_UNICODE_TRANSLATION);
    }
    mobjects = n;
    mlvw.set_item_count(n);
    log_line(mlog, "ReadINI (%s) OK ...\n", path);
}

void WriteSection(int r, FILE* f)
{
    if (r < 0 || !f) return;
    write_section(f, cell_of(mcols[COL_NAME], r).c_str(), cell_of(mcols[COL_COMP], r).c_str(),
                  cell_of(mcols[COL_VERS], r).c_str(), cell_of(mcols[COL_PATH], r).c_str());
}

// fmt names the file with one "%s".
static void save_error(const char* fmt, const char* path)
{
    char text[2 * NX_PATH];
    snprintf(text, sizeof text, fmt, path);
    MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
}

// An administrator's list with names the code page cannot hold is not
// saved: those names would be lost. True when the save is refused.
static bool refuse_lost_names()
{
    if (!madmin || !mlistinfo.lost) return false;
    char text[2 * NX_PATH];
    snprintf(text, sizeof text,
             "This list holds names that code page %u cannot hold. Edit it with a text editor; "
             "saving it here would lose them.",
             ansi_code_page().id);
    log_line(mlog, "OnSave () not in code page %u, failed: %d\n", ansi_code_page().id,
             (int)ERROR_NO_UNICODE_TRANSLATION);
    MessageBoxA(mwin.window, text, "Error", MB_OK | MB_ICONERROR);
    return true;
}

// The file to save to: the device list, the list the title names (the
// toolbar's save in admin mode) or the one chosen in the Save dialog. False
// when the user cancelled the dialog.
static bool save_path(char (&path)[NX_PATH])
{
    path[0] = 0;
    if (!madmin) {
        get_file(path, (char*)SVC_LIST_FILE);
    } else if (msavehot) {
        // The title reads "NXSvc Console - <path>".
        const char* dash = strchr(mwin.title, '-');
        if (dash && dash[1] && !mtitlecut) copy_str(path, dash + 2);
    } else {
        return list_dialog(path, true);
    }
    return true;
}

// Says why path could not be opened (nothing when the user cancelled).
static void open_failed(const char* path, bool chosen)
{
    log_line(mlog, "Could not open %s!\n", path);
    // No path: the toolbar's save while no list is open, or no data
    // folder for the device list.
    if (chosen && !path[0] && madmin)
        save_error("No package list is open: choose %s to name the file.", "\"Save Package List\"");
    else if (chosen)
        save_error("Could not open %s!", path[0] ? path : SVC_LIST_FILE);
    log_line(mlog, "OnSave (%s) OK ...\n", path);
}

// The rows to install, in install order, as sections in enc.
static void write_rows(FILE* f, TextEncoding enc)
{
    if (enc == ENC_ANSI) {
        for (int r : rows_to_save(mmodel)) WriteSection(r, f);
        return;
    }
    std::string text, bytes;
    for (int r : rows_to_save(mmodel))
        for (char c : section_text(cell_of(mcols[COL_NAME], r).c_str(), cell_of(mcols[COL_COMP], r).c_str(),
                                   cell_of(mcols[COL_VERS], r).c_str(), cell_of(mcols[COL_PATH], r).c_str())) {
            if (c == '\n') text += '\r';  // as text mode writes it
            text += c;
        }
    encode_text(text, enc, ansi_code_page(), bytes);
    fwrite(bytes.data(), 1, bytes.size(), f);
}

int OnSave()
{
    if (mview != VIEW_PACKAGES) {
        // Another view is shown: its rows are not packages, and writing
        // them would empty the list. The file stays as it was.
        log_line(mlog, "OnSave () no package list shown ...\n");
        return 0;
    }
    if (refuse_lost_names()) return 1;
    char path[NX_PATH];
    bool chosen = save_path(path);
    // Written beside the list and put in place at the end, so a failure
    // half-way never leaves a half list for the service.
    // Lists are written in the code page, but a list an administrator
    // keeps in another encoding goes back in it.
    TextEncoding enc = madmin ? mlistinfo.enc : ENC_ANSI;
    SafeFile out;
    if (!safe_open(out, path, enc == ENC_ANSI ? "wt" : "wb")) {
        open_failed(path, chosen);
        return 1;
    }
    // Install order is ascending "Order", whatever the last header click
    // left: a descending display must not reverse the file.
    OnSortByOrder();
    write_rows(out.f, enc);
    int failed = !safe_commit(out);
    if (failed) {
        log_line(mlog, "Could not write %s!\n", path);
        save_error("Could not write %s!", path);
    }
    log_line(mlog, "OnSave (%s) OK ...\n", path);
    return failed ? 1 : 0;
}

// The result keys that exist two levels below the packages key
// ("manufacturer\name", ASCII letters in lower case, as the registry
// ignores their case). False when they could not be listed.
static bool result_keys(std::unordered_set<std::string>& out)
{
    CReg reg;
    std::vector<std::string> comps;
    if (reg.SubKeys(SVC_ROOT, NX_KEY_PKGS, comps)) return false;
    for (const std::string& comp : comps) {
        std::vector<std::string> names;
        if (reg.SubKeys(SVC_ROOT, (NX_KEY_PKGS "\\" + comp).c_str(), names)) return false;
        for (const std::string& name : names) out.insert(ascii_lower(comp + "\\" + name));
    }
    return true;
}

// Whether the result key of a package may exist: its first two parts are
// among the listed keys. Texts with other than ASCII characters are always
// read, since their case folding is the registry's own.
static bool may_have_result(const std::unordered_set<std::string>& keys, const std::string& comp, const std::string& name)
{
    std::string rel = comp + "\\" + name;
    for (unsigned char c : rel)
        if (c >= 0x80) return true;
    size_t second = rel.find('\\', rel.find('\\') + 1);
    return keys.count(ascii_lower(rel.substr(0, second))) != 0;
}

void ReadREG()
{
    CReg reg;
    // A long list holds mostly packages that were never installed: one look
    // at the keys that exist spares a registry call per such row.
    std::unordered_set<std::string> keys;
    bool listed = result_keys(keys);
    for (size_t i = 0; i < mrows.size() && i < mimages.size(); i++) {
        const std::string& comp = cell_of(mcols[COL_COMP], (int)i);
        const std::string& name = cell_of(mcols[COL_NAME], (int)i);
        if (listed && !may_have_result(keys, comp, name)) continue;
        char key[NX_PATH];
        // A cut path would name another package's key.
        if (fmt_str(key, SVC_RESULT_KEY, NX_KEY_PKGS, comp.c_str(), name.c_str())) continue;
        const char* vers = reg.ReadStr(SVC_ROOT, key, SVC_RES_VERS);
        if (!vers || cell_of(mcols[COL_VERS], (int)i) != vers) continue;
        int code = reg.ReadNum(SVC_ROOT, key, SVC_RES_CODE);
        char time[NX_PATH] = "";
        // Read twice on purpose (CReg::ReadStr).
        if (svc_code_installed(code) && reg.ReadStr(SVC_ROOT, key, SVC_RES_TIME))
            copy_str(time, reg.ReadStr(SVC_ROOT, key, SVC_RES_TIME));
        std::string status;
        mmodel.set_state((int)i, result_row(code, time, mimages[i], status));
        mmodel.set_cell((int)i, COL_STAT, status);
    }
    log_line(mlog, "ReadREG () OK ...\n");
}
