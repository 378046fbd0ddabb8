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
#include <bcrypt.h>
#include <sddl.h>
#include <wincrypt.h>
#include <stdio.h>

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const DWORD kChunk = 1024 * 1024;
// A detached signature with its certificate is a few kilobytes; a chain of
// them still far below this.
const DWORD kSignatureMax = 1024 * 1024;

BCRYPT_ALG_HANDLE msha;

struct Sha256 {
    BCRYPT_HASH_HANDLE h = nullptr;
    bool begin()
    {
        if (!msha && BCryptOpenAlgorithmProvider(&msha, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) msha = nullptr;
        return msha && BCryptCreateHash(msha, &h, nullptr, 0, nullptr, 0, 0) == 0;
    }
    void add(const void* p, DWORD n) { BCryptHashData(h, (PUCHAR)p, n, 0); }
    bool finish(unsigned char (&out)[SHA256_BYTES]) { return BCryptFinishHash(h, out, SHA256_BYTES, 0) == 0; }
    ~Sha256()
    {
        if (h) BCryptDestroyHash(h);
    }
};

// A whole file of at most max bytes; the system error, else 0.
DWORD read_whole(const char* path, DWORD max, std::string* out)
{
    ScopedHandle f(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return GetLastError();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f.get(), &size)) return GetLastError();
    if (size.QuadPart > max) return ERROR_FILE_TOO_LARGE;
    out->resize((size_t)size.QuadPart);
    DWORD got = 0;
    if (size.QuadPart && (!ReadFile(f.get(), &(*out)[0], (DWORD)size.QuadPart, &got, nullptr) || got != size.QuadPart))
        return GetLastError() ? GetLastError() : (DWORD)ERROR_READ_FAULT;
    return 0;
}

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

// Reads the signer's parameter of a message into a buffer of its own.
bool msg_param(HCRYPTMSG msg, DWORD type, std::string* buf)
{
    DWORD cb = 0;
    if (!CryptMsgGetParam(msg, type, 0, nullptr, &cb) || cb == 0) return false;
    buf->assign(cb, '\0');
    return CryptMsgGetParam(msg, type, 0, &(*buf)[0], &cb) != 0;
}

CReg mreg;
std::string mcache;  // "<program folder>\pkgcache"
LONG mserial;

