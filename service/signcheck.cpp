#include "signcheck.h"
#include "scoped.h"
#include "status.h"  // STATUS_NOT_SIGNED
#include <bcrypt.h>
#include <wincrypt.h>
#include <string.h>

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const DWORD kChunk = 1024 * 1024;
BCRYPT_ALG_HANDLE msha;

}  // namespace

bool Sha256::begin()
{
    if (!msha && BCryptOpenAlgorithmProvider(&msha, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) msha = nullptr;
    return msha && BCryptCreateHash(msha, (BCRYPT_HASH_HANDLE*)&h, nullptr, 0, nullptr, 0, 0) == 0;
}
void Sha256::add(const void* p, DWORD n) { BCryptHashData((BCRYPT_HASH_HANDLE)h, (PUCHAR)p, n, 0); }
bool Sha256::finish(unsigned char (&out)[SHA256_BYTES])
{
    return BCryptFinishHash((BCRYPT_HASH_HANDLE)h, out, SHA256_BYTES, 0) == 0;
}
Sha256::~Sha256()
{
    if (h) BCryptDestroyHash((BCRYPT_HASH_HANDLE)h);
}



namespace {

// Reads the signer's parameter of a message into a buffer of its own.
bool msg_param(HCRYPTMSG msg, DWORD type, std::string* buf)
{
    DWORD cb = 0;
    if (!CryptMsgGetParam(msg, type, 0, nullptr, &cb) || cb == 0) return false;
    buf->assign(cb, '\0');
    return CryptMsgGetParam(msg, type, 0, &(*buf)[0], &cb) != 0;
}

}  // namespace

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

namespace {

// The copy as a pipeline of three stages over a ring of buffers: a thread
// reads, the caller hashes, a thread writes. Over a network the read is
// the cost and the hash hides behind it; on a local disk the hash is the
// cost and the read and write hide behind it.
struct Pipe {
    enum { SLOTS = 4 };
    HANDLE in, out;
    std::vector<char> buf[SLOTS];
    DWORD size[SLOTS] = {};
    long long read_n = 0, hashed_n = 0, written_n = 0;
    bool eof = false;
    DWORD error = 0;
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE changed;

    bool stop() const { return error != 0; }
    template <class Ready> void wait(Ready ready)
    {
        while (!ready() && !stop()) SleepConditionVariableCS(&changed, &lock, INFINITE);
    }
    void fail(DWORD e)
    {
        if (!error) error = e ? e : ERROR_GEN_FAILURE;
        WakeAllConditionVariable(&changed);
    }
    // A stage's next slot, once the stage before has filled it (done lags
    // ready): its number and size. False when the copy stops.
    bool take(const long long& done, const long long& ready, long long* n, DWORD* bytes)
    {
        EnterCriticalSection(&lock);
        wait([&] { return done < ready; });
        bool go = !stop();
        *n = done;
        *bytes = go ? size[done % SLOTS] : 0;
        LeaveCriticalSection(&lock);
        return go;
    }
    // A stage's slot handed on, or the copy failed with e.
    void finish(long long& done, DWORD e)
    {
        EnterCriticalSection(&lock);
        if (e)
            fail(e);
        else
            done++;
        WakeAllConditionVariable(&changed);
        LeaveCriticalSection(&lock);
    }
};

DWORD WINAPI reader(void* arg)
{
    Pipe& p = *(Pipe*)arg;
    for (;;) {
        EnterCriticalSection(&p.lock);
        p.wait([&] { return p.read_n - p.written_n < Pipe::SLOTS; });
        bool stop = p.stop();
        long long n = p.read_n;
        LeaveCriticalSection(&p.lock);
        if (stop) return 0;
        DWORD got = 0;
        BOOL ok = ReadFile(p.in, p.buf[n % Pipe::SLOTS].data(), kChunk, &got, nullptr);
        DWORD e = ok ? 0 : GetLastError();
        EnterCriticalSection(&p.lock);
        if (!ok) {
            p.fail(e);
        } else {
            p.size[n % Pipe::SLOTS] = got;
            p.read_n++;
            p.eof = got == 0;
            WakeAllConditionVariable(&p.changed);
        }
        bool done = !ok || got == 0;
        LeaveCriticalSection(&p.lock);
        if (done) return 0;
    }
}

DWORD WINAPI writer(void* arg)
{
    Pipe& p = *(Pipe*)arg;
    for (;;) {
        long long n;
        DWORD size;
        if (!p.take(p.written_n, p.hashed_n, &n, &size) || size == 0) return 0;  // size 0: the end
        DWORD put = 0;
        BOOL ok = WriteFile(p.out, p.buf[n % Pipe::SLOTS].data(), size, &put, nullptr) && put == size;
        p.finish(p.written_n, ok ? 0 : (GetLastError() ? GetLastError() : (DWORD)ERROR_DISK_FULL));
        if (!ok) return 0;
    }
}

}  // namespace

DWORD copy_hashed(const wchar_t* src, const wchar_t* dst, unsigned char (&hash)[SHA256_BYTES])
{
    ScopedHandle in(CreateFileW(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!in) return GetLastError();
    ScopedHandle out(CreateFileW(dst, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out) return GetLastError();
    Sha256 sha;
    if (!sha.begin()) return ERROR_NOT_SUPPORTED;
    Pipe p;
    p.in = in.get();
    p.out = out.get();
    for (auto& b : p.buf) b.resize(kChunk);
    InitializeCriticalSection(&p.lock);
    InitializeConditionVariable(&p.changed);
    ScopedHandle threads[2] = {ScopedHandle(CreateThread(nullptr, 0, reader, &p, 0, nullptr)),
                               ScopedHandle(CreateThread(nullptr, 0, writer, &p, 0, nullptr))};
    if (!threads[0] || !threads[1]) {
        EnterCriticalSection(&p.lock);
        p.fail(GetLastError());
        LeaveCriticalSection(&p.lock);
    }
    for (;;) {
        long long n;
        DWORD size;
        if (!p.take(p.hashed_n, p.read_n, &n, &size)) break;
        sha.add(p.buf[n % Pipe::SLOTS].data(), size);
        p.finish(p.hashed_n, 0);
        if (size == 0) break;
    }
    for (ScopedHandle& t : threads)
        if (t) {
            WaitForSingleObject(t.get(), INFINITE);
            t.reset();
        }
    DeleteCriticalSection(&p.lock);
    if (p.error) return p.error;
    return sha.finish(hash) ? 0 : (DWORD)ERROR_NOT_SUPPORTED;
}

DWORD hash_file(const wchar_t* path, unsigned char (&hash)[SHA256_BYTES])
{
    ScopedHandle in(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!in) return GetLastError();
    Sha256 sha;
    if (!sha.begin()) return ERROR_NOT_SUPPORTED;
    std::vector<char> buf(kChunk);
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(in.get(), buf.data(), kChunk, &got, nullptr)) return GetLastError();
        if (got == 0) break;
        sha.add(buf.data(), got);
    }
    return sha.finish(hash) ? 0 : (DWORD)ERROR_NOT_SUPPORTED;
}

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
