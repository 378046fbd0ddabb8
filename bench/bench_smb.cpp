// The package share on a real SMB file server (drive S:, Samba on the
// loopback address through smbnetfs; bench.sh brings it up), measured in
// one run. No assertions on time.
// 1. The package search against a bare FindFirstFileA walk of the same
//    tree on S:, with the SMB requests of each.
// 2. pkg_find for 500 different devices among 10,000 assignment lines,
//    called in turn: calls per second, SMB requests and bytes per call
//    from smbd's own counts.
#include "benchutil.h"
#include "ncfg.h"
#include "search.h"
#include "smbenv.h"
#include <windows.h>
#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

const int PACKAGES = 300, ROUNDS = 3;
const int DEVICES = 10000, CALLED = 500, GROUPS = 20, PER_GROUP = 50;

bool md(const std::string& p) { return CreateDirectoryA(p.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS; }

// Made on the server's side, as bench_search lays out its shares.
bool make_tree(const std::string& top)
{
    if (!md(top) || !md(top + "\\pkg")) return false;
    for (int i = 0; i < PACKAGES; i++) {
        std::string m = top + "\\pkg\\Maker" + std::to_string(i % 50), p = m + "\\Pkg" + std::to_string(i);
        std::string v = p + "\\" + std::to_string(1 + i % 3) + "." + std::to_string(i % 10);
        if (!md(m) || !md(p) || !md(v) || !md(v + "\\files") || !write_text(v + "\\Install.cmd", "@echo off\n") ||
            !write_text(v + "\\readme.txt", "noise\n") || !write_text(v + "\\files\\data.bin", "noise"))
            return false;
    }
    return true;
}

bool make_cfg(const std::string& cfg)
{
    if (!md(cfg)) return false;
    std::string a;
    for (int d = 0; d < DEVICES; d++) a += assignment_line(d, GROUPS);
    if (!write_text(cfg + "\\Assignment.ini", a)) return false;
    for (int g = 0; g < GROUPS; g++)
        if (!write_text(cfg + "\\" + group_name(g) + ".ini", group_text(g, PER_GROUP, "S:"))) return false;
    return true;
}

size_t search(unsigned long* error)
{
    CDir mdir;
    SearchResult out;
    search_tree("S:", "\\\\127.0.0.1\\nxshare", {}, mdir, out, nullptr);
    *error = out.error;
    return out.rows.size();
}

// smbd publishes its counts a moment after serving; these are the counts
// once two readings a second apart agree.
smb::Counts settled_counts()
{
    smb::Counts a = smb::counts();
    for (int i = 0; i < 10; i++) {
        Sleep(1000);
        smb::Counts b = smb::counts();
        if (b == a) break;
        a = b;
    }
    return a;
}

void requests_since(const smb::Counts& before, long long* requests, long long* bytes)
{
    long long r0, b0, r1, b1;
    smb::totals(before, &r0, &b0);
    smb::totals(settled_counts(), &r1, &b1);
    *requests = r1 - r0;
    *bytes = b1 - b0;
}

void reg_put(HKEY key, const char* name, const char* value)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
}

}  // namespace

int main()
{
    if (GetDriveTypeA("S:\\") != DRIVE_REMOTE || smb::env("NX_BUILD").empty()) {
        printf("bench_smb: S: is not the SMB share here (bench.sh runs scripts/smb-env.sh up)\n");
        return 1;
    }
    std::string server = smb::server_dir();
    // The search and the walk run from S: itself; the share holds nothing else.
    smb::run("clear");
    if (!make_tree(server) || !make_cfg(server + "\\cfg")) {
        printf("bench_smb: could not make the share under %s (error %lu)\n", server.c_str(), GetLastError());
        return 1;
    }

    // 1. Search against the bare walk, alternating, fastest of each.
    unsigned long error = 0;
    long entries = bare_walk("S:\\pkg");
    size_t rows = search(&error);
    std::vector<double> walk, find;
    for (int r = 0; r < ROUNDS; r++) {
        for (int k = 0; k < 2; k++) {
            bool bare = (r + k) % 2 == 0;
            double t0 = now_ms();
            if (bare)
                bare_walk("S:\\pkg");
            else
                search(&error);
            (bare ? walk : find).push_back(now_ms() - t0);
        }
    }
    double w = *std::min_element(walk.begin(), walk.end()), s = *std::min_element(find.begin(), find.end());
    smb::Counts c0 = settled_counts();
    bare_walk("S:\\pkg");
    long long walk_req, walk_bytes, find_req, find_bytes;
    requests_since(c0, &walk_req, &walk_bytes);
    c0 = settled_counts();
    search(&error);
    requests_since(c0, &find_req, &find_bytes);
    printf("search over SMB: %d packages, %ld entries, %zu rows%s\n", PACKAGES, entries, rows,
           error ? " (SHARE LOST: figures void)" : "");
    printf("  bare walk %8.1f ms (%.2f ms per entry), %lld SMB requests\n", w, w / entries, walk_req);
    printf("  search    %8.1f ms (%.2f ms per entry), %lld SMB requests\n", s, s / entries, find_req);
    printf("  search/walk %.2f (target: at most 1.10)\n", s / w);
    // Printed at once: the figures must not wait in a buffer for the exit.
    fflush(stdout);

    // 2. pkg_find for 500 devices in turn.
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, NX_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 1;
    reg_put(key, "uncp", "\\\\127.0.0.1\\nxshare");
    reg_put(key, "ndrv", "S:");
    RegDeleteValueA(key, "user");
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string pub = std::string(tmp) + "nxbench_smb";
    md(pub);
    SetEnvironmentVariableA("PUBLIC", pub.c_str());
    c0 = settled_counts();
    int failures = 0;
    double t0 = now_ms();
    for (int i = 0; i < CALLED; i++) {
        char name[16];
        snprintf(name, sizeof name, "PC%05d", i * (DEVICES / CALLED) + i % 7);
        SetEnvironmentVariableA("Computername", name);
        failures += pkg_find() != 0;
    }
    double ms = now_ms() - t0;
    long long req, bytes;
    requests_since(c0, &req, &bytes);
    RegDeleteValueA(key, "uncp");
    RegDeleteValueA(key, "ndrv");
    RegCloseKey(key);
    for (const char* n : {"nxsvc.ini", "nxsvc.htm"}) DeleteFileA((pub + "\\" + n).c_str());
    RemoveDirectoryA(pub.c_str());
    printf("pkg_find over SMB: %d devices in turn among %d assignment lines, %d groups x %d packages%s\n", CALLED,
           DEVICES, GROUPS, PER_GROUP, failures ? " (SOME CALLS FAILED: figures void)" : "");
    printf("  %.1f ms per call, %.1f calls per second\n", ms / CALLED, CALLED * 1000.0 / ms);
    printf("  per call: %.1f SMB requests, %.1f KB in and out\n", (double)req / CALLED, bytes / 1024.0 / CALLED);
    fflush(stdout);
    return error || failures ? 1 : 0;
}
