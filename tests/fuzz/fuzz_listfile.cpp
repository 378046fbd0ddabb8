// The package list reader and writer. Any input reads without fault and
// gives columns of one length; the rows read are written and read back.
// When no field can be mistaken for a key or be split at 259 characters,
// the written list reads back as the very same rows.
#include "fuzzutil.h"
#include "listfile.h"
#include "model.h"
#include "editrules.h"
#include <string.h>

namespace {

void check_shape(const ListModel& m, int n)
{
    FUZZ_CHECK(n >= 0 && (size_t)n == m.rows().size() && m.rows().size() == m.images().size());
    for (const auto& c : m.columns()) FUZZ_CHECK(c.size() == m.rows().size());
    for (int k = COL_NAME; k <= COL_STAT; k++)
        for (const std::string& cell : m.columns()[k]) FUZZ_CHECK(cell.size() < LIST_PIECE && !strchr(cell.c_str(), '\n'));
}

bool plain(const std::string& v)
{
    static const char* const keys[] = {"name=", "comp=", "vers=", "path=", "stat="};
    if (v.size() > 250 || v.find('\r') != std::string::npos) return false;
    for (const char* k : keys)
        if (v.find(k) != std::string::npos) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int admin = size && (data[0] & 1);
    ListModel m;
    FILE* f = input_stream(data, size);
    int n = read_list(f, admin, m);
    const Columns& cols = m.columns();
    fclose(f);
    check_shape(m, n);

    OutStream os;
    FILE* out = os.f;
    bool all_plain = true;
    int written = 0;
    for (int r : m.rows()) {
        written += write_section(out, cols[COL_NAME][r].c_str(), cols[COL_COMP][r].c_str(), cols[COL_VERS][r].c_str(),
                                 cols[COL_PATH][r].c_str());
        for (int k = COL_NAME; k <= COL_PATH; k++) all_plain = all_plain && plain(cols[k][r]);
    }
    FUZZ_CHECK(written == n);  // every row read has its four fields
    fclose(out);
    ListModel back;
    FILE* in = input_stream((const uint8_t*)os.buf, os.len);
    int n2 = read_list(in, admin, back);
    fclose(in);
    check_shape(back, n2);
    // Lists are written in the code page; one that happens to be valid
    // UTF-8 is read back as UTF-8.
    std::string text;
    TextInfo info;
    decode_text(os.buf, os.len, ansi_code_page(), text, info);
    if (all_plain && info.enc == ENC_ANSI) {
        FUZZ_CHECK(n2 == n);
        for (int k = COL_NAME; k <= COL_PATH; k++) FUZZ_CHECK(back.columns()[k] == cols[k]);
        FUZZ_CHECK(back.columns()[COL_ORDER] == cols[COL_ORDER]);
    }
    return 0;
}
