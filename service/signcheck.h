// The signed share's primitives, free of the service's state so the
// benchmarks measure the very code: SHA-256 by BCrypt, a copy hashed on
// the way, and the checks of a detached CMS signature over the manifest.
#pragma once
#include <windows.h>
#include "manifest.h"
#include <string>
#include <vector>

struct Sha256 {
    void* h = nullptr;  // BCRYPT_HASH_HANDLE
    bool begin();
    void add(const void* p, DWORD n);
    bool finish(unsigned char (&out)[SHA256_BYTES]);
    ~Sha256();
};

// Copies src to dst (created new) while hashing it; the system error, else 0.
DWORD copy_hashed(const wchar_t* src, const wchar_t* dst, unsigned char (&hash)[SHA256_BYTES]);

// A whole file of at most max bytes into out; the system error, else 0
// (ERROR_FILE_TOO_LARGE past max).
DWORD read_whole(const char* path, DWORD max, std::string* out);

// The SHA-256 of a file; the system error, else 0.
DWORD hash_file(const wchar_t* path, unsigned char (&hash)[SHA256_BYTES]);

// Null when the signature sig over data is accepted: one RSA signer whose
// SHA-1 thumbprint (returned in *signer) is one of pinned, a signature
// that verifies, SHA-256, and a signed digest equal to digest (the
// caller's own hash of data). Else the check that failed, with *err.
const char* verify_signature(const std::string& sig, const std::string& data,
                             const unsigned char (&digest)[SHA256_BYTES], const std::vector<std::string>& pinned,
                             std::string* signer, DWORD* err);
