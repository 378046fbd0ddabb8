// Signed shares, measured in one run with the service's own code
// (service/signcheck.cpp, common/manifest.cpp). No assertions on time.
// 1. Over the SMB share (S:, bench.sh brings it up): a 100 MB package file
//    copied into a local cache while hashed, against a plain CopyFile.
// 2. On a local folder: the same copy while hashed, against hashing alone.
// 3. The check of a signed manifest of 10,000 files, as every task does
//    it: read, SHA-256, the signature (openssl made it), the parse.
#include "benchutil.h"
#include "manifest.h"
#include "signcheck.h"
#include "smbenv.h"
#include <windows.h>
#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

const int MB = 1024 * 1024, SIZE_MB = 100, ROUNDS = 3, FILES = 10000, VERIFY_ROUNDS = 20;

std::wstring wide(const std::string& s)
{
    wchar_t w[1024];
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w, 1024);
    return w;
}

bool write_big(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<char> buf(MB);
    DWORD put = 0;
    bool ok = true;
    for (int i = 0; i < SIZE_MB && ok; i++) {
        for (size_t j = 0; j < buf.size(); j += 4096) buf[j] = (char)(i + j);
        ok = WriteFile(h, buf.data(), MB, &put, nullptr) && put == (DWORD)MB;
    }
    CloseHandle(h);
    return ok;
}

bool hash_only(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    Sha256 sha;
    sha.begin();
    std::vector<char> buf(MB);
    DWORD got = 0;
    while (ReadFile(h, buf.data(), MB, &got, nullptr) && got) sha.add(buf.data(), got);
    CloseHandle(h);
    unsigned char out[SHA256_BYTES];
    return sha.finish(out);
}

// The fastest of ROUNDS runs of f, in ms; -1 when one failed.
template <class F> double best(F f)
{
    double b = 1e18;
    for (int i = 0; i < ROUNDS; i++) {
        double t0 = now_ms();
        if (!f()) return -1;
        b = std::min(b, now_ms() - t0);
    }
    return b;
}

void copy_figures(const char* where, const std::string& src, const std::string& dst, bool against_copy)
{
    unsigned char hash[SHA256_BYTES];
    auto hashed = [&] {
        DeleteFileA(dst.c_str());
        return copy_hashed(wide(src).c_str(), wide(dst).c_str(), hash) == 0;
    };
    auto plain = [&] { return CopyFileA(src.c_str(), dst.c_str(), FALSE) != 0; };
    auto alone = [&] { return hash_only(src); };
    plain();  // the first read fills the caches of both sides
    double h = best(hashed), c = best(plain), a = best(alone);
    DeleteFileA(dst.c_str());
    if (h < 0 || c < 0 || a < 0) {
        printf("%s: a copy failed: %lu\n", where, GetLastError());
        return;
    }
    printf("%s: %d MB copied while hashed %.0f ms, CopyFile %.0f ms, hashed alone %.0f ms: %.2fx the %s (target at most "
           "%s), %.2fx the %s\n",
           where, SIZE_MB, h, c, a, h / (against_copy ? c : a), against_copy ? "copy" : "hash",
           against_copy ? "1.2x" : "1.1x", h / (against_copy ? a : c), against_copy ? "hash" : "copy");
}

