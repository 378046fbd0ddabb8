// Assignment file, group files and the package columns of the report:
// plain functions over streams and strings, free of Win32.
#pragma once
#include <stdio.h>
#include <string>
#include <vector>

// Removes every white-space character anywhere in the line; a line of
// white space only is left as it is.
void strip_blanks(std::string& line);

// Reads one line, with its line feed when it has one. The stream is read in
// pieces of at most 259 characters; the pieces of a longer line are joined
// so that a long line is judged and copied as one. False at end of file.
bool read_line(FILE* f, std::string& line);

// Forms "<name>=" into key (260 characters). A missing name, or one too
// long for the key, leaves the key empty, which matches no line.
// Returns 0 when a key was formed, 1 when it was left empty.
int make_device_key(char* key, size_t size, const char* name);

// Appends the groups of one assignment line (line feed already removed)
// when the line belongs to the device: after the blanks are stripped and
// unless it holds ";", it must begin with the key. Names of fewer than two
// characters are skipped.
void parse_assignment_line(std::string line, const char* key, std::vector<std::string>& groups);

// All groups of the device in an assignment file, in file order.
void read_assignments(FILE* f, const char* key, std::vector<std::string>& groups);

// Appends the lines of a group file that hold no ";", each with its line end.
void read_group_lines(FILE* f, std::vector<std::string>& lines);

// Text for an HTML document: & < > " ' as entities.
std::string html_escape(const char* text);
inline std::string html_escape(const std::string& text) { return html_escape(text.c_str()); }

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

// Writes the entries that hold no "<b>" in order; an entry without a line
// end gets one, so the last line of one group never runs into the next.
void write_device_list(FILE* f, const std::vector<std::string>& lines);
