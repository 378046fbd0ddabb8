// The decoding of text files: any bytes give a text that reads back the
// same from every encoding it can be written in, and the pieces the list
// readers take from it stay within their buffer.
#include "textenc.h"
#include "fuzzutil.h"
#include <string.h>
#include <vector>

// The pieces one byte at a time, as fgets in text mode gives them (natively
// Ctrl-Z is a plain byte): what the reader's faster scan must equal.
static std::vector<std::string> plain_pieces(const std::string& t, size_t size)
{
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < t.size(); i++) {
        char c = t[i];
        if (c == 0 || (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n')) continue;
        cur += c;
        if (c == '\n' || cur.size() == size - 1) out.push_back(std::move(cur)), cur.clear();
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CodePage& cp = ansi_code_page();
    std::string out, bytes, again;
    TextInfo info, info2;
    decode_text((const char*)data, size, cp, out, info);
    if (info.enc == ENC_ANSI) FUZZ_CHECK(out == std::string((const char*)data, size));
    FUZZ_CHECK((info.lost == 0) == info.lost_lines.empty());
    // Not ANSI: a text that happens to be valid UTF-8 is read as UTF-8.
    for (TextEncoding enc : {ENC_UTF8, ENC_UTF8_BOM, ENC_UTF16LE, ENC_UTF16BE}) {
        encode_text(out, enc, cp, bytes);
        decode_text(bytes.data(), bytes.size(), cp, again, info2);
        FUZZ_CHECK(again == out);
        FUZZ_CHECK(info2.lost == 0);
    }

    char buf[NX_PATH], buf2[NX_PATH];
    TextPieces pieces(out);
    size_t small = size ? 2 + data[size - 1] % 40 : 2;  // pieces cut short as well
    std::vector<std::string> want = plain_pieces(out, sizeof buf), want_small = plain_pieces(out, small);
    size_t got = 0;
    while (pieces.next(buf, sizeof buf)) {
        size_t len = strlen(buf);
        FUZZ_CHECK(len > 0 && len < sizeof buf);
        const char* nl = strchr(buf, '\n');
        FUZZ_CHECK(!nl || nl == buf + len - 1);
        FUZZ_CHECK(got < want.size() && want[got++] == buf);
    }
    FUZZ_CHECK(got == want.size());
    TextPieces short_pieces(out);
    got = 0;
    while (short_pieces.next(buf, small)) FUZZ_CHECK(got < want_small.size() && want_small[got++] == buf);
    FUZZ_CHECK(got == want_small.size());
    // Read from a stream a block at a time, with a bound inside the input:
    // the pieces and what is said of the text are those of reading it whole.
    size_t max = size > 8 ? size - data[0] % 8 : size;
    FILE* f = input_stream(data, size);
    TextInfo info3, info4;
    std::string bounded;
    read_text(f, cp, bounded, info3, max);
    rewind(f);
    {
        TextIn in2(f, cp, info4, max, size > 1 ? 1 + data[1] % 16 : 4);
        TextPieces a(bounded), b(in2);
        for (;;) {
            size_t len = a.next(buf, sizeof buf);
            FUZZ_CHECK(len == b.next(buf2, sizeof buf2));
            if (!len) break;
            FUZZ_CHECK(strcmp(buf, buf2) == 0 && strlen(buf) == len);
        }
        FUZZ_CHECK(info3.cut == info4.cut && info3.enc == info4.enc && info3.lost == info4.lost);
    }
    fclose(f);
    return 0;
}
