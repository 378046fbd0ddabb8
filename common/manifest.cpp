#include "manifest.h"
#include <algorithm>
#include <string.h>

const char* manifest_reason(ManifestVerdict v)
{
    switch (v) {
    case MANIFEST_OK: return "OK";
    case MANIFEST_TOO_LARGE: return "larger than 64 MB";
    case MANIFEST_NO_SEQUENCE: return "no \"# sequence <n>\" first line";
    case MANIFEST_BAD_LINE: return "a malformed line";
    case MANIFEST_BAD_PATH: return "a path that is not one below the share";
    case MANIFEST_DUPLICATE: return "a path listed twice";
    }
    return "?";
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static char fold(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c == '/' ? '\\' : c; }

static int path_cmp(const char* a, const char* b)
{
    for (;; a++, b++) {
        unsigned char x = (unsigned char)fold(*a), y = (unsigned char)fold(*b);
        if (x != y || !x) return x < y ? -1 : x > y ? 1 : 0;
    }
}

// Digits only, no sign, no overflow.
static bool parse_number(const char* s, size_t n, unsigned long long* out)
{
    if (n == 0 || n > 19) return false;
    unsigned long long v = 0;
    for (size_t i = 0; i < n; i++) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (unsigned)(s[i] - '0');
    }
    *out = v;
    return true;
}

// A path below the share: names separated by one "\" or "/", none empty,
// "." or "..", no ":" (a drive or a stream), no control character.
static bool path_ok(std::string& p)
{
    if (p.empty() || p.size() >= MANIFEST_PATH) return false;
    size_t start = 0;
    for (size_t i = 0; i <= p.size(); i++) {
        char c = i < p.size() ? p[i] : '\\';
        if (c == '/') p[i] = c = '\\';
        if ((unsigned char)c < 32 || c == ':' || c == 127) return false;
        if (c != '\\') continue;
        size_t n = i - start;
        if (n == 0 || (n <= 2 && p[start] == '.' && (n == 1 || p[start + 1] == '.'))) return false;
        start = i + 1;
    }
    return true;
}

ManifestVerdict parse_manifest(const char* data, size_t size, Manifest* out, size_t* line)
{
    out->entries.clear();
    out->sequence = 0;
    *line = 0;
    if (size > MANIFEST_MAX_BYTES) return MANIFEST_TOO_LARGE;
    ManifestVerdict v = MANIFEST_OK;
    size_t at = 0, n = 0;
    out->entries.reserve(size / 100);  // a line is about 100 bytes
    while (at < size && v == MANIFEST_OK) {
        const char* s = data + at;
        const char* end = (const char*)memchr(s, '\n', size - at);
        size_t len = end ? (size_t)(end - s) : size - at;
        at += len + (end ? 1 : 0);
        if (len && s[len - 1] == '\r') len--;
        *line = ++n;
        if (n == 1) {
            const char head[] = "# sequence ";
            size_t h = sizeof head - 1;
            if (len <= h || memcmp(s, head, h) != 0 || !parse_number(s + h, len - h, &out->sequence))
                v = MANIFEST_NO_SEQUENCE;
            continue;
        }
        if (len == 0) continue;  // a last line end, or blank lines
        if (len < 67 || (s[64] != ' ') || (s[65] != ' ' && s[65] != '*')) {
            v = MANIFEST_BAD_LINE;
            continue;
        }
        ManifestEntry e;
        for (int i = 0; i < SHA256_BYTES && v == MANIFEST_OK; i++) {
            int hi = hex_digit(s[2 * i]), lo = hex_digit(s[2 * i + 1]);
            // sha256sum writes lower case; anything else was not made by it
            if (hi < 0 || lo < 0 || (s[2 * i] >= 'A' && s[2 * i] <= 'F') || (s[2 * i + 1] >= 'A' && s[2 * i + 1] <= 'F'))
                v = MANIFEST_BAD_LINE;
            e.hash[i] = (unsigned char)(hi * 16 + lo);
        }
        if (v != MANIFEST_OK) continue;
        e.path.assign(s + 66, len - 66);
        if (!path_ok(e.path)) {
            v = MANIFEST_BAD_PATH;
            continue;
        }
        out->entries.push_back(std::move(e));
    }
    if (v == MANIFEST_OK && n == 0) v = MANIFEST_NO_SEQUENCE;
    if (v == MANIFEST_OK) {
        std::sort(out->entries.begin(), out->entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
            return path_cmp(a.path.c_str(), b.path.c_str()) < 0;
        });
        for (size_t i = 1; i < out->entries.size(); i++)
            if (path_cmp(out->entries[i - 1].path.c_str(), out->entries[i].path.c_str()) == 0) {
                *line = 0;
                v = MANIFEST_DUPLICATE;
                break;
            }
    }
    if (v != MANIFEST_OK) out->entries.clear();
    return v;
}

const ManifestEntry* manifest_find(const Manifest& m, const char* path)
{
    auto it = std::lower_bound(m.entries.begin(), m.entries.end(), path,
                               [](const ManifestEntry& e, const char* p) { return path_cmp(e.path.c_str(), p) < 0; });
    return it != m.entries.end() && path_cmp(it->path.c_str(), path) == 0 ? &*it : nullptr;
}

size_t manifest_count_under(const Manifest& m, const char* folder)
{
    std::string prefix = folder;
    if (prefix.empty()) return m.entries.size();
    prefix += '\\';
    size_t n = 0;
    for (const ManifestEntry& e : m.entries) {
        if (e.path.size() <= prefix.size()) continue;
        bool under = true;
        for (size_t i = 0; i < prefix.size() && under; i++) under = fold(e.path[i]) == fold(prefix[i]);
        n += under;
    }
    return n;
}

bool parse_thumbprints(const char* text, std::vector<std::string>* out, const char** why)
{
    out->clear();
    *why = nullptr;
    std::string all = text ? text : "";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos) end = all.size();
        std::string item = all.substr(start, end - start);
        start = end + 1;
        size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
        if (a == std::string::npos) continue;
        item = item.substr(a, b - a + 1);
        if (item.size() != 2 * SHA1_BYTES) {
            *why = "a thumbprint is not 40 hex digits";
            break;
        }
        for (char& c : item) {
            if (hex_digit(c) < 0) *why = "a thumbprint is not 40 hex digits";
            c = fold(c);
        }
        if (*why) break;
        out->push_back(item);
    }
    if (*why) out->clear();
    return !*why;
}

std::string hex_text(const unsigned char* bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

unsigned long long sequence_of(const char* text)
{
    unsigned long long v = 0;
    return text && parse_number(text, strlen(text), &v) ? v : 0;
}