// The checks of the signature over the manifest, in order; the first that
// fails names the refusal. Wine's CryptVerifyDetachedMessageSignature (and
// CMSG_CTRL_VERIFY_SIGNATURE) accepts changed content when the signature
// carries signed attributes, as openssl's does: the control only proves the
// attributes genuine, so the message digest among them is compared with
// the service's own SHA-256 of the manifest (RFC 5652 5.4, 5.6).
const char* verify_signature(const std::string& sig, const std::string& data,
                             const unsigned char (&digest)[SHA256_BYTES], const std::vector<std::string>& pinned,
                             std::string* signer, DWORD* err)
{
    *err = STATUS_NOT_SIGNED;
    HCRYPTMSG msg = CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr);
    if (!msg) return (*err = GetLastError()), "the signature could not be opened";
    struct Close {
        HCRYPTMSG m;
        HCERTSTORE s = nullptr;
        PCCERT_CONTEXT c = nullptr;
        ~Close()
        {
            if (c) CertFreeCertificateContext(c);
            if (s) CertCloseStore(s, 0);
            CryptMsgClose(m);
        }
    } close{msg};
    if (!CryptMsgUpdate(msg, (const BYTE*)sig.data(), (DWORD)sig.size(), TRUE) ||
        !CryptMsgUpdate(msg, (const BYTE*)data.data(), (DWORD)data.size(), TRUE))
        return (*err = GetLastError()), "the signature is not DER PKCS#7/CMS";
    DWORD count = 0, cb = sizeof count;
    if (!CryptMsgGetParam(msg, CMSG_SIGNER_COUNT_PARAM, 0, &count, &cb) || count != 1)
        return count > 1 ? "more than one signer" : "no signer";
    std::string info_buf, signer_buf;
    if (!msg_param(msg, CMSG_SIGNER_CERT_INFO_PARAM, &info_buf) || !msg_param(msg, CMSG_SIGNER_INFO_PARAM, &signer_buf))
        return (*err = GetLastError()), "the signer could not be read";
    close.s = CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, msg);
    if (close.s) close.c = CertGetSubjectCertificateFromStore(close.s, kEncoding, (PCERT_INFO)&info_buf[0]);
    if (!close.c) return "the signer's certificate is not in the signature";
    // Its thumbprint is the trust: an expired or self-made certificate is
    // accepted when pinned, an unknown one never.
    unsigned char sha1[SHA1_BYTES];
    cb = sizeof sha1;
    if (!CertGetCertificateContextProperty(close.c, CERT_SHA1_HASH_PROP_ID, sha1, &cb))
        return (*err = GetLastError()), "the signer's thumbprint could not be read";
    *signer = hex_text(sha1, SHA1_BYTES);
    bool known = false;
    for (const std::string& p : pinned) known |= p == *signer;
    if (!known) return "the signer's certificate is not one of \"sign\"";
    if (strcmp(close.c->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId, szOID_RSA_RSA) != 0)
        return "the signer's key is not RSA";
    if (!CryptMsgControl(msg, 0, CMSG_CTRL_VERIFY_SIGNATURE, close.c->pCertInfo))
        return (*err = GetLastError()), "the signature does not verify";
    const CMSG_SIGNER_INFO* si = (const CMSG_SIGNER_INFO*)&signer_buf[0];
    if (!si->HashAlgorithm.pszObjId || strcmp(si->HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0)
        return "the digest algorithm is not SHA-256";
    std::string signed_digest;
    if (si->AuthAttrs.cAttr) {
        for (DWORD i = 0; i < si->AuthAttrs.cAttr; i++) {
            const CRYPT_ATTRIBUTE& a = si->AuthAttrs.rgAttr[i];
            if (strcmp(a.pszObjId, szOID_RSA_messageDigest) != 0 || a.cValue != 1) continue;
            BYTE out[128];
            DWORD n = sizeof out;
            if (CryptDecodeObject(kEncoding, X509_OCTET_STRING, a.rgValue[0].pbData, a.rgValue[0].cbData, 0, out, &n)) {
                const CRYPT_DATA_BLOB* b = (const CRYPT_DATA_BLOB*)out;
                signed_digest.assign((const char*)b->pbData, b->cbData);
            }
        }
    } else if (!msg_param(msg, CMSG_COMPUTED_HASH_PARAM, &signed_digest)) {
        signed_digest.clear();
    }
    if (signed_digest.size() != SHA256_BYTES || memcmp(signed_digest.data(), digest, SHA256_BYTES) != 0)
        return "the manifest's SHA-256 is not the signed message digest";
    return nullptr;
}

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
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
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
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

// Copies src to dst while hashing it; the system error, else 0.
DWORD copy_hashed(const wchar_t* src, const wchar_t* dst, unsigned char (&hash)[SHA256_BYTES])
{
    ScopedHandle in(CreateFileW(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!in) return GetLastError();
    ScopedHandle out(CreateFileW(dst, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out) return GetLastError();
    Sha256 sha;
    if (!sha.begin()) return ERROR_NOT_SUPPORTED;
    std::vector<char> buf(kChunk);
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in.get(), buf.data(), kChunk, &got, nullptr)) return GetLastError();
        if (got == 0) break;
        sha.add(buf.data(), got);
        if (!WriteFile(out.get(), buf.data(), got, &put, nullptr) || put != got)
            return GetLastError() ? GetLastError() : (DWORD)ERROR_DISK_FULL;
    }
    return sha.finish(hash) ? 0 : (DWORD)ERROR_NOT_SUPPORTED;
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
    HANDLE h = FindFirstFileW((src + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return (*err = GetLastError()), (*why = rel + " could not be listed"), false;
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
    } while (ok && FindNextFileW(h, &fd));
    FindClose(h);
    return ok;
}

}  // namespace

void svc_sign_sweep()
{
    mcache = std::string(mfolder) + "\\" SVC_SIGN_CACHE;
    DWORD a = GetFileAttributesA(mcache.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return;
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
