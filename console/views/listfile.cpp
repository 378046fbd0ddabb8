#include "listfile.h"
#include "model.h"
#include <string.h>

static void set_field(char* field, const char* value)
{
    // A piece holds at most 259 characters, so every value fits.
    snprintf(field, LIST_PIECE, "%s", value);
}

bool ListReader::piece(char* text)
{
    size_t len = strlen(text);
    if (len && text[len - 1] == '\n') text[--len] = 0;
    if (len == 0) {
        // only the commit test
    } else if (text[0] == '[') {
        name[0] = comp[0] = vers[0] = path[0] = stat[0] = 0;
        open = true;
    } else if (const char* eq = strchr(text, '=')) {
        const char* value = eq + 1;
        // Each key is looked for anywhere in the piece, independently.
        if (strstr(text, "name=")) set_field(name, value);
        if (strstr(text, "comp=")) set_field(comp, value);
        if (strstr(text, "vers=")) set_field(vers, value);
        if (strstr(text, "path=")) set_field(path, value);
        if (strstr(text, "stat=")) set_field(stat, value);
    }
    if (open && name[0] && comp[0] && vers[0] && path[0]) {
        open = false;
        n++;
        return true;
    }
    return false;
}

int list_row_state(const char* stat, int admin)
{
    if (!stat || !stat[0]) return admin ? IMG_INSTALLED : IMG_LISTED;
    if (strcmp(stat, "available") == 0) return IMG_AVAILABLE;
    // A time stamp, as the install results carry it.
    return strchr(stat, ':') ? IMG_INSTALLED : IMG_LISTED;
}

int read_list(FILE* f, int admin, std::vector<std::string>* cols, std::vector<int>& rows, std::vector<int>& images)
{
    ListReader rd;
    char buf[LIST_PIECE];
    while (fgets(buf, sizeof buf, f)) {
        if (!rd.piece(buf)) continue;
        int row = (int)cols[COL_NAME].size();
        char order[16];
        snprintf(order, sizeof order, "%03d", rd.n - 1);
        cols[COL_NAME].emplace_back(rd.name);
        cols[COL_COMP].emplace_back(rd.comp);
        cols[COL_VERS].emplace_back(rd.vers);
        cols[COL_PATH].emplace_back(rd.path);
        cols[COL_STAT].emplace_back(rd.stat);
        cols[COL_ORDER].emplace_back(order);
        rows.push_back(row);
        images.push_back(list_row_state(rd.stat, admin));
    }
    return rd.n;
}

int write_section(FILE* f, const char* name, const char* comp, const char* vers, const char* path)
{
    if (!f || !name || !comp || !vers || !path) return 0;
    if (!name[0] || !comp[0] || !vers[0] || !path[0]) return 0;
    fprintf(f, "[%s %s]\ncomp=%s\nname=%s\npath=%s\nvers=%s\n\n", comp, name, comp, name, path, vers);
    fflush(f);
    return 1;
}
