// Assignment file, group files and the package columns of the report:
// plain functions over streams and strings, free of Win32.
#pragma once
#include "chtml.h"  // html_escape
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

// Forms "<name>=" into key (260 characters). A missing name, or one too
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

// The word after "key" (such as "name=") when the entry begins with it:
// blanks after the key skipped, the word ends at white space. Cut to 259
// characters. False when the entry does not begin with the key or no word
// follows.
bool key_word(const std::string& entry, const char* key, std::string& word);

// The report's package columns from the line list: an entry holding "<b>"
// gives a bold row with "---", "name=" and "vers=" words give names and
// versions. Texts from the files are escaped; a leading "<b>" stays markup.
void build_package_columns(const std::vector<std::string>& lines, std::vector<std::string>& names,
                           std::vector<std::string>& versions);

// Writes the entries that hold no "<b>" in order, in one write, to a stream
// opened in binary mode: line ends are written as CR LF on Windows, as text
// mode would. An entry without a line end gets one, so the last line of one
// group never runs into the next.
void write_device_list(FILE* f, const std::vector<std::string>& lines);

// Why a file of the share gave less than its whole text, 0 when it was read
// through or is simply not there: an open error other than "not found", a
// read that failed, or "not found" because its folder can no longer be
// reached. folder_error is the error of reaching the file's folder (0 when
// it is there); callers need it only when the file did not open or failed.
unsigned long share_read_error(bool opened, bool read_failed, unsigned long open_error, unsigned long folder_error);
