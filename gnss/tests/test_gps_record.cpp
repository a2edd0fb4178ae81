#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gnss/gps_record.h"

namespace {

GnssState Example() {
    GnssState s;
    s.valid = 1;
    s.latitude = 55.5;
    s.longitude = 37.5;
    s.stepDistance = 2.0;
    s.deltaLat = 0.00001;
    s.deltaLon = 0.00002;
    s.speed = 2.0;
    s.fixTime = 123456.0;
    s.satellites = 9;
    return s;
}

// The client's reading of a record: leading flag, then fields split at spaces.
std::vector<double> ClientFields(const std::string& record) {
    std::vector<double> fields;
    const char* p = record.c_str();
    char* end = nullptr;
    for (;;) {
        const double v = std::strtod(p, &end);
        if (end == p)
            break;
        fields.push_back(v);
        p = end;
    }
    return fields;
}

}  // namespace

TEST(GpsRecord, ExactBytes) {
    EXPECT_EQ(FormatGpsRecord(Example()),
              "1 55.500000000000 37.500000000000 2.000000000000 0.000010000000 0.000020000000 "
              "2.000000000000 123456.000 9");
}

TEST(GpsRecord, SameBytesAsTheCRuntimeFormat) {
    GnssState s = Example();
    s.latitude = 56.83798213459;
    s.longitude = 60.60551238871;
    s.stepDistance = 11.134187;
    s.deltaLat = -0.000100000000004;
    s.deltaLon = 1.0 / 3.0;
    s.speed = 0.1 + 0.2;
    s.fixTime = 235959.995;
    s.satellites = 12;
    char expected[1024];
    std::snprintf(expected, sizeof expected, "%d %.12f %.12f %.12f %.12f %.12f %.12f %.3f %d",
                  s.valid, s.latitude, s.longitude, s.stepDistance, s.deltaLat, s.deltaLon, s.speed,
                  s.fixTime, s.satellites);
    EXPECT_EQ(FormatGpsRecord(s), expected);
}

TEST(GpsRecord, DecimalPointDoesNotFollowTheLocale) {
    // Where a comma locale is installed, printf would write "55,5...".
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    const bool switched = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr ||
                          std::setlocale(LC_NUMERIC, "Russian_Russia.1251") != nullptr;
    const std::string record = FormatGpsRecord(Example());
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(record.find(','), std::string::npos);
    if (!switched)
        GTEST_SKIP() << "no comma locale on this system";
}

TEST(GpsRecord, ClientReadsEveryField) {
    const auto f = ClientFields(FormatGpsRecord(Example()));
    ASSERT_EQ(f.size(), 9u);
    EXPECT_EQ(f[0], 1);
    EXPECT_EQ(f[1], 55.5);
    EXPECT_EQ(f[6], 2.0);
    EXPECT_EQ(f[7], 123456.0);
    EXPECT_EQ(f[8], 9);
}

TEST(GpsRecord, SpecialForms) {
    EXPECT_EQ(kReceiverLostRecord, "0\n");
    EXPECT_EQ(FormatPortChangeRecord(101530.25), "0 0.0 0.0 0.0 0.0 0.0 0.0 101530.250 0");
}

TEST(GpsRecord, NeverWritesPastTheBuffer) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    const size_t n = FormatGpsRecord(Example(), buffer, 20);
    EXPECT_EQ(n, 19u);
    EXPECT_EQ(buffer[19], '\0');
    EXPECT_EQ(buffer[20], '#');
    EXPECT_EQ(std::string(buffer), FormatGpsRecord(Example()).substr(0, 19));
    // Extreme values still fit the mapping.
    GnssState s = Example();
    s.latitude = s.longitude = s.stepDistance = s.deltaLat = s.deltaLon = s.speed = -1e300;
    const std::string huge = FormatGpsRecord(s);
    EXPECT_LT(huge.size(), kGpsRecordMappingSize);
}
