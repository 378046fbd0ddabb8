// Turning found script paths into new package rows; plain data, no
// platform calls.
#pragma once
#include <stdio.h>
#include <string>
#include <vector>

struct SearchRow {
    std::string name, comp, vers, path, order;
};

// Splits the last four parts off a script path, from the end: file name,
// version, package name, manufacturer. A part with no backslash before it
// is empty. Each buffer holds 260 characters.
void split_parts(const char* path, char* file, char* vers, char* name, char* comp);

// Appends a row for each path that is not among the shown Script texts
// (exact, case-sensitive, whole text) and splits into four non-empty
// parts; orders are numbered from n. Logs each path that is not shown.
// Returns the next order number.
int build_rows(const std::vector<const char*>& paths, const std::vector<std::string>& shown, int n,
               std::vector<SearchRow>& rows, FILE* log);
