// Assignment file, group files and the package columns of the report:
// plain functions over streams and strings, free of Win32.
#pragma once
#include "chtml.h"  // html_escape
#include "assignment.h"
#include "textenc.h"
#include "winerr.h"
#include <string>
#include <vector>

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

// The device list's bytes: the entries that hold no "<b>", in order, for a
// stream opened in binary mode, line ends as CR LF on Windows, as text mode
// would write them. An entry without a line end gets one, so the last line
// of one group never runs into the next.
std::string device_list_text(const std::vector<std::string>& lines);

