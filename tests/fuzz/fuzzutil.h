// Shared pieces of the fuzz targets: the input as a stream, and a check
// that stops the run with a message (libFuzzer records the input).
#pragma once
#include "strutil.h"  // NX_PATH
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

// A read-only stream over the input bytes, as the CRT hands a file opened
// in binary mode (or in text mode on a platform without line-end changes).
inline FILE* input_stream(const uint8_t* data, size_t size)
{
    // In memory: a file per run would make the disk the bottleneck.
    FILE* f = size ? fmemopen((void*)data, size, "rb") : fopen("/dev/null", "rb");
    if (!f) abort();
    return f;
}

// A stream written in memory; the text is in buf after fclose.
struct OutStream {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    ~OutStream() { free(buf); }
};

#define FUZZ_CHECK(cond)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            abort();                                                            \
        }                                                                       \
    } while (0)

// Splits the input at zero bytes into texts: how a target makes several
// independent strings out of one input.
inline void split_input(const uint8_t* data, size_t size, std::string* out, size_t n)
{
    size_t k = 0;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0 && k + 1 < n) {
            k++;
            continue;
        }
        out[k] += (char)data[i];
    }
}
