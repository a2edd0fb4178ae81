// The texts of the data block and the recording files, byte for byte, and
// the allocation-free number writer against the C library's printf.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "sensors/sensor_lines.h"
#include "sensors/text_writer.h"

namespace {

std::string Printf(const char* format, double v) {
    char text[512];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string Fixed(double v, int precision) {
    char text[512];
    TextWriter w(text, sizeof text);
    w.Fixed(v, precision);
    EXPECT_TRUE(w.Ok());
    return std::string(text, w.Length());
}

TEST(TextWriterTest, FixedMatchesPrintfIncludingTies) {
    // Exact binary ties round to even in both; values around them too.
    for (double v : {0.0, -0.0, 0.0625, 0.1875, 2.5e-4, 1.0005, 2.0005, -0.0004, -1.25e-3, 19.9995,
                     1000.0, -1000.0, 123456.789, 4294967295.0, 1e-9, 0.5, 1.5}) {
        EXPECT_EQ(Fixed(v, 3), Printf("%.3f", v)) << v;
        EXPECT_EQ(Fixed(v, 6), Printf("%.6f", v)) << v;
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> volts(-25.0f, 25.0f);
    for (int i = 0; i < 20000; ++i) {
        const float f = volts(random);
        ASSERT_EQ(Fixed(f, 3), Printf("%.3f", f)) << f;
        const double d = volts(random) * 1.000001;
        ASSERT_EQ(Fixed(d, 6), Printf("%.6f", d)) << d;
    }
}

TEST(TextWriterTest, IntegersAndPadding) {
    char text[64];
    TextWriter w(text, sizeof text);
    w.Unsigned(0).Put(' ').Unsigned(4294967295u).Put(' ').Padded(7, 2).Padded(5, 3).Put(' ');
    w.Padded(123, 2).Padded(-4, 3);
    EXPECT_STREQ(text, "0 4294967295 07005 123-4");
}

TEST(TextWriterTest, NeverWritesPastItsBuffer) {
    char text[8];
    std::memset(text, 'x', sizeof text);
    TextWriter w(text, 6);
    w.Put("abc").Unsigned(123456);
    EXPECT_FALSE(w.Ok());
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(text[6], 'x');
    w.Put("z");  // nothing more after a failure
    EXPECT_STREQ(text, "abc");
}

TEST(DataLineTest, AcquisitionLineHasCountersAndRawVoltages) {
    char line[kDataLineCapacity];
    const size_t n = FormatDaqDataLine(line, sizeof line, {1, 2, 30, 4000000000u}, 2.5,
                                       kNoLaserVoltage, 0.0001234567);
    const std::string expected =
        "1   2   30   4000000000   2.500000   -1000.000000   0.000123   \n";
    EXPECT_EQ(std::string(line, n), expected);
    EXPECT_EQ(n, expected.size());
}

TEST(DataLineTest, SerialLineHasCountersOnly) {
    char line[kDataLineCapacity];
    const size_t n = FormatSerialDataLine(line, sizeof line, {12, 1, 1, 1});
    EXPECT_EQ(std::string(line, n), "12   1   1   1   \n");
}

TEST(FileLineTest, StampIsUtcFieldsOfTheCallback) {
    const SampleStamp stamp = MakeSampleStamp(platform::CivilTime{2026, 3, 1, 7, 9, 5, 4, 32});
    EXPECT_EQ(std::string(stamp.text, stamp.length), "090504.032,260307\n");
    const SampleStamp end = MakeSampleStamp(platform::CivilTime{2100, 12, 5, 31, 23, 59, 59, 999});
    EXPECT_EQ(std::string(end.text, end.length), "235959.999,001231\n");
}

TEST(FileLineTest, LineMatchesThePrintfFormat) {
    const SampleStamp stamp = MakeSampleStamp(platform::CivilTime{2026, 3, 1, 7, 9, 5, 4, 32});
    char line[kFileLineCapacity];
    const float d = -0.0625f;
    const float v = 4.98765f;
    const size_t n = FormatChannelFileLine(line, sizeof line, 77, d, v, stamp);
    char expected[128];
    std::snprintf(expected, sizeof expected, "%lu,%.3f,%.3f,%02d%02d%02d.%03d,%02d%02d%02d\n", 77ul,
                  d, v, 9, 5, 4, 32, 26, 3, 7);
    EXPECT_EQ(std::string(line, n), expected);
    EXPECT_EQ(std::string(line, n), "77,-0.062,4.988,090504.032,260307\n");
    // The first sample's difference to the start reference fits as well.
    EXPECT_GT(FormatChannelFileLine(line, sizeof line, 4294967295u, -30000.0f, 3.4e38f, stamp), 0u);
}

TEST(SessionTest, EnabledInputsOnlyWithTheirKeys) {
    SensorSetup setup;
    setup.channels[0].enabled = true;
    setup.channels[0].sensitivityMv = 150;
    setup.channels[2].enabled = true;
    setup.channels[2].purpose = 5;
    setup.channels[2].brand = {u'S', u'i', u'c', u'k'};
    const std::vector<ProfileEntry> entries = SessionEntries(setup);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].section, "Датчик0");
    EXPECT_EQ(entries[0].key, "Марка");
    EXPECT_EQ(entries[0].value, "");
    EXPECT_EQ(entries[1].key, "Чувствительность");
    EXPECT_EQ(entries[1].value, "150");
    EXPECT_EQ(entries[2].key, "Назначение");
    EXPECT_EQ(entries[2].value, "0");
    EXPECT_EQ(entries[3].section, "Датчик2");
    EXPECT_EQ(entries[3].value, "Sick");
    EXPECT_EQ(entries[5].value, "5");
}

TEST(SnapshotTest, PrefixesFollowThePurposes) {
    SensorSetup setup;
    setup.channels[2].purpose = 4;
    setup.channels[3].purpose = 5;
    const std::string line = FormatSnapshotLine(setup, {1.5f, 2.25f, 3.0f, 0.125f},
                                                platform::CivilTime{2026, 11, 0, 8, 14, 3, 9, 7});
    EXPECT_EQ(line,
              "dpp = 1.500 slope = 2.25000 left_laser = 3.00000 right_laser = 0.12500 "
              "time = 261108140309.007\n");
    setup.channels[0].purpose = 2;
    EXPECT_EQ(FormatSnapshotLine(setup, {1.5f, 0, 0, 0}, {}).substr(0, 10), " = 1.500 s");
}

}  // namespace
