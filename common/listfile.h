// The device package list file, as the console, the library and the
// service read and write it: sections of "comp=", "name=", "path=", "vers="
// lines, read in pieces of at most 259 characters. No Win32 here, so the
// format also builds and runs natively.
#pragma once
#include "strutil.h"
#include "textenc.h"
#include <stdio.h>
#include <string.h>
#include <string>

enum { LIST_PIECE = NX_PATH };  // a line is read in pieces that fit the fields

// The reader's working state for one read.
struct ListReader {
    char name[LIST_PIECE] = {};
    char comp[LIST_PIECE] = {};
    char vers[LIST_PIECE] = {};
    char path[LIST_PIECE] = {};
    char stat[LIST_PIECE] = {};
    bool open = false;  // a "[" line was seen and no record taken since
    int n = 0;          // records taken so far

    // Whether a text of the record holds a character the code page could
    // not hold (NOT_HELD): the package is named by its folders and its
    // results key, so such a record can be neither run nor recorded.
    bool not_held() const
    {
        return has_not_held(name) || has_not_held(comp) || has_not_held(vers) || has_not_held(path);
    }

    // Takes one piece as fgets returned it (the line feed, if any, is
    // removed here). Returns true when the piece completed a record: the
    // fields then hold it until the next "[" line.
    bool piece(char* text) { return piece(text, strlen(text)); }
    // The same for a piece of len characters without a zero among them, as
    // TextPieces gives them.
    bool piece(char* text, size_t len);
};

// The install order text of record n: "%03d".
void format_order(char (&out)[16], int n);

// Reads a whole list from f (opened in binary mode, in any encoding that
// textenc.h reads) and calls take(reader) for each record, the reader's
// fields holding it. Returns the number of records; info, when given, says
// how the file was written and what the code page could not hold.
template <class Take> int for_each_record(FILE* f, Take take, TextInfo* info = nullptr)
{
    ListReader rd;
    char buf[LIST_PIECE];
    TextInfo own;
    TextIn text(f, ansi_code_page(), info ? *info : own);
    TextPieces pieces(text);
    while (size_t len = pieces.next(buf, sizeof buf))
        if (rd.piece(buf, len)) take(rd);
    return rd.n;
}

// The status of a record whose names the code page could not hold; such a
// row can be neither checked nor saved, and the service never runs it.
void not_held_status(char (&out)[64], unsigned cp);

// One section as text ("\n" line ends), empty unless all four texts are
// non-empty.
std::string section_text(const char* name, const char* comp, const char* vers, const char* path);

// Writes one section when all four texts are non-empty and flushes it.
// Returns 1 when written, 0 when skipped.
int write_section(FILE* f, const char* name, const char* comp, const char* vers, const char* path);
