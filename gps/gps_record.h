// The GNSS service's current-fix record as the client library reads it, and
// the command texts the library writes into the service's command mappings.
// Portable: no Win32 here, so the host build tests it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gps {

// Sizes of the service's mappings, in bytes, terminator included.
inline constexpr std::size_t kRecordMappingSize = 1024;
inline constexpr std::size_t kCommandMappingSize = 260;

// Clock-check request texts of "MyGPSSyncMappingObject".
inline constexpr char kSyncRequest[] = "-1";
inline constexpr char kSyncWithdraw[] = "0";

// The values the library hands out, with their values before the first record.
struct GpsValues {
    std::int32_t connection = 0;  // last _UpdateGPS result; -1 after _QuitGPS
    double latitude = 56.0;       // degrees
    double longitude = 37.8;      // degrees
    double stepDistance = 0.0;    // m between the two last fixes
    double deltaLat = 0.0;        // degrees between the two last fixes
    double deltaLon = 0.0;        // degrees between the two last fixes
    double speed = 0.0;           // m/s
    double fixTime = 0.0;         // hhmmss.sss UTC
    std::int32_t satellites = 0;
};

// Reads the record text into `values`, the way _UpdateGPS does: the step
// distance, both deltas and the satellite count start from 0; the leading
// integer is the connection flag (a positive one reads as 1) and is stored;
// the fields then follow in record order, and a record that ends early keeps
// the fields it has and the old values of the rest. Returns the flag, or 0
// when the record ends before its last field.
// Numbers are read with '.' as the decimal point whatever the C locale of the
// host program says.
std::int32_t ParseGpsRecord(const char* text, GpsValues& values);

}  // namespace gps
