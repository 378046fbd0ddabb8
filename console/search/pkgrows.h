// Turning found script paths into new package rows; plain data, no
// platform calls.
#pragma once
#include "winerr.h"
#include <stdio.h>
#include <string>
#include <vector>

struct SearchRow {
    std::string name, comp, vers, path;
    bool held = true;  // false: the code page cannot hold some folder's name
};

// Appends a row for each path that is not among the shown Script texts
// (exact, case-sensitive, whole text), fits a path buffer and splits into
// a package identity (sharelayout.h); the interface thread numbers them when it takes
// them over. Logs each path that is not shown, each that is skipped for its
// length, and those whose names the code page could not hold (NOT_HELD)
// once more with the code page: their rows are marked, never to be checked
// or run.
void build_rows(const std::vector<const char*>& paths, const std::vector<std::string>& shown,
                std::vector<SearchRow>& rows, FILE* log);

// Whether a folder listing that stopped with this error left entries out
// (on a network drive: a lost or hung server). The first call of a listing
// may only find no folder or no match; a following call may only reach the
// end. A first call that reports "no more files" has lost the folder's own
// entries, which "*.*" always matches.
bool listing_failed(unsigned long error, bool first);

// The error that makes a walk incomplete although each of its listings ended
// normally, 0 when none: the top folder could be listed at the start but no
// longer at the end, or it is a drive's root, which is always there (an
// empty one lists nothing). at_start and at_end are the errors of listing
// the top then (0 when it listed).
unsigned long walk_end_error(unsigned long at_start, unsigned long at_end, bool root);
