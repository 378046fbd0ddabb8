// The list model behind the owner-data list: six text columns indexed by
// data row, the display order and the row pictures. ListModel is the only
// code that changes them; everything else reads them through mcols, mrows
// and mimages. Free of Win32.
#pragma once
#include <map>
#include <string>
#include <vector>

enum { COL_NAME = 0, COL_COMP, COL_VERS, COL_PATH, COL_STAT, COL_ORDER, NCOLS };

// Pictures of the 16-pixel strip (bitmap 105) that the tree and the list
// share. In the package views a row's picture is its state.
enum Picture {
    IMG_COMPUTER = 0,     // tree root; configuration row "UNC Path"
    IMG_NETDRIVE = 1,     // configuration row "Drive"
    IMG_FOLDER = 2,       // tree node "Packages"
    IMG_FOLDER_GREY = 3,  // tree node "Inventory" and its files
    IMG_AVAILABLE = 4,
    IMG_READY = 5,
    IMG_EXCLUDED = 6,
    IMG_LISTED = 7,
    IMG_INSTALLED = 8,
    IMG_USER = 9,    // configuration row "User"
    IMG_KEY = 10,    // configuration row "Password"
    IMG_CLOCK = 11,  // the four configuration time rows
    IMG_SHEET = 12,  // inventory rows; configuration row "Stop service ..."
};

using Columns = std::vector<std::string>[NCOLS];

class ListModel {
public:
    // Empties the columns, the display order and the states.
    void clear();
    // Appends a data row with cells[0..n-1] (the other columns empty) and
    // the picture image, shown after every displayed row. Returns its index.
    int append(const char* const* cells, int n, int image);
    int append(const std::string* cells, int n, int image);
    // Cell col of data row r; rows and columns that do not exist are left.
    void set_cell(int r, int col, const std::string& text);
    // Picture of data row r. set_prior saves a listed or installed state
    // with the row's status text at that moment (0 forgets it), so that
    // undoing a check can give both back.
    void set_state(int r, int image);
    void set_prior(int r, int image);
    int prior(int r) const { return valid(r) ? mprior[r] : 0; }
    const std::string& prior_status(int r) const;
    // Sorts the display order by column col (rowsort.h).
    void sort(int col, int desc);
    // Puts the display order in place: a permutation of the shown rows.
    void set_order(const std::vector<int>& rows);
    // Takes display position p out of the view; the data row stays.
    void remove_shown(int p);

    bool valid(int r) const { return r >= 0 && (size_t)r < mimages.size(); }
    int data_rows() const { return (int)mimages.size(); }
    const Columns& columns() const { return mcols; }
    const std::vector<int>& rows() const { return mrows; }
    const std::vector<int>& images() const { return mimages; }

private:
    // Every column, mimages and mprior have one length: the data rows.
    Columns mcols;
    std::vector<int> mrows;    // display position -> data row
    std::vector<int> mimages;  // picture per data row
    // State a listed or installed row had before another version of it was
    // checked (0 for none), so unchecking restores it.
    std::vector<int> mprior;
    std::map<int, std::string> mpriorstat;  // status text by data row, for the few with a prior
};

// The console's one model, and read-only views of its storage.
extern ListModel mmodel;
extern const Columns& mcols;
extern const std::vector<int>& mrows;
extern const std::vector<int>& mimages;
