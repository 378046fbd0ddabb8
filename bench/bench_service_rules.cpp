// The service's list rules natively: reading and checking a device list at
// its bounds (1000 sections, short and with long fields) and refusing one far
// past them (26 MB), against a list of one package. Prints the time and the
// memory the read list holds, with ratios from one run. No assertions.
//   built by tests/native (target bench_service_rules); run it there
#include "svcrules.h"
#include <chrono>
#include <stdio.h>
#include <string>

namespace {

const long kBytes = 1024 * 1024;  // the service's bounds
const size_t kSections = 1000;

std::string section(int i, size_t pad)
{
    std::string v = "Vendor" + std::to_string(i % 7), n = "Package" + std::to_string(i) + std::string(pad, 'x');
    return "[" + v + " " + n + "]\ncomp=" + v + "\nname=" + n + "\npath=Y:\\pkg\\" + v + "\\" + n +
           "\\1.0\\Install.cmd\nvers=1.0\n\n";
}

struct Figure {
    double ms;
    size_t bytes;  // what the read list and the plan hold
    ListRead r;
};

Figure measure(const std::string& text, int rounds)
{
    Figure fig = {0, 0, LIST_NONE};
    FILE* f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < rounds; k++) {
        rewind(f);
        std::vector<SvcSection> list;
        fig.r = svc_read_list(f, kBytes, kSections, &list);
        // The list as the user's choice over the same list assigned.
        std::vector<SvcPlanned> plan;
        svc_plan(1252, list, &list, &plan);
        fig.bytes = list.capacity() * sizeof(SvcSection) + plan.capacity() * sizeof(SvcPlanned);
        for (const SvcPlanned& p : plan)
            if (!p.assigned) puts("unexpected: a chosen section was not found assigned");
    }
    fig.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / rounds;
    fclose(f);
    return fig;
}

}  // namespace

int main()
{
    std::string one = section(0, 0), bound, long_bound, past;
    for (size_t i = 0; i < kSections; i++) bound += section((int)i, 0);
    for (size_t i = 0; i < kSections; i++) long_bound += section((int)i, 110);
    while (past.size() < 26u * kBytes) past += bound;
    const char* names[4] = {"one package", "1000 sections", "1000 long sections", "26 MB (refused)"};
    const std::string* texts[4] = {&one, &bound, &long_bound, &past};
    Figure base = {};
    for (int i = 0; i < 4; i++) {
        Figure f = measure(*texts[i], 20);
        if (i == 0) base = f;
        printf("%-22s %8zu bytes in: %8.3f ms (%7.1fx), holds %8zu bytes (%6.1fx)%s\n", names[i], texts[i]->size(),
               f.ms, f.ms / base.ms, f.bytes, (double)f.bytes / base.bytes, f.r == LIST_READ ? "" : ", refused");
    }
    return 0;
}
