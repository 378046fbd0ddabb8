// The inventory file: comma-separated fields, first line the headers.
// No quoting, escaping or trimming. Free of Win32.
#pragma once
#include <stdio.h>
#include <string>
#include <vector>

// Splits a piece (its line feed removed) at every ",".
void split_fields(const char* text, std::vector<std::string>& out);

// Reads f (opened in binary mode, in any encoding that textenc.h reads)
// in pieces of at most 259 characters. The first piece's fields
// become the headers (at most maxcols); every later piece appends one row
// to the model with the picture image: surplus fields are dropped and
// missing ones are empty. Returns the row count.
class ListModel;
int read_csv(FILE* f, int maxcols, std::vector<std::string>& headers, ListModel& m, int image);
