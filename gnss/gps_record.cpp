#include "gnss/gps_record.h"

#include "gnss/text_format.h"

using gnss_format::BufferWriter;

size_t FormatGpsRecord(const GnssState& s, char* out, size_t size) {
    BufferWriter w(out, size);
    w.Int(s.valid);
    for (double value :
         {s.latitude, s.longitude, s.stepDistance, s.deltaLat, s.deltaLon, s.speed}) {
        w.Char(' ');
        w.Fixed(value, 12);
    }
    w.Char(' ');
    w.Fixed(s.fixTime, 3);
    w.Char(' ');
    w.Int(s.satellites);
    return w.Finish();
}

std::string FormatGpsRecord(const GnssState& s) {
    char buffer[kGpsRecordMappingSize];
    const size_t n = FormatGpsRecord(s, buffer, sizeof buffer);
    return std::string(buffer, n);
}

std::string FormatPortChangeRecord(double fixTime) {
    return "0 0.0 0.0 0.0 0.0 0.0 0.0 " + gnss_format::Fixed(fixTime, 3) + " 0";
}
