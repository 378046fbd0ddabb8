// The list model behind the owner-data list: six text columns indexed by
// data row, the display order and the row pictures.
#pragma once
#include <string>
#include <vector>

enum { COL_NAME = 0, COL_COMP, COL_VERS, COL_PATH, COL_STAT, COL_ORDER, NCOLS };

enum {
    IMG_AVAILABLE = 4,
    IMG_READY = 5,
    IMG_EXCLUDED = 6,
    IMG_LISTED = 7,
    IMG_INSTALLED = 8,
    IMG_SHEET = 12,
};

extern std::vector<std::string> mcols[NCOLS];
extern std::vector<int> mrows;    // display position -> data row
extern std::vector<int> mimages;  // picture per data row
// State a listed or installed row had before another version of it was
// checked (per data row, 0 for none), so unchecking restores it.
extern std::vector<int> mprior;
