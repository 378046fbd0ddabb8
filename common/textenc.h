// Text files as editors write them: ANSI, UTF-8 with or without a byte
// order mark, UTF-16 with a mark. Everything is turned into the ANSI code
// page at the point of reading, since the programs work in it throughout.
// Free of Win32: the code page's own conversion is passed in (CodePage).
#pragma once
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

enum TextEncoding { ENC_ANSI = 0, ENC_UTF8, ENC_UTF8_BOM, ENC_UTF16LE, ENC_UTF16BE };

// The ANSI code page: its number and its conversion from UTF-16 without
// best fit. to_ansi returns false when some character does not come back
// as itself; out then holds the code page's default character in its place.
struct CodePage {
    unsigned id;
    bool (*to_ansi)(const char16_t* w, size_t n, std::string& out);
    // ANSI back to UTF-16, for writing a file in the encoding it was read in.
    void (*to_wide)(const char* s, size_t n, std::u16string& out);
};

// The system's ANSI code page (the platform's; natively a Latin-1 stand-in).
const CodePage& ansi_code_page();

// The character that stands for one the code page cannot hold. It is never
// part of a file name, so a name holding it opens nothing and runs nothing.
enum { NOT_HELD = '?' };

struct TextInfo {
    TextEncoding enc = ENC_ANSI;
    int lost = 0;                 // characters the code page cannot hold
    std::vector<int> lost_lines;  // their lines, from 1, each once (first 100)
    bool cut = false;             // the file was larger than read_text takes
};

// Bytes read from one file at most: a package list of a hundred megabytes
// is read whole. Text in another encoding than ANSI is decoded in memory,
// so more would not fit a 32-bit process beside its rows.
enum : size_t { TEXT_MAX = 128u << 20 };

// Decodes a file's bytes: a UTF-8 or UTF-16 byte order mark, or bytes that
// are valid UTF-8 holding at least one multi-byte sequence, are converted
// to the code page; anything else is taken as ANSI unchanged. Characters
// the code page cannot hold become NOT_HELD and are counted in info.
void decode_text(const char* data, size_t n, const CodePage& cp, std::string& out, TextInfo& info);

// Appends UTF-16 text in the code page; when the code page cannot hold
// it, character by character, so only the lost characters become NOT_HELD.
// Returns how many were lost.
int wide_to_ansi(const char16_t* w, size_t n, const CodePage& cp, std::string& out);

// The other way, for writing back: ANSI text in the encoding it was read in
// (with the byte order mark it had). ANSI stays as it is.
void encode_text(const std::string& ansi, TextEncoding enc, const CodePage& cp, std::string& out);

// Reads the rest of a stream opened in binary mode (at most max bytes; info
// tells when there was more) and decodes it. False when reading failed.
bool read_text(FILE* f, const CodePage& cp, std::string& out, TextInfo& info, size_t max = TEXT_MAX);

// The decoded text of the rest of a stream (binary mode), as read_text
// gives it, in stretches: an ANSI file (nearly every file) is read a block
// at a time and never held whole, so a large list costs neither a copy of
// itself nor fresh memory on every read. Any other encoding is decoded
// whole first. Over a text in memory it is that text in one stretch.
class TextIn {
public:
    // block: bytes read at a time (small ones for the fuzzer).
    TextIn(FILE* f, const CodePage& cp, TextInfo& info, size_t max = TEXT_MAX, size_t block = 65536);
    explicit TextIn(const std::string& text) : whole(&text) {}
    TextIn(const TextIn&) = delete;
    TextIn& operator=(const TextIn&) = delete;
    // The next stretch; false at the end of the text.
    bool next(const char*& p, size_t& n);
    bool failed() const { return err; }

private:
    FILE* f = nullptr;         // read a block at a time (ANSI)
    size_t left = 0;           // bytes still to be read of the bound
    const std::string* whole;  // the text, decoded whole
    std::string decoded;
    std::vector<char> block;
    size_t held = 0;           // the whole text, in block (one stretch)
    bool err = false;
    TextInfo* info = nullptr;
};

// Pieces of decoded text as fgets in text mode gives them: CR LF becomes
// LF, a Ctrl-Z ends the text (on Windows), a piece holds at most size-1 characters and
// ends after its line feed. Zero bytes are dropped.
class TextPieces {
public:
    explicit TextPieces(const std::string& text) : own(text), in(own) {}
    explicit TextPieces(TextIn& text) : own(text_none()), in(text) {}
    // The next piece's length (it is never empty), 0 at the end.
    size_t next(char* buf, size_t size);

private:
    static const std::string& text_none();
    bool fill();  // a next stretch when this one is used up; false at the end
    TextIn own;
    TextIn& in;
    const char* p = nullptr;
    size_t n = 0, pos = 0;
    bool ended = false;
};

// The lost lines for a log line: "3, 7".
std::string lost_lines_text(const TextInfo& info);

// The name a browser knows the code page by ("windows-1252"); null for a
// code page without one.
const char* charset_name(unsigned cp);

// Whether a name holds a character the code page could not hold. A loop of
// its own: the CRT's strchr under Wine looks at a byte at a time, through
// a call, and this runs on every field of every record.
inline bool has_not_held(const char* s)
{
    if (!s) return false;
    for (; *s; s++)
        if (*s == NOT_HELD) return true;
    return false;
}
