// The package search (the walk with its name test and depth limit, and
// the new rows) against a bare recursive FindFirstFileA walk of the same
// tree, measured in one run and printed as ratios. No assertions on time.
//
// Synthetic shares, made once and kept in bench_search\ beside the
// program's folder:
// N packages as pkg\Maker<i % 50>\Pkg<i>\<version>\Install.cmd, each with a
// readme, a "files" folder holding a data file, so about 6 entries per
// package, plus a few noise folders at the top.
#include "benchutil.h"
#include "search.h"
#include <windows.h>
#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

bool touch(const std::string& path, const char* text)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n;
    WriteFile(h, text, (DWORD)strlen(text), &n, nullptr);
    CloseHandle(h);
    return true;
}

bool md(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS; }

// Makes the share unless a finished one is there already.
bool make_share(const std::string& top, int packages)
{
    std::string done = top + "\\complete.txt";
    if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    printf("making %s (%d packages) ...\n", top.c_str(), packages);
    fflush(stdout);
    if (!md(top) || !md(top + "\\pkg")) return false;
    for (int m = 0; m < 50; m++) md(top + "\\pkg\\Maker" + std::to_string(m));
    for (int i = 0; i < packages; i++) {
        std::string pkg = top + "\\pkg\\Maker" + std::to_string(i % 50) + "\\Pkg" + std::to_string(i);
        std::string ver = pkg + "\\" + std::to_string(1 + i % 3) + "." + std::to_string(i % 10);
        if (!md(pkg) || !md(ver) || !md(ver + "\\files")) return false;
        if (!touch(ver + "\\Install.cmd", "@echo off\r\n") || !touch(ver + "\\readme.txt", "noise\r\n") ||
            !touch(ver + "\\files\\data.bin", "noise"))
            return false;
    }
    for (int k = 0; k < 20; k++) {
        std::string n = top + "\\tools" + std::to_string(k);
        md(n);
        for (int j = 0; j < 10; j++) touch(n + "\\tool" + std::to_string(j) + ".exe", "noise");
    }
    return touch(done, "complete\r\n");
}

size_t search(const std::string& top)
{
    CDir mdir;
    SearchResult out;
    std::vector<std::string> shown;
    search_tree(top.c_str(), "\\\\bench\\share", shown, mdir, out, nullptr);
    return out.rows.size();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Figures {
    int packages;
    long entries;
    size_t rows;
    double walk_ms, search_ms;
};

bool measure(const std::string& top, int packages, int rounds, Figures& f)
{
    if (!make_share(top, packages)) {
        printf("could not make %s (error %lu)\n", top.c_str(), GetLastError());
        return false;
    }
    f.packages = packages;
    // Warm the listing caches once before measuring either.
    f.entries = bare_walk(top);
    f.rows = search(top);
    std::vector<double> walk, find;
    for (int r = 0; r < rounds; r++) {
        // Alternating order, so that drifts of a shared machine hit both alike.
        for (int k = 0; k < 2; k++) {
            double t0 = now_ms();
            if ((r + k) % 2 == 0)
                bare_walk(top);
            else
                search(top);
            double t1 = now_ms();
            ((r + k) % 2 == 0 ? walk : find).push_back(t1 - t0);
        }
    }
    // The fastest round is the one least disturbed by other work.
    f.walk_ms = *std::min_element(walk.begin(), walk.end());
    f.search_ms = *std::min_element(find.begin(), find.end());
    printf("%6d packages, %7ld entries: bare walk %8.1f ms (median %8.1f), search %8.1f ms (median %8.1f; %zu rows), "
           "search/walk %.2f\n",
           f.packages, f.entries, f.walk_ms, median(walk), f.search_ms, median(find), f.rows, f.search_ms / f.walk_ms);
    fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string base = exe;
    // Beside the program's folder, not in it: the console lists its own
    // folder tree for inventory files at start-up.
    base = base.substr(0, base.rfind('\\'));
    base = base.substr(0, base.rfind('\\')) + "\\bench_search";
    if (argc > 1) base = argv[1];
    md(base);
    Figures small, large;
    if (!measure(base + "\\s2000", 2000, 9, small) || !measure(base + "\\s20000", 20000, 5, large)) return 1;
    double entries = (double)large.entries / small.entries;
    printf("growth x%.1f entries: bare walk x%.2f, search x%.2f (search per entry %.2f us -> %.2f us)\n", entries,
           large.walk_ms / small.walk_ms, large.search_ms / small.search_ms, 1000 * small.search_ms / small.entries,
           1000 * large.search_ms / large.entries);
    printf("target: search/walk at most 1.20; growth linear (search growth / entry growth = %.2f)\n",
           (large.search_ms / small.search_ms) / entries);
    return 0;
}
