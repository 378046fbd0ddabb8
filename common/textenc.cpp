#include "textenc.h"
#include <stdint.h>
#include <string.h>

// Appends the UTF-16 form of one code point.
static void put_wide(std::u16string& w, unsigned long c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        w += (char16_t)(0xD800 + (c >> 10));
        w += (char16_t)(0xDC00 + (c & 0x3FF));
    } else {
        w += (char16_t)c;
    }
}

// Eight bytes as one word, for looking at them together.
static uint64_t load8(const void* p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}

// Whether any of the eight bytes in v is a control character (below 0x20):
// exact, since a byte of 0x80 or more never sets its top bit in ~v.
static bool has_control(uint64_t v)
{
    return ((v - 0x2020202020202020ull) & ~v & 0x8080808080808080ull) != 0;
}

// Length of the well-formed UTF-8 sequence at p (at most left bytes), 0 when
// there is none: no overlong forms, no surrogates, nothing above U+10FFFF.
static size_t utf8_seq(const unsigned char* p, size_t left, unsigned long* cp)
{
    unsigned char b = p[0];
    size_t len;
    unsigned long c, min;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < len) return 0;
    for (size_t i = 1; i < len; i++) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *cp = c;
    return len;
}

// How many bytes of p are whole, well formed UTF-8 sequences, leaving a
// sequence the end of a block may have cut (unless it is the last block);
// (size_t)-1 when the bytes are not UTF-8. Sets *multi on a multi-byte one.
static size_t utf8_prefix(const unsigned char* p, size_t n, bool last, bool* multi)
{
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: nearly every file is nothing else.
        while (n - i >= 8 && !(load8(p + i) & 0x8080808080808080ull)) i += 8;
        if (i >= n) break;
        if (p[i] < 0x80) {
            i++;
            continue;
        }
        unsigned long c;
        size_t len = utf8_seq(p + i, n - i, &c);
        if (!len) return !last && n - i < 4 ? i : (size_t)-1;
        *multi = true;
        i += len;
    }
    return i;
}

// Whether the bytes are UTF-8 that a code page could not have made: well
// formed throughout and holding at least one multi-byte sequence.
static bool is_utf8(const unsigned char* p, size_t n)
{
    bool multi = false;
    return utf8_prefix(p, n, true, &multi) != (size_t)-1 && multi;
}

// The encoding a byte order mark at the start names; ENC_ANSI for none.
static TextEncoding marked_encoding(const unsigned char* p, size_t n)
{
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) return ENC_UTF8_BOM;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return ENC_UTF16LE;
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) return ENC_UTF16BE;
    return ENC_ANSI;
}

// Malformed sequences after a byte order mark become U+FFFD, which no code
// page holds, so they are counted as lost.
static void utf8_to_wide(const unsigned char* p, size_t n, std::u16string& w)
{
    w.reserve(n);
    for (size_t i = 0; i < n;) {
        unsigned long c;
        size_t len = utf8_seq(p + i, n - i, &c);
        if (!len) c = 0xFFFD, len = 1;
        put_wide(w, c);
        i += len;
    }
}

int wide_to_ansi(const char16_t* w, size_t n, const CodePage& cp, std::string& out)
{
    std::string part;
    if (cp.to_ansi(w, n, part)) {
        out += part;
        return 0;
    }
    int lost = 0;
    for (size_t i = 0; i < n;) {
        size_t len = (w[i] >= 0xD800 && w[i] <= 0xDBFF && i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) ? 2 : 1;
        part.clear();
        if (cp.to_ansi(w + i, len, part)) {
            out += part;
        } else {
            out += (char)NOT_HELD;
            lost++;
        }
        i += len;
    }
    return lost;
}

