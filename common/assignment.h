// The share's assignment file and group files, read as pkg_find and the
// service both read them: plain functions over streams and strings, free of
// Win32.
#pragma once
#include "listfile.h"
#include "textenc.h"
#include "winerr.h"
#include <stdio.h>
#include <string>
#include <vector>

// Removes every white-space character anywhere in the line; a line of
// white space only is left as it is.
void strip_blanks(std::string& line);

// Reads a file line by line from a stream opened in binary mode: decoded
// to the code page (textenc.h), then the way the runtime's text mode would
// present it: CR LF becomes LF and a Ctrl-Z ends the file. Zero bytes are
// dropped. Lines of any length come whole.
class LineReader {
public:
    explicit LineReader(FILE* f, TextInfo* info = nullptr);
    // The next line, with its line feed when it has one; false at the end.
    bool next(std::string& line);

private:
    TextInfo own;
    TextIn in;
    const char* p = nullptr;  // the stretch of text being read
    size_t n = 0, pos = 0;
    bool ended = false;
};

// Forms "<name>=" into key (NX_PATH characters). A missing name, or one too
// long for the key, leaves the key empty, which matches no line.
// Returns 0 when a key was formed, 1 when it was left empty.
int make_device_key(char* key, size_t size, const char* name);

// Appends the groups of one assignment line (line feed already removed)
// when the line belongs to the device: after the blanks are stripped and
// unless it holds ";", it must begin with the key. Names of fewer than two
// characters are skipped.
void parse_assignment_line(std::string line, const char* key, std::vector<std::string>& groups);

// All groups of the device in an assignment file (opened in binary mode),
// in file order.
void read_assignments(FILE* f, const char* key, std::vector<std::string>& groups, TextInfo* info = nullptr);

// Appends the lines of a group file (opened in binary mode) that hold no
// ";", each with its line end.
void read_group_lines(FILE* f, std::vector<std::string>& lines, TextInfo* info = nullptr);

// Why a file of the share gave less than its whole text, 0 when it was read
// through or is simply not there: an open error other than "not found", a
// read that failed, or "not found" because its folder can no longer be
// reached. folder_error is the error of reaching the file's folder (0 when
// it is there); callers need it only when the file did not open or failed.
unsigned long share_read_error(bool opened, bool read_failed, unsigned long open_error, unsigned long folder_error);

// The package sections of a group file's lines (as read_group_lines gives
// them), as the device package list written from those lines reads back:
// take(reader) for each record.
template <class Take> void for_each_group_record(const std::vector<std::string>& lines, Take take)
{
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        if (text.empty() || text.back() != '\n') text += '\n';
    }
    ListReader rd;
    char buf[LIST_PIECE];
    TextPieces pieces(text);
    while (size_t len = pieces.next(buf, sizeof buf))
        if (rd.piece(buf, len)) take(rd);
}
