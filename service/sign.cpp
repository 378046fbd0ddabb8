// Signed shares: with "sign" set, the service takes from the share only
// bytes the administrator's key approved. The manifest's signature is
// checked every task; the assignment and group files, and each package's
// folder, are copied into a cache only SYSTEM and Administrators can write,
// hashed on the way, and used from there only when every hash matches.
#include "svc.h"
#include "creg.h"
#include "log.h"
#include "manifest.h"
#include "scoped.h"
#include "service_contract.h"
#include "sharelayout.h"
#include "signcheck.h"
#include <bcrypt.h>
#include <sddl.h>
#include <wincrypt.h>
#include <stdio.h>

namespace {

// A detached signature with its certificate is a few kilobytes; a chain of
// them still far below this.
const DWORD kSignatureMax = 1024 * 1024;

// ANSI text (the code page's) as UTF-8, the manifest's encoding.
std::string utf8_of(const char* ansi)
{
    wchar_t w[NX_PATH * 2];
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, w, NX_PATH * 2);
    char u[NX_PATH * 4];
    if (n <= 0 || WideCharToMultiByte(CP_UTF8, 0, w, -1, u, sizeof u, nullptr, nullptr) <= 0) return std::string();
    return u;
}

std::string utf8_of(const wchar_t* w)
{
    char u[NX_PATH * 4];
    return WideCharToMultiByte(CP_UTF8, 0, w, -1, u, sizeof u, nullptr, nullptr) > 0 ? u : std::string();
}

std::wstring wide_of(const char* ansi)
{
    wchar_t w[NX_PATH * 2];
    return MultiByteToWideChar(CP_ACP, 0, ansi, -1, w, NX_PATH * 2) > 0 ? w : std::wstring();
}

CReg mreg;
std::string mcache;  // "<program folder>\pkgcache"
LONG mserial;

// A folder only SYSTEM and Administrators can write, read by everyone:
// nothing a user can swap between the hash and the run.
bool make_private_folder(const char* path)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;GRGX;;;BU)",
                                                             SDDL_REVISION_1, &sd, nullptr))
        sa.lpSecurityDescriptor = sd;
    BOOL ok = CreateDirectoryA(path, sa.lpSecurityDescriptor ? &sa : nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
    if (sd) LocalFree(sd);
    return ok;
}

void remove_tree(const std::wstring& path)
{
    // The listing is closed before its folder goes.
    WIN32_FIND_DATAW fd;
    if (ScopedFind h{FindFirstFileW((path + L"\\*").c_str(), &fd)}) {
        do {
            std::wstring sub = path + L"\\" + fd.cFileName;
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
            SetFileAttributesW(sub.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                remove_tree(sub);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(sub.c_str());
            else
                DeleteFileW(sub.c_str());
        } while (FindNextFileW(h.get(), &fd));
    }
    RemoveDirectoryW(path.c_str());
}

// One file of the share into the cache, approved against the manifest.
// rel: its path below the share (UTF-8). False with why.
bool fetch_file(const Manifest& m, const std::wstring& src, const std::wstring& dst, const std::string& rel,
                std::string* why, DWORD* err)
{
    const ManifestEntry* e = manifest_find(m, rel.c_str());
    if (!e) return (*err = STATUS_NOT_SIGNED), (*why = rel + " is not in the manifest"), false;
    unsigned char hash[SHA256_BYTES];
    if (DWORD r = copy_hashed(src.c_str(), dst.c_str(), hash))
        return (*err = r), (*why = rel + " could not be copied"), false;
    if (memcmp(hash, e->hash, SHA256_BYTES) != 0)
        return (*err = STATUS_NOT_SIGNED), (*why = rel + " differs from the manifest"), false;
    return true;
}

// A folder of the share, with its subfolders, into the cache.
bool fetch_folder(const Manifest& m, const std::wstring& src, const std::wstring& dst, const std::string& rel,
                  size_t* files, std::string* why, DWORD* err)
{
    if (!CreateDirectoryW(dst.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return (*err = GetLastError()), (*why = "the cache folder could not be made"), false;
    WIN32_FIND_DATAW fd;
    ScopedFind h(FindFirstFileW((src + L"\\*").c_str(), &fd));
    if (!h) return (*err = GetLastError()), (*why = rel + " could not be listed"), false;
    bool ok = true;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
        std::string sub = rel + "\\" + utf8_of(fd.cFileName);
        std::wstring s = src + L"\\" + fd.cFileName, d = dst + L"\\" + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            *err = STATUS_NOT_SIGNED;
            *why = sub + " is a link";
            ok = false;
        } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = fetch_folder(m, s, d, sub, files, why, err);
        } else {
            ok = fetch_file(m, s, d, sub, why, err);
            ++*files;
        }
    } while (ok && FindNextFileW(h.get(), &fd));
    return ok;
}

}  // namespace

