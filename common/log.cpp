#include "log.h"
#include <stdarg.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

void format_stamp(char* buf, size_t n, int year, int month, int day, int hour, int minute, int second)
{
    snprintf(buf, n, "%i-%2.2d-%2.2d %2.2d:%2.2d:%2.2d", year, month, day, hour, minute, second);
}

const char* time_stamp()
{
    // Per thread: the search thread logs while the interface thread does.
    static thread_local char stamp[64];
#ifdef _WIN32
    SYSTEMTIME t;
    GetLocalTime(&t);
    format_stamp(stamp, sizeof stamp, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
#else
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    format_stamp(stamp, sizeof stamp, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
#endif
    return stamp;
}

void log_line(FILE* f, const char* fmt, ...)
{
    if (!f) return;
    // Build the whole line first so it reaches the stream in one write.
    char line[2048];
    int k = snprintf(line, sizeof line, "%s\t", time_stamp());
    va_list ap;
    va_start(ap, fmt);
    int r = vsnprintf(line + k, sizeof line - k, fmt, ap);
    va_end(ap);
    if (r < 0) return;
    if ((size_t)(k + r) >= sizeof line) line[sizeof line - 2] = '\n';  // cut, but keep the line end
    fputs(line, f);
    fflush(f);
}
