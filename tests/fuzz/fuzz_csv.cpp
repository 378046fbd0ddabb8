// The inventory reader: any input gives six columns of one length, one
// per row, with headers of at most six fields.
#include "csvfile.h"
#include "fuzzutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    enum { COLS = 6 };
    std::vector<std::string> headers, cols[COLS];
    std::vector<int> rows, images;
    FILE* f = input_stream(data, size);
    int n = read_csv(f, COLS, headers, cols, rows, images, 3);
    fclose(f);
    FUZZ_CHECK(n >= 0 && headers.size() <= COLS && rows.size() == (size_t)n && images.size() == (size_t)n);
    for (const auto& c : cols) {
        FUZZ_CHECK(c.size() == (size_t)n);
        for (const std::string& cell : c) FUZZ_CHECK(cell.size() < 260);
    }
    for (int i = 0; i < n; i++) FUZZ_CHECK(rows[i] == i);
    return 0;
}