void decode_text(const char* data, size_t n, const CodePage& cp, std::string& out, TextInfo& info)
{
    const unsigned char* p = (const unsigned char*)data;
    out.clear();
    info.enc = ENC_ANSI;
    info.lost = 0;
    info.lost_lines.clear();
    std::u16string w;
    TextEncoding marked = marked_encoding(p, n);
    if (marked == ENC_UTF8_BOM) {
        info.enc = ENC_UTF8_BOM;
        utf8_to_wide(p + 3, n - 3, w);
    } else if (marked != ENC_ANSI) {
        info.enc = marked;
        int lo = info.enc == ENC_UTF16LE ? 0 : 1;
        w.reserve(n / 2);
        for (size_t i = 2; i + 1 < n; i += 2) w += (char16_t)(p[i + lo] | (p[i + 1 - lo] << 8));
        if (n % 2) w += (char16_t)0xFFFD;  // half a character at the end
    } else if (is_utf8(p, n)) {
        info.enc = ENC_UTF8;
        utf8_to_wide(p, n, w);
    } else {
        out.assign(data, n);
        return;
    }
    out.reserve(w.size());
    std::string whole;
    if (cp.to_ansi(w.data(), w.size(), whole)) {
        out.swap(whole);
        return;
    }
    // Some character is not held: line by line, to name the lines.
    int line = 1;
    for (size_t s = 0; s <= w.size();) {
        size_t e = w.find(u'\n', s);
        if (e == std::u16string::npos) e = w.size();
        int lost = wide_to_ansi(w.data() + s, e - s, cp, out);
        if (lost) {
            info.lost += lost;
            if (info.lost_lines.size() < 100) info.lost_lines.push_back(line);
        }
        if (e < w.size()) out += '\n';
        s = e + 1;
        line++;
    }
}

void encode_text(const std::string& ansi, TextEncoding enc, const CodePage& cp, std::string& out)
{
    out.clear();
    if (enc == ENC_ANSI) {
        out = ansi;
        return;
    }
    std::u16string w;
    cp.to_wide(ansi.data(), ansi.size(), w);
    if (enc == ENC_UTF16LE || enc == ENC_UTF16BE) {
        int lo = enc == ENC_UTF16LE ? 0 : 1;
        out += enc == ENC_UTF16LE ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : w) {
            char b[2] = {(char)(c & 0xFF), (char)(c >> 8)};
            out += b[lo];
            out += b[1 - lo];
        }
        return;
    }
    if (enc == ENC_UTF8_BOM) out += "\xEF\xBB\xBF";
    for (size_t i = 0; i < w.size(); i++) {
        unsigned long c = w[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
}

bool read_text(FILE* f, const CodePage& cp, std::string& out, TextInfo& info, size_t max)
{
    out.clear();
    info = TextInfo();
    if (!f) return false;
    std::string bytes;
    char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + got > max) {
            bytes.append(buf, max - bytes.size());
            info.cut = true;
            break;
        }
        bytes.append(buf, got);
    }
    bool ok = !ferror(f);
    decode_text(bytes.data(), bytes.size(), cp, out, info);
    return ok;
}

TextIn::TextIn(FILE* file, const CodePage& cp, TextInfo& ti, size_t max, size_t block_size)
    : whole(&decoded), info(&ti)
{
    ti = TextInfo();
    if (!file) return;
    long at = ftell(file);
    block.resize(block_size < 4 ? 4 : block_size);  // room for a sequence cut by its end
    size_t first = fread(block.data(), 1, block.size() < max ? block.size() : max, file);
    if (first < block.size() && first < max && feof(file) && !ferror(file)) {
        // The whole text in one block, as nearly every file: decoded from
        // there, neither scanned in a second pass nor read again.
        const unsigned char* p = (const unsigned char*)block.data();
        if (marked_encoding(p, first) != ENC_ANSI || is_utf8(p, first)) {
            decode_text(block.data(), first, cp, decoded, ti);
            return;
        }
        held = first;
        whole = nullptr;
        return;
    }
    // First pass: which encoding, a block at a time (the same blocks are
    // read again below, from the system's cache).
    size_t total = 0, carry = 0;
    bool marked = false, utf8 = true, multi = false;
    for (bool start = true;; start = false) {
        size_t want = block.size() - carry;
        if (want > max - total) want = max - total;
        size_t got = start ? first : want ? fread(block.data() + carry, 1, want, file) : 0;
        size_t have = carry + got;
        if (total == 0) marked = marked_encoding((const unsigned char*)block.data(), have) != ENC_ANSI;
        total += got;
        if (marked) break;
        // A sequence cut by the block's end is looked at with the next block.
        size_t used = utf8 ? utf8_prefix((const unsigned char*)block.data(), have, got == 0, &multi) : have;
        if (used == (size_t)-1) utf8 = false, used = have;
        carry = have - used;
        memmove(block.data(), block.data() + used, carry);
        if (got == 0 || !utf8) break;  // ANSI, whatever follows
    }
    err = ferror(file) != 0;
    if (at < 0 || fseek(file, at, SEEK_SET) != 0) {
        err = true;
        return;
    }
    if (marked || (utf8 && multi)) {
        block.clear();
        block.shrink_to_fit();
        err = !read_text(file, cp, decoded, ti, max) || err;
        return;
    }
    f = file;
    left = max;
    whole = nullptr;
}

