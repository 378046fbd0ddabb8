// nxsvc /sign <share> <thumbprint>: writes the share's manifest (every
// file under pkg\ and cfg\, sorted as "LC_ALL=C sort" sorts, sha256sum's
// format, the sequence one above the present one) and its detached
// signature, with a certificate and its private key from the current
// user's or the machine's store. An administrator on Windows needs
// nothing else; the result verifies with "openssl cms -verify" too.
#include "svc.h"
#include "manifest.h"
#include "scoped.h"
#include "sharelayout.h"
#include "signcheck.h"
#include <wincrypt.h>
#include <algorithm>
#include <stdio.h>

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::string utf8(const wchar_t* w)
{
    char u[NX_PATH * 4];
    return WideCharToMultiByte(CP_UTF8, 0, w, -1, u, sizeof u, nullptr, nullptr) > 0 ? u : std::string();
}

struct File {
    std::string rel;  // UTF-8, "/" between names
    std::wstring path;
};

// Every file below folder; false when a folder cannot be listed or holds a
// link (a manifest must not approve what a link points to).
bool list_files(const std::wstring& folder, const std::string& rel, std::vector<File>* out, std::string* why)
{
    WIN32_FIND_DATAW fd;
    ScopedFind h(FindFirstFileW((folder + L"\\*").c_str(), &fd));
    if (!h) {
        DWORD e = GetLastError();
        *why = rel + " cannot be listed: " + std::to_string(e);
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;  // none there
    }
    bool ok = true;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
        std::string sub = rel + "/" + utf8(fd.cFileName);
        std::wstring path = folder + L"\\" + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            *why = sub + " is a link";
            ok = false;
        } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = list_files(path, sub, out, why);
        } else if (sub.rfind(SHARE_CFG "/" SHARE_MANIFEST, 0) != 0) {  // itself, its signature, a .new left over
            out->push_back({sub, path});
        }
    } while (ok && FindNextFileW(h.get(), &fd));
    return ok;
}

DWORD write_file(const std::wstring& path, const std::string& data)
{
    ScopedHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put = 0;
    if (!f || !WriteFile(f.get(), data.data(), (DWORD)data.size(), &put, nullptr) || put != data.size())
        return GetLastError() ? GetLastError() : (DWORD)ERROR_WRITE_FAULT;
    return FlushFileBuffers(f.get()) ? 0 : GetLastError();
}

// The certificate of that thumbprint in the current user's, else the
// machine's "My" store.
PCCERT_CONTEXT find_certificate(const std::string& thumb)
{
    BYTE sha1[SHA1_BYTES];
    for (int i = 0; i < SHA1_BYTES; i++) sha1[i] = (BYTE)strtoul(thumb.substr(2 * i, 2).c_str(), nullptr, 16);
    CRYPT_HASH_BLOB blob = {SHA1_BYTES, sha1};
    for (DWORD where : {(DWORD)CERT_SYSTEM_STORE_CURRENT_USER, (DWORD)CERT_SYSTEM_STORE_LOCAL_MACHINE}) {
        HCERTSTORE s = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, where | CERT_STORE_READONLY_FLAG, "My");
        if (!s) continue;
        PCCERT_CONTEXT c = CertFindCertificateInStore(s, kEncoding, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
        CertCloseStore(s, 0);
        if (c) return c;
    }
    return nullptr;
}

int fail(const char* share, const std::string& why, DWORD e)
{
    printf("Sign (%s) %s, failed: %lu\n", share, why.c_str(), e);
    svc_log("Sign (%s) %s, failed: %lu\n", share, why.c_str(), e);
    return 1;
}

}  // namespace

