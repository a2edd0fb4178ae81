// Builds test sentences with correct checksums.
#pragma once

#include <cstdio>
#include <string>

namespace gnss_test {

// "$" + body + "*hh" with the checksum of body.
inline std::string Sentence(const std::string& body) {
    unsigned x = 0;
    for (unsigned char c : body)
        x ^= c;
    char star[8];
    std::snprintf(star, sizeof star, "*%02X", x);
    return "$" + body + star;
}

// A GPGGA sentence: time, ddmm.mmmm latitude, dddmm.mmmm longitude, satellites.
inline std::string Gga(const std::string& time, const std::string& lat, const std::string& lon,
                       const std::string& sats, const std::string& ns = "N",
                       const std::string& ew = "E") {
    return Sentence("GPGGA," + time + "," + lat + "," + ns + "," + lon + "," + ew + ",1," + sats +
                    ",0.9,150.0,M,14.0,M,,");
}

}  // namespace gnss_test
