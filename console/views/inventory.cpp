// Inventory files: comma-separated text beside the program, shown read-only.
#include "views.h"
#include "csvfile.h"
#include "log.h"
#include "scoped.h"
#include "shell.h"
#include "strutil.h"

void ReadCSV(int index)
{
    Clear(CLEAR_EMPTY);
    int node = index - CSV_FIRST_NODE;
    if (node >= 0 && node < (int)(sizeof mcsv / sizeof mcsv[0]) && mcsv[node]) {
        mview = VIEW_INVENTORY;
        char folder[NX_PATH], path[NX_PATH] = "";
        program_folder(folder, sizeof folder);
        // A cut path would open some other file.
        ScopedFile f;
        if (!fmt_str(path, "%s\\%s", folder, mtvw.get_item_text(mcsv[node]))) f.reset(fopen(path, "rb"));
        int n = 0;
        if (f) {
            std::vector<std::string> headers;
            // The model has six columns; a wider file shows its first six.
            n = read_csv(f.get(), NCOLS, headers, mmodel, IMG_SHEET);
            f.reset();
            for (size_t k = 0; k < headers.size(); k++) mlvw.insert_column(headers[k].c_str(), (int)k, 0, 0);
        }
        mobjects = n;
        mlvw.set_item_count(n);
        // Sorted also when it could not be opened, as an empty view.
        if (strstr(path, "Software.csv")) OnSort();
    }
    OnSize();
    log_line(mlog, "ReadCSV (%d) OK ...\n", index);
}
