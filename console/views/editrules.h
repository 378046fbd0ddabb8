// What the editing commands do to the list model, free of Win32: checking a
// package, moving it in the install order, the rows a save writes, the rows
// a progress report names, the order numbers of new rows, the rows a list
// file gives.
#pragma once
#include "model.h"
#include "textenc.h"
#include <stdio.h>
#include <string>
#include <vector>

// Toggles the check of the row at display position p: available or
// excluded becomes ready, ready becomes available; other states stay.
// Other versions of the package (same name and manufacturer, compared
// apart) are crossed out while one is checked and get their state back
// when it is unchecked. Returns true when the row changed.
bool check_row(ListModel& m, int p);

// Shown rows in state IMG_READY.
int ready_count(const ListModel& m);

// The number an "Order" text stands for (0 for none).
long long order_value(const std::string& text);

// Sorts the display by install order: ascending "Order" by number, so 1000
// follows 999; rows of equal number keep their display order.
void sort_by_order(ListModel& m);

// Sorts by install order, then swaps the order numbers of the row shown at
// p and its neighbour before it (earlier) or after it, when the row is a
// package (states IMG_AVAILABLE to IMG_INSTALLED), and sorts again.
// Returns the row's display position afterwards, -1 when p shows no row.
int move_row(ListModel& m, int p, bool earlier);

// Data rows a save writes, in install order: ready and installed rows.
std::vector<int> rows_to_save(const ListModel& m);

// Data rows among the first n shown that are listed (IMG_LISTED) and whose
// name and manufacturer equal name and comp (whole text, case-sensitive):
// the rows a progress report of the service names. Returns whether any of
// the n rows is listed.
bool info_rows(const ListModel& m, int n, const char* name, const char* comp, std::vector<int>& out);

// First order number for rows added now: above every existing one.
int next_order(const ListModel& m);

// What a row shows for the install result recorded for its version: code
// -1 (no "code") "failed to install" in its own state; a success code the
// installed state with the time as status; any other code an empty status
// in its own state. Returns the state and sets status.
int result_row(int code, const char* time, int state, std::string& status);

// Row state of a record read from a list: by its "stat=" text and the mode.
int list_row_state(const char* stat, int admin);

// Reads a whole list file (listfile.h) from f and appends one row per
// record to the model. Returns the number of records; info as for
// for_each_record.
int read_list(FILE* f, int admin, ListModel& m, TextInfo* info = nullptr);
