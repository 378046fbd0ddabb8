// Bounded text helpers for the fixed NX_PATH buffers.
#pragma once
#include "ncfg.h"  // NX_PATH
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

// Copies src into dst of size n, cutting it to n-1 characters.
// Returns 0 when it fit, 1 when it was cut.
inline int copy_str(char* dst, size_t n, const char* src)
{
    if (n == 0) return 1;
    if (!src) src = "";
    size_t len = strlen(src);
    int cut = len >= n;
    if (cut) len = n - 1;
    memcpy(dst, src, len);
    dst[len] = 0;
    return cut;
}

template <size_t N> inline int copy_str(char (&dst)[N], const char* src) { return copy_str(dst, N, src); }

// printf-style checking of format texts against their arguments. MinGW's
// C++ runtime uses its own (GNU-style) printf, so the checker must know it.
#if defined(__MINGW32__) && !defined(__clang__)
#define NX_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define NX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

// The target of fmt_str: only a real array converts, so its size is known.
struct FmtDst {
    template <size_t N> FmtDst(char (&d)[N]) : p(d), n(N) {}
    char* p;
    size_t n;
};

// snprintf into a fixed array; returns 0 when it fit, 1 when it was cut.
// A C variadic (not a template) so the compiler checks every format text.
NX_PRINTF(2, 3) inline int fmt_str(FmtDst dst, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int r = vsnprintf(dst.p, dst.n, fmt, ap);
    va_end(ap);
    return r < 0 || (size_t)r >= dst.n;
}
