// Access to the recorded receiver logs beside the source tree
// (../shared/data/nmea from the source root); tests skip when they are absent.
#pragma once

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace gnss_test {

inline std::vector<std::string> CaptureDirCandidates() {
    std::vector<std::string> dirs;
    if (const char* src = std::getenv("SURVEY_SOURCE_DIR")) {
        const std::string dir = std::string(src) + "/../shared/data/nmea";
        dirs.push_back(dir);
        dirs.push_back("Z:" + dir);  // a Unix path seen from a Wine process
    }
    dirs.push_back("../shared/data/nmea");
    return dirs;
}

// The capture's bytes, untouched, or nothing when the file is absent.
inline std::optional<std::string> ReadCapture(const std::string& name) {
    for (const std::string& dir : CaptureDirCandidates()) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        if (in) {
            std::ostringstream s;
            s << in.rdbuf();
            return s.str();
        }
    }
    return std::nullopt;
}

}  // namespace gnss_test
