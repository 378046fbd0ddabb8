// The inventory reader: any input gives six columns of one length, one
// per row, with headers of at most six fields.
#include "csvfile.h"
#include "fuzzutil.h"
#include "model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    enum { COLS = 6 };
    std::vector<std::string> headers;
    ListModel m;
    FILE* f = input_stream(data, size);
    int n = read_csv(f, COLS, headers, m, 3);
    fclose(f);
    const std::vector<int>& rows = m.rows();
    FUZZ_CHECK(n >= 0 && headers.size() <= COLS && rows.size() == (size_t)n && m.images().size() == (size_t)n);
    for (const auto& c : m.columns()) {
        FUZZ_CHECK(c.size() == (size_t)n);
        for (const std::string& cell : c) FUZZ_CHECK(cell.size() < NX_PATH);
    }
    for (int i = 0; i < n; i++) FUZZ_CHECK(rows[i] == i);
    return 0;
}
