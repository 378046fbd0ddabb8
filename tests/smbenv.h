// The SMB share of the build folder (scripts/smb-env.sh) from a Windows
// program under Wine: its commands, smbd's request counts, and the share's
// folder as the server sees it. Used by the SMB tests and the benchmarks.
#pragma once
#include <windows.h>
#include <stdlib.h>
#include <string>
#include <map>

namespace smb {

// "Z:" and the Unix path with backslashes.
inline std::string win_path(std::string unix_path)
{
    for (char& c : unix_path)
        if (c == '/') c = '\\';
    return "Z:" + unix_path;
}

inline std::string env(const char* name)
{
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? buf : "";
}

inline std::string unix_dir() { return env("NX_BUILD") + "/smb"; }

// The share's folder on the server's side: big trees are made there
// rather than through the server.
inline std::string server_dir() { return win_path(unix_dir() + "/share"); }

inline std::string read_all(const std::string& path)
{
    std::string s;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
    }
    return s;
}

// Runs scripts/smb-env.sh (NX_SMB_ENV, else beside NX_ROOT) with the
// arguments on the Unix side and returns its output, or "<timeout>". Wine
// starts Unix programs but gives no process handle to wait on, so the
// command leaves a file when it has ended.
inline std::string run(const std::string& args, int wait_ms = 60000)
{
    std::string script = env("NX_SMB_ENV");
    if (script.empty()) script = env("NX_ROOT") + "/scripts/smb-env.sh";
    std::string out = unix_dir() + "/cmd.out", done = unix_dir() + "/cmd.done";
    DeleteFileA(win_path(done).c_str());
    std::string cmd = "Z:\\bin\\sh -c \"'" + script + "' " + args + " >'" + out + "' 2>&1; echo $? >'" + done + "'\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return "<not started>";
    // The handles Wine returns for a Unix program are not its own: closing
    // them closed this program's standard output.
    for (int waited = 0; GetFileAttributesA(win_path(done).c_str()) == INVALID_FILE_ATTRIBUTES; waited += 20) {
        if (waited >= wait_ms) return "<timeout>";
        Sleep(20);
    }
    return read_all(win_path(out));
}

// Runs a Unix command line through /bin/sh (single quotes only); true when
// it exited 0. As run(): the command leaves a file when it has ended.
inline bool sh(const std::string& cmd, int wait_ms = 60000)
{
    std::string done = unix_dir() + "/sh.done";
    DeleteFileA(win_path(done).c_str());
    std::string line = "Z:\\bin\\sh -c \"mkdir -p '" + unix_dir() + "'; (" + cmd + ") >/dev/null 2>&1; echo $? >'" + done +
                       "'\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    for (int waited = 0; GetFileAttributesA(win_path(done).c_str()) == INVALID_FILE_ATTRIBUTES; waited += 20) {
        if (waited >= wait_ms) return false;
        Sleep(20);
    }
    return read_all(win_path(done)).rfind("0", 0) == 0;
}

using Counts = std::map<std::string, long long>;

// smbd's counters (smbstatus --profile), by name ("smb2_read_count", ...).
inline Counts counts()
{
    Counts m;
    std::string text = run("counts");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(start, end - start);
        size_t colon = l.find(':');
        if (colon != std::string::npos) m[l.substr(0, colon)] = atoll(l.c_str() + colon + 1);
        start = end + 1;
    }
    return m;
}

// All SMB2 requests, and the bytes in and out, of a set of counts.
inline void totals(const Counts& c, long long* requests, long long* bytes)
{
    *requests = *bytes = 0;
    for (const auto& kv : c) {
        const std::string& k = kv.first;
        if (k.rfind("smb2_", 0) != 0) continue;
        if (k.size() > 6 && k.compare(k.size() - 6, 6, "_count") == 0) *requests += kv.second;
        if ((k.size() > 8 && k.compare(k.size() - 8, 8, "_inbytes") == 0) ||
            (k.size() > 9 && k.compare(k.size() - 9, 9, "_outbytes") == 0))
            *bytes += kv.second;
    }
}

}  // namespace smb
