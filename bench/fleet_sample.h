// One generated device of the fleet benchmarks (Windows and host alike):
// every seventh device has a failed package, every eleventh is silent.
#pragma once
#include "status.h"
#include <string>

inline DeviceStatus fleet_sample(int d, int packages)
{
    DeviceStatus s;
    s.device = "PC" + std::to_string(100000 + d).substr(1);
    s.time = d % 11 ? "2026-12-07 08:00:00" : "2026-11-20 08:00:00";
    s.vers = "1.0.0.6";
    for (int p = 0; p < packages; p++) {
        StatusPackage k;
        k.comp = "Vendor" + std::to_string(p % 7);
        k.name = "Package" + std::to_string(p);
        k.vers = "1." + std::to_string(p);
        k.path = "\\\\server\\packages\\pkg\\" + k.comp + "\\" + k.name + "\\" + k.vers + "\\Install.cmd";
        k.time = "2026-12-07 07:59:00";
        k.state = d % 7 == 0 && p == 3 ? PKG_FAILED : PKG_INSTALLED;
        k.code = k.state == PKG_FAILED ? 1603 : 0;
        k.runs = 1;
        s.packages.push_back(k);
    }
    return s;
}
