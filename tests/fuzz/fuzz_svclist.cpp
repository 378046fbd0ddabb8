// The list the service reads from a folder every user may write: any bytes
// give at most the bounded number of sections, none when past a bound, and
// every kept section yields a bounded verdict and command line.
#include "../../service/osrules.h"
#include "../../service/svcrules.h"
#include "fuzzutil.h"
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const long max_bytes = 4096;
    const size_t max_sections = 8;
    FILE* f = input_stream(data, size);
    std::vector<SvcSection> list, lost;
    ListRead r = svc_read_list(f, max_bytes, max_sections, &list, &lost);
    fclose(f);
    FUZZ_CHECK(r != LIST_NONE);
    FUZZ_CHECK(size <= (size_t)max_bytes || r == LIST_TOO_LARGE);
    if (r != LIST_READ) FUZZ_CHECK(list.empty());
    FUZZ_CHECK(list.size() <= max_sections && lost.size() <= max_sections);
    std::vector<SvcPlanned> plan;
    FUZZ_CHECK(svc_plan(932, list, &list, &plan) + plan.size() == list.size());
    for (const SvcSection& s : list) {
        for (const char* t : {s.comp, s.name, s.vers, s.path}) FUZZ_CHECK(strnlen(t, NX_PATH) < NX_PATH);
        svc_check_path(932, s.path, "Y:", "\\\\s\\p");
        char line[NX_PATH];
        if (svc_command_line(line, sizeof line, "C:\\Windows\\System32\\cmd.exe", s.path)) {
            FUZZ_CHECK(strlen(line) < sizeof line);
            FUZZ_CHECK(!strpbrk(s.path, "\"%\r\n"));
        }
    }
    return 0;
}
