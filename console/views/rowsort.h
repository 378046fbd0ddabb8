// Row comparison of the list model, free of Win32.
#pragma once
#include <stddef.h>
#include <string>
#include <vector>

// Compares without regard to ASCII letter case; other bytes by unsigned
// value. <0, 0, >0 like strcmp.
int cmp_nocase(const char* a, size_t na, const char* b, size_t nb);
inline int cmp_nocase(const std::string& a, const std::string& b)
{
    return cmp_nocase(a.data(), a.size(), b.data(), b.size());
}

// The cell of a column, or the empty text when the column has no such row.
const std::string& cell_of(const std::vector<std::string>& column, int row);

// Whether data row a goes before data row b when sorting by column col
// (ascending unless desc). Equal names fall back to the version. Cells
// missing from a column compare as the empty text, so this is a strict
// weak ordering for any input.
bool row_less(const std::vector<std::string>* cols, int col, int desc, int a, int b);

// Sorts the display order rows by row_less (unstable, like std::sort). The
// cells are gathered into a key array first, so the sort moves small
// records and never looks a text up through the model.
void sort_rows(std::vector<int>& rows, const std::vector<std::string>* cols, int col, int desc);