void svc_sign_sweep()
{
    mcache = std::string(mfolder) + "\\" SVC_SIGN_CACHE;
    // The folder itself stays between runs; what is in it was left by a
    // run that did not end.
    WIN32_FIND_DATAA fd;
    ScopedFind h(FindFirstFileA((mcache + "\\*").c_str(), &fd));
    if (!h) return;
    bool left = false;
    do left |= strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0;
    while (!left && FindNextFileA(h.get(), &fd));
    h.reset();
    if (!left) return;
    remove_tree(wide_of(mcache.c_str()));
    svc_log("Cache (%s) MSG ... left by an earlier run, removed\n", mcache.c_str());
}

bool svc_sign_check(const char* root, const char* setting, SvcSign* sg)
{
    sg->on = sg->ok = false;
    sg->root = root;
    sg->manifest = Manifest();
    std::string path = std::string(root) + "\\" SHARE_CFG "\\" SHARE_MANIFEST;
    std::vector<std::string> pinned;
    const char* bad = nullptr;
    DWORD err = STATUS_NOT_SIGNED;
    std::string signer, detail;
    if (!parse_thumbprints(setting, &pinned, &bad)) {
        sg->on = true;
    } else if (pinned.empty()) {
        svc_log("Sign (%s) MSG ... \"sign\" not set: the share is unsigned\n", path.c_str());
        sg->state = "unsigned";
        return true;
    }
    sg->on = true;
    std::string data, sig;
    Manifest& m = sg->manifest;
    if (!bad) {
        if ((err = read_whole(path.c_str(), MANIFEST_MAX_BYTES, &data)) != 0)
            bad = err == ERROR_FILE_TOO_LARGE ? "the manifest is larger than 64 MB" : "the manifest could not be read";
        else if ((err = read_whole((path + ".p7s").c_str(), kSignatureMax, &sig)) != 0)
            bad = "the signature could not be read";
    }
    unsigned char digest[SHA256_BYTES];
    Sha256 sha;
    if (!bad && (!sha.begin() || (sha.add(data.data(), (DWORD)data.size()), !sha.finish(digest))))
        err = ERROR_NOT_SUPPORTED, bad = "SHA-256 is not available";
    if (!bad) bad = verify_signature(sig, data, digest, pinned, &signer, &err);
    size_t line = 0;
    ManifestVerdict v = MANIFEST_OK;
    if (!bad && (v = parse_manifest(data.data(), data.size(), &m, &line)) != MANIFEST_OK) {
        detail = std::string("the manifest has ") + manifest_reason(v) + " (line " + std::to_string(line) + ")";
        bad = detail.c_str();
        err = ERROR_INVALID_DATA;
    }
    unsigned long long highest = sequence_of(mreg.ReadStr(SVC_ROOT, NX_KEY, SVC_SIGN_SEQUENCE));
    if (!bad && m.sequence < highest) {
        detail = "sequence " + std::to_string(m.sequence) + " is lower than the " + std::to_string(highest) +
                 " accepted before";
        bad = detail.c_str();
    }
    if (bad) {
        svc_log("Sign (%s) %s; nothing runs, failed: %lu\n", path.c_str(), bad, err);
        svc_event(NXEV_SIGN_REFUSED, bad);
        sg->state = std::string("signature refused: ") + bad;
        m = Manifest();
        return false;
    }
    if (m.sequence > highest) mreg.WriteStr(SVC_ROOT, NX_KEY, SVC_SIGN_SEQUENCE, std::to_string(m.sequence).c_str());
    svc_log("Sign (%s) OK ... sequence %llu, %d files, signer %s\n", path.c_str(), m.sequence, (int)m.entries.size(),
            signer.c_str());
    sg->state = "signed, sequence " + std::to_string(m.sequence);
    sg->ok = true;
    return true;
}

