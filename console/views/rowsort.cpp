#include "rowsort.h"
#include "model.h"
#include <algorithm>

static inline unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? (unsigned char)(c + 32) : c; }

int cmp_nocase(const char* a, size_t na, const char* b, size_t nb)
{
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; i++) {
        unsigned char x = fold((unsigned char)a[i]), y = fold((unsigned char)b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return na < nb ? -1 : na > nb ? 1 : 0;
}

const std::string& cell_of(const std::vector<std::string>& column, int row)
{
    static const std::string empty;
    return row >= 0 && (size_t)row < column.size() ? column[row] : empty;
}

bool row_less(const std::vector<std::string>* cols, int col, int desc, int a, int b)
{
    if (col < 0 || col >= NCOLS) return false;
    int r = cmp_nocase(cell_of(cols[col], a), cell_of(cols[col], b));
    if (r == 0 && col == COL_NAME) r = cmp_nocase(cell_of(cols[COL_VERS], a), cell_of(cols[COL_VERS], b));
    return desc ? r > 0 : r < 0;
}

namespace {
struct SortKey {
    const char* text;
    const char* tie;
    unsigned len, tielen;
    int row;
};
}  // namespace

void sort_rows(std::vector<int>& rows, const std::vector<std::string>* cols, int col, int desc)
{
    if (col < 0 || col >= NCOLS || rows.size() < 2) return;
    bool tie = col == COL_NAME;
    std::vector<SortKey> keys;
    keys.reserve(rows.size());
    for (int r : rows) {
        const std::string& a = cell_of(cols[col], r);
        const std::string& b = tie ? cell_of(cols[COL_VERS], r) : a;
        keys.push_back({a.data(), b.data(), (unsigned)a.size(), (unsigned)b.size(), r});
    }
    auto order = [tie](const SortKey& a, const SortKey& b) {
        int c = cmp_nocase(a.text, a.len, b.text, b.len);
        if (c == 0 && tie) c = cmp_nocase(a.tie, a.tielen, b.tie, b.tielen);
        return c;
    };
    if (desc)
        std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) { return order(a, b) > 0; });
    else
        std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) { return order(a, b) < 0; });
    for (size_t i = 0; i < keys.size(); i++) rows[i] = keys[i].row;
}
