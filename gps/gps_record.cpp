#include "gps/gps_record.h"

#include <charconv>
#include <cstring>

namespace gps {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// atof()-like: leading blanks, an optional sign, the longest number; 0 when
// there is none. std::from_chars ignores the locale, unlike atof.
double ReadDouble(const char* p, const char* end) {
    while (p < end && IsBlank(*p))
        ++p;
    if (p < end && *p == '+')
        ++p;
    double value = 0.0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    return result.ec == std::errc() ? value : 0.0;
}

// atoi()-like, saturating instead of overflowing.
std::int32_t ReadInt(const char* p, const char* end) {
    while (p < end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    std::int64_t value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX)
            return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

std::int32_t ParseGpsRecord(const char* text, GpsValues& values) {
    values.stepDistance = 0.0;
    values.deltaLat = 0.0;
    values.deltaLon = 0.0;
    values.satellites = 0;
    if (text == nullptr)
        text = "";
    const char* end = text + std::strlen(text);

    std::int32_t flag = ReadInt(text, end);
    if (flag > 0)
        flag = 1;
    values.connection = flag;

    double* const fields[] = {&values.latitude, &values.longitude, &values.stepDistance,
                              &values.deltaLat, &values.deltaLon,  &values.speed,
                              &values.fixTime};
    const char* p = std::strchr(text, ' ');
    for (double* field : fields) {
        if (p == nullptr || p[1] == '\0')
            return 0;
        ++p;
        *field = ReadDouble(p, end);
        p = std::strchr(p, ' ');
    }
    if (p == nullptr || p[1] == '\0')
        return 0;
    values.satellites = ReadInt(p + 1, end);
    return flag;
}

}  // namespace gps