DWORD svc_sign_fetch_cfg(SvcSign* sg, const char* path, char (&local)[NX_PATH], bool* found)
{
    *found = false;
    size_t n = sg->root.size();
    std::string rel = _strnicmp(path, sg->root.c_str(), n) == 0 && path[n] == '\\' ? utf8_of(path + n + 1) : "";
    const char* why = nullptr;
    DWORD err = STATUS_NOT_SIGNED;
    std::string text;
    if (!make_private_folder(mcache.c_str())) {
        err = GetLastError();
        why = "the cache folder could not be made";
    } else if (fmt_str(local, "%s\\cfg-%ld.ini", mcache.c_str(), InterlockedIncrement(&mserial)) || rel.empty()) {
        why = "path too long";
    } else if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        // Not there and not listed: as unsigned (no assignment, a group
        // without file); listed: someone took it away.
        if (!manifest_find(sg->manifest, rel.c_str())) return 0;
        why = "is in the manifest but not on the share";
    } else {
        DeleteFileA(local);
        if (!fetch_file(sg->manifest, wide_of(path), wide_of(local), rel, &text, &err)) why = text.c_str();
        *found = !why;
    }
    if (!why) return 0;
    svc_log("Sign (%s) %s; nothing runs, failed: %lu\n", path, why, err);
    svc_event(NXEV_SIGN_REFUSED, (std::string(path) + ": " + why).c_str());
    sg->state = std::string("signature refused: ") + path + ": " + why;
    sg->ok = false;
    DeleteFileA(local);
    return err ? err : (DWORD)STATUS_NOT_SIGNED;
}

bool svc_sign_fetch_package(const SvcSign& sg, const char* script, char (&local)[NX_PATH], std::string* why,
                            DWORD* err)
{
    size_t n = sg.root.size();
    const char* name = strrchr(script, '\\');
    if (_strnicmp(script, sg.root.c_str(), n) != 0 || script[n] != '\\' || !name || name < script + n + 1) {
        *err = ERROR_BAD_PATHNAME;
        *why = "not below the share";
        return false;
    }
    std::string folder(script, name), rel = utf8_of(std::string(script + n + 1, name).c_str());
    char dst[NX_PATH];
    if (!make_private_folder(mcache.c_str()) ||
        fmt_str(dst, "%s\\pkg-%ld", mcache.c_str(), InterlockedIncrement(&mserial)) ||
        fmt_str(local, "%s%s", dst, name)) {
        *err = GetLastError() ? GetLastError() : (DWORD)ERROR_FILENAME_EXCED_RANGE;
        *why = "the cache folder could not be made";
        return false;
    }
    std::wstring wdst = wide_of(dst);
    remove_tree(wdst);
    size_t files = 0;
    bool ok = fetch_folder(sg.manifest, wide_of(folder.c_str()), wdst, rel, &files, why, err);
    size_t listed = manifest_count_under(sg.manifest, rel.c_str());
    if (ok && files != listed) {
        *err = STATUS_NOT_SIGNED;
        *why = std::to_string(listed - files) + " files of the manifest are not in " + rel;
        ok = false;
    }
    if (!ok) remove_tree(wdst);
    return ok;
}

void svc_sign_release(const char* local)
{
    const char* name = strrchr(local, '\\');
    if (name) remove_tree(wide_of(std::string(local, name).c_str()));
}
