// The package list file: sections of "comp=", "name=", "path=", "vers="
// lines, read in pieces of at most 259 characters. No Win32 here, so the
// format also builds and runs natively.
#pragma once
#include "model.h"
#include "strutil.h"
#include "textenc.h"
#include <stdio.h>
#include <string>
#include <vector>

enum { LIST_PIECE = 260 };  // 259 characters and the terminating zero

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
    bool piece(char* text);
};

// Row state of a record read from a list: by its "stat=" text and the mode.
int list_row_state(const char* stat, int admin);

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
    std::string text;
    TextInfo own;
    read_text(f, ansi_code_page(), text, info ? *info : own);
    TextPieces pieces(text);
    while (pieces.next(buf, sizeof buf))
        if (rd.piece(buf)) take(rd);
    return rd.n;
}

// The status of a record whose names the code page could not hold; such a
// row can be neither checked nor saved, and the service never runs it.
void not_held_status(char (&out)[64], unsigned cp);

// Reads a whole list from f and appends one row per record to the model.
// Returns the number of records. Inline, so that a program that only
// parses lists (the service) needs no model.
inline int read_list(FILE* f, int admin, ListModel& m, TextInfo* info = nullptr)
{
    return for_each_record(
        f,
        [&](const ListReader& rd) {
            char order[16], status[64];
            format_order(order, rd.n - 1);
            bool held = !rd.not_held();
            if (!held) not_held_status(status, ansi_code_page().id);
            const char* const cells[NCOLS] = {rd.name, rd.comp, rd.vers, rd.path, held ? rd.stat : status, order};
            m.append(cells, NCOLS, held ? list_row_state(rd.stat, admin) : IMG_LISTED);
        },
        info);
}

// One section as text ("\n" line ends), empty unless all four texts are
// non-empty.
std::string section_text(const char* name, const char* comp, const char* vers, const char* path);

// Writes one section when all four texts are non-empty and flushes it.
// Returns 1 when written, 0 when skipped.
int write_section(FILE* f, const char* name, const char* comp, const char* vers, const char* path);
