// The fleet load's Win32-free part (status reader and fleet rows) on the
// host, for machines where the Windows benchmark (bench_fleet) cannot run:
// 10,000 status files of 30 packages, read whole and parsed into rows,
// against a bare read of the same files; memory per row. Prints ratios.
//   g++ -O2 -std=c++17 -Icommon -Iconsole/views -Isvclib bench/native_fleet.cpp common/status.cpp
//       console/views/fleet.cpp common/chtml.cpp common/textenc.cpp common/codepage.cpp && ./a.out /tmp/dir
#include "fleet.h"
#include "fleet_sample.h"
#include "status.h"
#include <dirent.h>
#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

static double now_ms()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static bool read_whole(const std::string& path, std::vector<char>& buf)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    buf.resize(STATUS_MAX_BYTES);
    size_t n = fread(buf.data(), 1, buf.size(), f);
    buf.resize(n);
    fclose(f);
    return true;
}

// Reads every ".ini" file of dir; with b, also adds it to the fleet.
static size_t walk(const std::string& dir, FleetBuilder* b)
{
    DIR* d = opendir(dir.c_str());
    size_t bytes = 0;
    std::vector<char> buf;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".ini") != 0) continue;
        if (!read_whole(dir + "/" + name, buf)) continue;
        bytes += buf.size();
        if (b) b->add(name, buf.data(), buf.size());
    }
    closedir(d);
    return bytes;
}

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : "/tmp/native_fleet";
    std::string made = dir + "/complete";
    if (FILE* f = fopen(made.c_str(), "rb")) {
        fclose(f);
    } else {
        std::string cmd = "mkdir -p '" + dir + "'";
        if (system(cmd.c_str()) != 0) return 1;
        for (int d = 0; d < 10000; d++) {
            DeviceStatus s = fleet_sample(d, 30);
            FILE* f = fopen((dir + "/" + s.device + ".ini").c_str(), "wb");
            write_status(f, s);
            fclose(f);
        }
        fclose(fopen(made.c_str(), "wb"));
    }
    long today = stamp_day("2026-12-07 12:00:00");
    walk(dir, nullptr);
    double bare = 1e30, load = 1e30;
    size_t bytes = 0, rows = 0;
    for (int r = 0; r < 5; r++) {
        double t0 = now_ms();
        bytes = walk(dir, nullptr);
        double t1 = now_ms();
        FleetBuilder b(today);
        walk(dir, &b);
        Fleet f = b.finish();
        double t2 = now_ms();
        rows = f.rows.size();
        bare = std::min(bare, t1 - t0);
        load = std::min(load, t2 - t1);
    }
    struct mallinfo2 m0 = mallinfo2();
    Fleet* kept = new Fleet;
    {
        FleetBuilder b(today);
        walk(dir, &b);
        *kept = b.finish();
    }
    struct mallinfo2 m1 = mallinfo2();
    printf("%zu files, %zu bytes: load %.0f ms, bare read %.0f ms, ratio %.2f (target <= 1.3)\n", rows, bytes, load,
           bare, load / bare);
    printf("memory per device row: %.0f bytes (rows and package tallies, heap in use)\n",
           (double)(m1.uordblks - m0.uordblks) / rows);
    delete kept;
    return 0;
}
