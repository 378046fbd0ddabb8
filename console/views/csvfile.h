// The inventory file: comma-separated fields, first line the headers.
// No quoting, escaping or trimming. Free of Win32.
#pragma once
#include <stdio.h>
#include <string>
#include <vector>

// Splits a piece (its line feed removed) at every ",".
void split_fields(const char* text, std::vector<std::string>& out);

// Reads f in pieces of at most 259 characters. The first piece's fields
// become the headers (at most maxcols); every later piece appends one row
// to cols[0..maxcols-1]: surplus fields are dropped and missing ones are
// empty, so all columns keep the same length. Returns the row count.
int read_csv(FILE* f, int maxcols, std::vector<std::string>& headers, std::vector<std::string>* cols,
             std::vector<int>& rows, std::vector<int>& images, int image);
