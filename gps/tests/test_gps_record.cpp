#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "gps/gps_record.h"

namespace {

using gps::GpsValues;
using gps::ParseGpsRecord;

// The record as the service formats it: "%d %.12f x6 %.3f %d".
std::string FormatRecord(int valid, double lat, double lon, double dist, double dlat, double dlon,
                         double speed, double time, int sats) {
    char text[1024];
    std::snprintf(text, sizeof(text), "%d %.12f %.12f %.12f %.12f %.12f %.12f %.3f %d", valid, lat,
                  lon, dist, dlat, dlon, speed, time, sats);
    return text;
}

TEST(GpsRecordParse, FullRecordGivesEveryValue) {
    GpsValues v;
    const std::string record = FormatRecord(1, 55.5, 37.5, 2.0, 0.00001, 0.00002, 2.0, 123456.0, 9);
    EXPECT_EQ(ParseGpsRecord(record.c_str(), v), 1);
    EXPECT_EQ(v.connection, 1);
    EXPECT_DOUBLE_EQ(v.latitude, 55.5);
    EXPECT_DOUBLE_EQ(v.longitude, 37.5);
    EXPECT_DOUBLE_EQ(v.stepDistance, 2.0);
    EXPECT_DOUBLE_EQ(v.deltaLat, 0.00001);
    EXPECT_DOUBLE_EQ(v.deltaLon, 0.00002);
    EXPECT_DOUBLE_EQ(v.speed, 2.0);
    EXPECT_DOUBLE_EQ(v.fixTime, 123456.0);
    EXPECT_EQ(v.satellites, 9);
}

TEST(GpsRecordParse, InitialValuesBeforeAnyRecord) {
    const GpsValues v;
    EXPECT_EQ(v.connection, 0);
    EXPECT_DOUBLE_EQ(v.latitude, 56.0);
    EXPECT_DOUBLE_EQ(v.longitude, 37.8);
    EXPECT_EQ(v.satellites, 0);
}

TEST(GpsRecordParse, ReceiverLostRecordResetsMotionButKeepsPosition) {
    GpsValues v;
    const std::string full = FormatRecord(1, 55.5, 37.5, 2.0, 0.1, 0.2, 3.0, 101010.5, 7);
    ASSERT_EQ(ParseGpsRecord(full.c_str(), v), 1);
    EXPECT_EQ(ParseGpsRecord("0\n", v), 0);
    EXPECT_EQ(v.connection, 0);
    EXPECT_EQ(v.satellites, 0);
    EXPECT_DOUBLE_EQ(v.stepDistance, 0.0);
    EXPECT_DOUBLE_EQ(v.deltaLat, 0.0);
    EXPECT_DOUBLE_EQ(v.deltaLon, 0.0);
    EXPECT_DOUBLE_EQ(v.latitude, 55.5);
    EXPECT_DOUBLE_EQ(v.longitude, 37.5);
    EXPECT_DOUBLE_EQ(v.speed, 3.0);  // not among the values reset
    EXPECT_DOUBLE_EQ(v.fixTime, 101010.5);
}

TEST(GpsRecordParse, PortChangeRecordReadsZerosAndLastTime) {
    GpsValues v;
    EXPECT_EQ(ParseGpsRecord("0 0.0 0.0 0.0 0.0 0.0 0.0 235959.250 0", v), 0);
    EXPECT_DOUBLE_EQ(v.latitude, 0.0);
    EXPECT_DOUBLE_EQ(v.fixTime, 235959.25);
}

TEST(GpsRecordParse, EmptyMappingReadsAsNoConnection) {
    GpsValues v;
    EXPECT_EQ(ParseGpsRecord("", v), 0);
    EXPECT_EQ(ParseGpsRecord(nullptr, v), 0);
    EXPECT_DOUBLE_EQ(v.latitude, 56.0);
}

TEST(GpsRecordParse, RecordEndingEarlyKeepsWhatItHas) {
    GpsValues v;
    v.speed = 5.0;
    EXPECT_EQ(ParseGpsRecord("1 10.25 20.5 3.0", v), 0);
    EXPECT_EQ(v.connection, 1);
    EXPECT_DOUBLE_EQ(v.latitude, 10.25);
    EXPECT_DOUBLE_EQ(v.longitude, 20.5);
    EXPECT_DOUBLE_EQ(v.stepDistance, 3.0);
    EXPECT_DOUBLE_EQ(v.speed, 5.0);
    // Without the satellite field the record is incomplete too.
    EXPECT_EQ(ParseGpsRecord("1 1 2 3 4 5 6 7", v), 0);
    EXPECT_DOUBLE_EQ(v.fixTime, 7.0);
    // A trailing blank does not start a field.
    EXPECT_EQ(ParseGpsRecord("1 1 2 3 4 5 6 7 ", v), 0);
}

TEST(GpsRecordParse, FlagIsOneWhenPositiveAndKeptWhenNegative) {
    GpsValues v;
    EXPECT_EQ(ParseGpsRecord("7 1 2 3 4 5 6 7 8", v), 1);
    EXPECT_EQ(ParseGpsRecord("-3 1 2 3 4 5 6 7 8", v), -3);
    EXPECT_EQ(v.connection, -3);
    EXPECT_EQ(ParseGpsRecord("99999999999999999999 1 2 3 4 5 6 7 8", v), 1);
}

TEST(GpsRecordParse, NonNumbersReadAsZeroLikeTheCRuntime) {
    GpsValues v;
    EXPECT_EQ(ParseGpsRecord("1 abc 37.5 x y z w 1.5 q", v), 1);
    EXPECT_DOUBLE_EQ(v.latitude, 0.0);
    EXPECT_DOUBLE_EQ(v.longitude, 37.5);
    EXPECT_DOUBLE_EQ(v.fixTime, 1.5);
    EXPECT_EQ(v.satellites, 0);
}

TEST(GpsRecordParse, DecimalPointIndependentOfTheHostLocale) {
    // Host programs may switch the C locale to one with a decimal comma.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    const bool switched = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr ||
                          std::setlocale(LC_NUMERIC, "Russian") != nullptr;
    GpsValues v;
    EXPECT_EQ(ParseGpsRecord("1 55.75 37.625 0 0 0 0 120000.500 6", v), 1);
    EXPECT_DOUBLE_EQ(v.latitude, 55.75);
    EXPECT_DOUBLE_EQ(v.fixTime, 120000.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!switched)
        GTEST_SKIP() << "no locale with a decimal comma here";
}

}  // namespace
