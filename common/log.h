// Log lines: "<stamp>\t<text>\n", one formatted write and a flush each.
#pragma once
#include <stdio.h>
#include "strutil.h"

// Local time as "%i-%2.2d-%2.2d %2.2d:%2.2d:%2.2d"; valid until this
// thread's next call.
const char* time_stamp();

// Formats a stamp from explicit fields (shared by time_stamp and tests).
void format_stamp(char* buf, size_t n, int year, int month, int day, int hour, int minute, int second);

// Writes one line when the stream is open. fmt holds the text after the
// stamp and tab, including its "\n".
NX_PRINTF(2, 3) void log_line(FILE* f, const char* fmt, ...);
