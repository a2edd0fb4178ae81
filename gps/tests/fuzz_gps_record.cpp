// The record text a client copies out of the GNSS service's block (at most
// the block's 1024 bytes, terminated), as arbitrary bytes, through the
// client library's parser.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "gps/gps_record.h"
#include "platform/tests/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[gps::kRecordMappingSize];
    const size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
    std::memcpy(text, data, n);
    text[n] = '\0';

    gps::GpsValues values;
    const std::int32_t connection = gps::ParseGpsRecord(text, values);
    // The flag, or 0 for a record that ends early; any positive flag reads as 1.
    FUZZ_CHECK(connection == values.connection || connection == 0);
    FUZZ_CHECK(values.connection <= 1);

    // The same text gives the same values whatever the client held before.
    gps::GpsValues again;
    again.latitude = -1.0;
    again.satellites = 99;
    gps::ParseGpsRecord(text, again);
    FUZZ_CHECK(again.connection == values.connection && again.satellites == values.satellites);
    FUZZ_CHECK(std::memcmp(&again.stepDistance, &values.stepDistance, sizeof(double)) == 0);
    return 0;
}
