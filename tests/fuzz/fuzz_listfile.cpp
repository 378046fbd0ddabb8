// The package list reader and writer. Any input reads without fault and
// gives columns of one length; the rows read are written and read back.
// When no field can be mistaken for a key or be split at 259 characters,
// the written list reads back as the very same rows.
#include "fuzzutil.h"
#include "listfile.h"
#include "model.h"
#include <string.h>

namespace {

struct Model {
    std::vector<std::string> cols[NCOLS];
    std::vector<int> rows, images;
};

void check_shape(const Model& m, int n)
{
    FUZZ_CHECK(n >= 0 && (size_t)n == m.rows.size() && m.rows.size() == m.images.size());
    for (const auto& c : m.cols) FUZZ_CHECK(c.size() == m.rows.size());
    for (int k = COL_NAME; k <= COL_STAT; k++)
        for (const std::string& cell : m.cols[k]) FUZZ_CHECK(cell.size() < LIST_PIECE && !strchr(cell.c_str(), '\n'));
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
    Model m;
    FILE* f = input_stream(data, size);
    int n = read_list(f, admin, m.cols, m.rows, m.images);
    fclose(f);
    check_shape(m, n);

    OutStream os;
    FILE* out = os.f;
    bool all_plain = true;
    int written = 0;
    for (int r : m.rows) {
        written += write_section(out, m.cols[COL_NAME][r].c_str(), m.cols[COL_COMP][r].c_str(),
                                 m.cols[COL_VERS][r].c_str(), m.cols[COL_PATH][r].c_str());
        for (int k = COL_NAME; k <= COL_PATH; k++) all_plain = all_plain && plain(m.cols[k][r]);
    }
    FUZZ_CHECK(written == n);  // every row read has its four fields
    fclose(out);
    Model back;
    FILE* in = input_stream((const uint8_t*)os.buf, os.len);
    int n2 = read_list(in, admin, back.cols, back.rows, back.images);
    fclose(in);
    check_shape(back, n2);
    if (all_plain) {
        FUZZ_CHECK(n2 == n);
        for (int k = COL_NAME; k <= COL_PATH; k++) FUZZ_CHECK(back.cols[k] == m.cols[k]);
        FUZZ_CHECK(back.cols[COL_ORDER] == m.cols[COL_ORDER]);
    }
    return 0;
}