int svc_sign_share(const char* share, const char* thumbprint)
{
    std::vector<std::string> pins;
    const char* bad = nullptr;
    if (!parse_thumbprints(thumbprint, &pins, &bad) || pins.size() != 1)
        return fail(share, "one thumbprint of 40 hex digits is needed", ERROR_INVALID_PARAMETER);
    PCCERT_CONTEXT cert = find_certificate(pins[0]);
    if (!cert) return fail(share, "no certificate " + pins[0] + " in the user's or the machine's store", CRYPT_E_NOT_FOUND);
    struct Free {
        PCCERT_CONTEXT c;
        ~Free() { CertFreeCertificateContext(c); }
    } free_cert{cert};

    wchar_t wroot[NX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, share, -1, wroot, NX_PATH) <= 0) return fail(share, "not a path", ERROR_BAD_PATHNAME);
    std::wstring root = wroot;
    while (!root.empty() && root.back() == L'\\') root.pop_back();
    std::wstring manifest = root + L"\\" SHARE_CFG L"\\" SHARE_MANIFEST, signature = manifest + L".p7s";
    std::vector<File> files;
    std::string why;
    for (const char* top : {SHARE_CFG, SHARE_PKG}) {
        std::wstring w(top, top + strlen(top));
        if (!list_files(root + L"\\" + w, top, &files, &why)) return fail(share, why, ERROR_BAD_PATHNAME);
    }
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.rel < b.rel; });

    // One above the present manifest's, which devices may have accepted.
    unsigned long long sequence = 1;
    {
        ScopedHandle f(CreateFileW(manifest.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char head[64] = "";
        DWORD got = 0;
        if (f && ReadFile(f.get(), head, sizeof head - 1, &got, nullptr)) {
            head[got] = 0;
            head[strcspn(head, "\r\n")] = 0;
            if (strncmp(head, "# sequence ", 11) == 0) sequence = sequence_of(head + 11) + 1;
        }
    }
    std::string text = "# sequence " + std::to_string(sequence) + "\n";
    for (const File& f : files) {
        unsigned char hash[SHA256_BYTES];
        if (DWORD e = hash_file(f.path.c_str(), hash)) return fail(share, f.rel + " cannot be read", e);
        text += hex_text(hash, SHA256_BYTES) + "  " + f.rel + "\n";
    }

    CRYPT_SIGN_MESSAGE_PARA para = {};
    para.cbSize = sizeof para;
    para.dwMsgEncodingType = kEncoding;
    para.pSigningCert = cert;
    para.HashAlgorithm.pszObjId = (LPSTR)szOID_NIST_sha256;
    para.cMsgCert = 1;
    para.rgpMsgCert = &cert;
    const BYTE* parts[1] = {(const BYTE*)text.data()};
    DWORD sizes[1] = {(DWORD)text.size()}, cb = 0;
    if (!CryptSignMessage(&para, TRUE, 1, parts, sizes, nullptr, &cb))
        return fail(share, "the certificate cannot sign (its private key?)", GetLastError());
    std::string sig(cb, '\0');
    if (!CryptSignMessage(&para, TRUE, 1, parts, sizes, (BYTE*)&sig[0], &cb))
        return fail(share, "the certificate cannot sign (its private key?)", GetLastError());
    sig.resize(cb);
    // What the devices will check, checked before anything is replaced.
    unsigned char digest[SHA256_BYTES];
    Sha256 sha;
    sha.begin();
    sha.add(text.data(), (DWORD)text.size());
    sha.finish(digest);
    std::string signer;
    DWORD e = 0;
    if (const char* no = verify_signature(sig, text, digest, pins, &signer, &e)) return fail(share, no, e);

    // The signature first: a device between the two writes sees a
    // mismatch and runs nothing, never an unsigned manifest.
    std::wstring tmp_m = manifest + L".new", tmp_s = signature + L".new";
    if ((e = write_file(tmp_m, text)) || (e = write_file(tmp_s, sig))) return fail(share, "cannot write cfg", e);
    if (!MoveFileExW(tmp_s.c_str(), signature.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
        !MoveFileExW(tmp_m.c_str(), manifest.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(share, "cannot replace the manifest", GetLastError());
    printf("Sign (%s) OK ... sequence %llu, %d files, signer %s\n", share, sequence, (int)files.size(), signer.c_str());
    svc_log("Sign (%s) OK ... sequence %llu, %d files, signer %s\n", share, sequence, (int)files.size(), signer.c_str());
    return 0;
}
