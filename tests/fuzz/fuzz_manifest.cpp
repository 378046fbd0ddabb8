// The share's manifest, written by whoever can write the share: any bytes
// give a verdict; an accepted manifest holds only paths below the share,
// each found again by its own name.
#include "../../common/manifest.h"
#include "fuzzutil.h"
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Manifest m;
    size_t line = 0;
    ManifestVerdict v = parse_manifest((const char*)data, size, &m, &line);
    if (v != MANIFEST_OK) FUZZ_CHECK(m.entries.empty());
    for (const ManifestEntry& e : m.entries) {
        FUZZ_CHECK(!e.path.empty() && e.path.size() < MANIFEST_PATH);
        FUZZ_CHECK(("\\" + e.path + "\\").find("\\..\\") == std::string::npos);
        FUZZ_CHECK(e.path[0] != '\\' && e.path.find(':') == std::string::npos);
        FUZZ_CHECK(manifest_find(m, e.path.c_str()) == &e);
    }
    std::vector<std::string> pins;
    const char* why;
    std::string text((const char*)data, strnlen((const char*)data, size));
    if (parse_thumbprints(text.c_str(), &pins, &why))
        for (const std::string& p : pins) FUZZ_CHECK(p.size() == 40);
    return 0;
}
