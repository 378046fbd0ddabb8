// The status file reader, the fleet built from it and the fleet report.
// Any input reads without fault; a file that reads is written and reads
// back as the same status; the report of any fleet is written whole.
#include "fuzzutil.h"
#include "fleet.h"
#include "status.h"
#include <string.h>

namespace {

bool same(const StatusPackage& a, const StatusPackage& b)
{
    return a.comp == b.comp && a.name == b.name && a.vers == b.vers && a.path == b.path && a.time == b.time &&
           a.state == b.state && a.code == b.code && a.runs == b.runs && a.next == b.next;
}

bool has_cr(const DeviceStatus& s)
{
    auto cr = [](const std::string& v) { return v.find('\r') != std::string::npos; };
    if (cr(s.device) || cr(s.time) || cr(s.vers)) return true;
    for (const StatusPackage& p : s.packages)
        if (cr(p.comp) || cr(p.name) || cr(p.vers) || cr(p.path) || cr(p.time)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DeviceStatus s;
    const char* why = nullptr;
    bool ok = parse_status((const char*)data, size, s, &why);
    FUZZ_CHECK(why != nullptr && (ok == (why[0] == 0)));
    FUZZ_CHECK(s.packages.size() <= STATUS_MAX_PACKAGES);
    if (ok && !has_cr(s)) {
        OutStream os;
        write_status(os.f, s);
        fclose(os.f);
        os.f = nullptr;
        DeviceStatus back;
        FUZZ_CHECK(parse_status(os.buf, os.len, back, &why));
        FUZZ_CHECK(back.device == s.device && back.time == s.time && back.vers == s.vers);
        FUZZ_CHECK(back.installed == s.installed && back.failed == s.failed && back.restart == s.restart);
        FUZZ_CHECK(back.packages.size() == s.packages.size());
        for (size_t i = 0; i < s.packages.size(); i++) FUZZ_CHECK(same(back.packages[i], s.packages[i]));
    }

    FleetBuilder b(20000);
    b.add("a.ini", (const char*)data, size);
    b.add("b.ini", (const char*)data, size);
    Fleet fleet = b.finish();
    FUZZ_CHECK(fleet.rows.size() == 2);
    OutStream report;
    write_fleet_report(report.f, fleet, "2024-01-01 00:00:00");  // closes the stream
    report.f = nullptr;
    FUZZ_CHECK(report.len > 0 && strstr(report.buf, "</html>"));
    return 0;
}
