// Row order: columns of any texts and lengths (cells may be missing) sort
// into a permutation of the rows that row_less finds ordered, by every
// column and in both directions.
#include "fuzzutil.h"
#include "model.h"
#include "rowsort.h"
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> cols[NCOLS];
    // Cells are the texts between zero bytes, dealt to the columns in turn;
    // a 0xff byte skips a column, so columns end up of unequal length.
    int col = 0;
    std::string cell;
    for (size_t i = 0; i < size && cols[0].size() < 400; i++) {
        if (data[i] == 0xff) {
            col = (col + 1) % NCOLS;
        } else if (data[i] == 0) {
            cols[col].push_back(cell);
            cell.clear();
            col = (col + 1) % NCOLS;
        } else {
            cell += (char)data[i];
        }
    }
    size_t n = 0;
    for (const auto& c : cols) n = std::max(n, c.size());
    for (int c = 0; c < NCOLS; c++)
        for (int desc = 0; desc < 2; desc++) {
            std::vector<int> rows(n);
            for (size_t i = 0; i < n; i++) rows[i] = (int)i;
            sort_rows(rows, cols, c, desc);
            for (size_t i = 1; i < rows.size(); i++) FUZZ_CHECK(!row_less(cols, c, desc, rows[i], rows[i - 1]));
            std::vector<int> sorted = rows;
            std::sort(sorted.begin(), sorted.end());
            for (size_t i = 0; i < n; i++) FUZZ_CHECK(sorted[i] == (int)i);
        }
    return 0;
}