bool TextIn::next(const char*& out, size_t& n)
{
    if (whole) {
        out = whole->data();
        n = whole->size();
        whole = nullptr;  // one stretch
        return n > 0;
    }
    if (held) {
        out = block.data();
        n = held;
        held = 0;
        return true;
    }
    if (!f || left == 0) {
        if (f && info && fgetc(f) != EOF) info->cut = true;
        f = nullptr;
        return false;
    }
    n = fread(block.data(), 1, block.size() < left ? block.size() : left, f);
    if (ferror(f)) err = true;
    if (n == 0) {
        f = nullptr;
        return false;
    }
    left -= n;
    out = block.data();
    return true;
}

const std::string& TextPieces::text_none()
{
    static const std::string none;
    return none;
}

bool TextPieces::fill()
{
    while (pos >= n) {
        if (ended || !in.next(p, n)) {
            ended = true;
            n = pos = 0;
            return false;
        }
        pos = 0;
    }
    return true;
}

#ifdef _WIN32
enum { CTRL_Z_ENDS = 1 };  // in Windows' text mode
#else
enum { CTRL_Z_ENDS = 0 };
#endif

// Bytes a piece takes as they are: all but the line feed, the carriage
// return, the zero byte and Ctrl-Z where it ends a text.
static bool plain_byte(char c) { return c != '\n' && c != '\r' && c != 0 && !(CTRL_Z_ENDS && c == 0x1a); }

size_t TextPieces::next(char* buf, size_t size)
{
    if (size < 2 || !fill()) return 0;
    size_t k = 0;
    while (k + 1 < size && fill()) {
        // A run of plain bytes is copied as it is found, eight at a time
        // while none is a control character; a list line is nearly all of
        // them. Within room, so never past the piece's last byte.
        const char* s = p + pos;
        char* d = buf + k;
        size_t room = size - 1 - k, lim = n - pos < room ? n - pos : room, run = 0;
        for (uint64_t v; lim - run >= 8 && !has_control(v = load8(s + run)); run += 8) memcpy(d + run, &v, 8);
        for (; run < lim && plain_byte(s[run]); run++) d[run] = s[run];
        k += run;
        pos += run;
        if (run == lim) continue;
        char c = p[pos];
#ifdef _WIN32
        if (c == 0x1a) {  // Ctrl-Z: the end of a text file, in Windows' text mode
            ended = true;
            n = pos = 0;
            break;
        }
#endif
        pos++;
        if (c == 0) continue;
        if (c == '\r' && fill() && p[pos] == '\n') continue;
        buf[k++] = c;
        if (c == '\n') break;
    }
    buf[k] = 0;
    return k;
}

std::string lost_lines_text(const TextInfo& info)
{
    std::string at;
    for (int line : info.lost_lines) at += (at.empty() ? "" : ", ") + std::to_string(line);
    return at;
}

const char* charset_name(unsigned cp)
{
    switch (cp) {
    case 874: return "windows-874";
    case 932: return "shift_jis";
    case 936: return "gbk";
    case 949: return "euc-kr";
    case 950: return "big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1252: return "windows-1252";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 28591: return "iso-8859-1";
    case 65001: return "utf-8";
    default: return nullptr;
    }
}
