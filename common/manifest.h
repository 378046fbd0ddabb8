// The share's signed manifest "cfg\packages.sha256" and the rules around
// it: what the service accepts as approved bytes when "sign" is set.
// The manifest is sha256sum's output (64 lower-case hex digits, two blanks
// or " *", the path relative to the share with "/" or "\"), after a first
// line "# sequence <n>". Free of Win32: the service feeds it the bytes it
// read and the hashes it computed.
#pragma once
#include "ncfg.h"  // NX_PATH
#include <stddef.h>
#include <string>
#include <vector>

#define SHARE_MANIFEST "packages.sha256"        // in SHARE_CFG
#define SHARE_SIGNATURE "packages.sha256.p7s"   // detached CMS (DER) over the manifest's bytes

// 64 MB hold about 500,000 lines: far above any share, and still a read
// the service can afford in memory.
enum { MANIFEST_MAX_BYTES = 64 * 1024 * 1024, MANIFEST_PATH = NX_PATH, SHA256_BYTES = 32, SHA1_BYTES = 20 };

struct ManifestEntry {
    std::string path;  // "\" between names, as written otherwise (UTF-8)
    unsigned char hash[SHA256_BYTES];
};

struct Manifest {
    unsigned long long sequence = 0;
    std::vector<ManifestEntry> entries;  // sorted by path, without regard to ASCII case
};

enum ManifestVerdict {
    MANIFEST_OK,
    MANIFEST_TOO_LARGE,   // more than MANIFEST_MAX_BYTES
    MANIFEST_NO_SEQUENCE, // first line is not "# sequence <n>"
    MANIFEST_BAD_LINE,    // not "<64 hex>  <path>"
    MANIFEST_BAD_PATH,    // absolute, "..", ".", an empty name, ":", a control character, too long
    MANIFEST_DUPLICATE,   // one path twice (names differing in case only count as one)
};
const char* manifest_reason(ManifestVerdict v);

// Parses the whole manifest. On a fault *line is the 1-based line it was
// found on (0 for the size) and out is left empty.
ManifestVerdict parse_manifest(const char* data, size_t size, Manifest* out, size_t* line);

// The entry of a path ("/" or "\", ASCII case ignored as the share's file
// system does), null when the manifest does not list it.
const ManifestEntry* manifest_find(const Manifest& m, const char* path);

// How many files the manifest lists in folder and below it.
size_t manifest_count_under(const Manifest& m, const char* folder);

// "sign": SHA-1 certificate thumbprints, 40 hex digits each (either case),
// ";" between them; blanks around a thumbprint and an empty item are
// passed over. False, with *why, for anything else; empty text gives an
// empty list (signing off).
bool parse_thumbprints(const char* text, std::vector<std::string>* out, const char** why);

// Lower-case hex of bytes.
std::string hex_text(const unsigned char* bytes, size_t n);

// The sequence the device has accepted: a decimal text (the registry value
// SVC_SIGN_SEQUENCE), 0 when absent or not a number.
unsigned long long sequence_of(const char* text);