void manifest_figures(const std::string& unix_dir)
{
    std::string dir = smb::win_path(unix_dir);
    std::string text = "# sequence 12\n";
    char line[200];
    for (int i = 0; i < FILES; i++) {
        unsigned char h[SHA256_BYTES];
        for (int j = 0; j < SHA256_BYTES; j++) h[j] = (unsigned char)(i * 31 + j * 7);
        snprintf(line, sizeof line, "%s  pkg/Maker%d/Package%d/1.%d/files/file%d.bin\n",
                 hex_text(h, SHA256_BYTES).c_str(), i % 50, i / 10, i % 3, i % 10);
        text += line;
    }
    if (!write_text(dir + "\\m.sha256", text)) return;
    std::string u = "'" + unix_dir + "'";
    if (!smb::sh("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=bench -days 2 -keyout " + u +
                                "/k.pem -out " + u + "/c.pem && openssl cms -sign -binary -md sha256 -outform DER -in " +
                                u + "/m.sha256 -signer " + u + "/c.pem -inkey " + u + "/k.pem -out " + u + "/m.p7s")) {
        printf("manifest: openssl could not sign (is it installed?)\n");
        return;
    }
    std::string sig = smb::read_all(dir + "\\m.p7s");
    std::vector<std::string> pinned;
    std::string signer;
    DWORD err = 0;
    unsigned char digest[SHA256_BYTES] = {};
    verify_signature(sig, text, digest, pinned, &signer, &err);  // learns the thumbprint
    pinned.push_back(signer);
    double total = 0, part[4] = {};
    const char* bad = nullptr;
    size_t entries = 0;
    for (int r = 0; r < VERIFY_ROUNDS && !bad; r++) {
        double t0 = now_ms();
        std::string data, s;
        read_whole((dir + "\\m.sha256").c_str(), MANIFEST_MAX_BYTES, &data);
        read_whole((dir + "\\m.p7s").c_str(), MB, &s);
        double t1 = now_ms();
        Sha256 sha;
        sha.begin();
        sha.add(data.data(), (DWORD)data.size());
        sha.finish(digest);
        double t2 = now_ms();
        bad = verify_signature(s, data, digest, pinned, &signer, &err);
        double t3 = now_ms();
        Manifest m;
        size_t at;
        if (!bad && parse_manifest(data.data(), data.size(), &m, &at) != MANIFEST_OK) bad = "parse";
        entries = m.entries.size();
        double t4 = now_ms();
        total += t4 - t0;
        part[0] += t1 - t0, part[1] += t2 - t1, part[2] += t3 - t2, part[3] += t4 - t3;
    }
    if (bad) {
        printf("manifest: refused: %s (%lu)\n", bad, err);
        return;
    }
    printf("manifest check, of its time: read %.0f%%, SHA-256 %.0f%%, signature %.0f%%, parse %.0f%%\n",
           100 * part[0] / total, 100 * part[1] / total, 100 * part[2] / total, 100 * part[3] / total);
    double per = total / VERIFY_ROUNDS;
    printf("manifest of %d files (%d KB) checked as a task does: %.1f ms, %.2fx the 50 ms target\n", (int)entries,
           (int)(text.size() / 1024), per, per / 50.0);
}

}  // namespace

int main()
{
    std::string build = smb::env("NX_BUILD");
    if (build.empty()) {
        printf("bench_sign: NX_BUILD is not set (bench.sh sets it)\n");
        return 1;
    }
    std::string unix_dir = build + "/bench_sign";
    std::string local = smb::win_path(unix_dir);
    CreateDirectoryA(local.c_str(), nullptr);
    std::string big = local + "\\big.bin";
    if (!write_big(big)) {
        printf("bench_sign: cannot write %s\n", big.c_str());
        return 1;
    }
    if (GetDriveTypeA("S:\\") == DRIVE_REMOTE) {
        std::string server = smb::server_dir() + "\\signbench";
        CreateDirectoryA(server.c_str(), nullptr);
        if (CopyFileA(big.c_str(), (server + "\\big.bin").c_str(), FALSE))
            copy_figures("SMB share S:", "S:\\signbench\\big.bin", local + "\\cache.bin", true);
        DeleteFileA((server + "\\big.bin").c_str());
        RemoveDirectoryA(server.c_str());
    } else {
        printf("SMB share: S: is not the SMB share here (bench.sh runs scripts/smb-env.sh up)\n");
    }
    copy_figures("local folder", big, local + "\\cache.bin", false);
    DeleteFileA(big.c_str());
    manifest_figures(unix_dir);
    return 0;
}
