// Scan telegrams as an LMS100 sends them in either output layout, and the
// real captures in ../shared/data/sopas, for the scanner tests and benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "scanner/sopas_protocol.h"

namespace scan_test {

struct TelegramShape {
    sopas::ScanLayout layout = sopas::ScanLayout::First;
    std::vector<uint32_t> distances;
    std::vector<uint32_t> remissions;  // empty: no remission block
    std::string status = "0";          // first device-status word
    std::string status2 = "0";         // second device-status word (error bits)
    bool stx = true, etx = true;
    // Replaces the remission count (to announce more points than are sent).
    std::optional<uint32_t> announcedDistances;
    std::optional<uint32_t> announcedRemissions;
};

inline std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}

inline std::string BuildTelegram(const TelegramShape& s) {
    const bool second = s.layout == sopas::ScanLayout::Second;
    std::string t;
    if (s.stx)
        t += sopas::kStx;
    t += "sRA LMDscandata 1 1 89A27F " + s.status + " " + s.status2 +
         " 343 347 27477BA9 2747813B 0 0 7 0 0 ";
    t += "1388 168 ";
    // Encoders: none in the first layout, one (position, speed) in the second.
    t += second ? "1 0 0 " : "0 ";
    // 16-bit channels: distances, and in the first layout the remission too.
    t += (!second && !s.remissions.empty()) ? "2 " : "1 ";
    t += "DIST1 3F800000 00000000 FFF92230 1388 ";
    t += Hex(s.announcedDistances.value_or(static_cast<uint32_t>(s.distances.size())));
    for (uint32_t d : s.distances)
        t += " " + Hex(d);
    if (!s.remissions.empty()) {
        const std::string count =
            Hex(s.announcedRemissions.value_or(static_cast<uint32_t>(s.remissions.size())));
        // The second layout sends remission as one 8-bit channel.
        t += second ? " 1 RSSI1 3F800000 00000000 FFF92230 1388 " + count
                    : " RSSI1 3F800000 00000000 FFF92230 1388 " + count;
        for (uint32_t r : s.remissions)
            t += " " + Hex(r);
        t += second ? " 0 0 0 0 0" : " 0 0 0 0 0 0";
    } else {
        t += " 0 0 0 0 0 0";
    }
    if (s.etx)
        t += sopas::kEtx;
    return t;
}

// A road-like profile of n points with remission: distances 1000..4999 mm.
inline TelegramShape RoadScan(size_t n, sopas::ScanLayout layout = sopas::ScanLayout::First) {
    TelegramShape s;
    s.layout = layout;
    for (size_t i = 0; i < n; ++i) {
        s.distances.push_back(static_cast<uint32_t>(1000 + (i * 37) % 4000));
        s.remissions.push_back(static_cast<uint32_t>(
            layout == sopas::ScanLayout::First ? 20000 + (i * 53) % 40000 : (i * 7) % 256));
    }
    return s;
}

// A capture from ../shared/data/sopas (beside the source tree), or nothing
// when that folder is absent.
inline std::optional<std::string> ReadCapture(const char* fileName) {
    std::vector<std::string> dirs;
    if (const char* source = std::getenv("SURVEY_SOURCE_DIR")) {
        const std::string dir = std::string(source) + "/../shared/data/sopas";
        dirs.push_back(dir);
        dirs.push_back("Z:" + dir);  // a Unix path seen from a Wine process
    }
    for (const std::string& dir : dirs) {
        std::ifstream in(dir + "/" + fileName, std::ios::binary);
        if (in) {
            std::stringstream s;
            s << in.rdbuf();
            return s.str();
        }
    }
    return std::nullopt;
}

}  // namespace scan_test
