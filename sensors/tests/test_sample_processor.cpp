// The per-sample path end to end: a scan of four raw readings through
// conversion, change detection, compensation and both kinds of lines.
#include <gtest/gtest.h>

#include <string>

#include "sensors/sample_processor.h"

namespace {

SensorSetup TypicalSetup() {
    SensorSetup setup;
    setup.channels[0].purpose = PurposeValue(ChannelPurpose::Way);
    setup.channels[1].purpose = PurposeValue(ChannelPurpose::Slope);
    setup.channels[2].purpose = PurposeValue(ChannelPurpose::LeftLaser);
    setup.channels[3].purpose = PurposeValue(ChannelPurpose::RightLaser);
    for (SensorChannel& c : setup.channels) {
        c.enabled = true;
        c.sensitivityMv = 100;
        c.minDistanceVoltageMv = 0;
    }
    setup.calibration.laserCoefMvPerM = 1000;
    setup.roles = ChannelRoles{0, 1, -1, -1, 2, 3};
    return setup;
}

class SampleProcessorTest : public ::testing::Test {
protected:
    void SetUp() override {
        processor.SetSetup(TypicalSetup());
        stamp = MakeSampleStamp(platform::CivilTime{2026, 5, 2, 12, 10, 20, 30, 405});
    }
    std::string Scan(double way, double slope, double left, double right, unsigned mask = 0) {
        const double raw[kInputCount] = {way, slope, left, right};
        processor.ProcessScan(raw, stamp, mask, lines);
        return std::string(lines.data.data(), lines.dataLength);
    }
    std::string FileLine(int i) const {
        return std::string(lines.file[static_cast<size_t>(i)].data(),
                           lines.fileLength[static_cast<size_t>(i)]);
    }
    SampleProcessor processor;
    SampleStamp stamp;
    ScanLines lines;
};

TEST_F(SampleProcessorTest, FirstScanCountsEveryInputButTheWay) {
    EXPECT_EQ(Scan(0.2, 2.5, 1.0, 1.2), "1   2   2   2   2.500000   1.000000   1.200000   \n");
    const auto& s = processor.States();
    EXPECT_FLOAT_EQ(s[0].value, 0.2f);
    EXPECT_NEAR(s[1].value, 0.0f, 1e-4f);
    EXPECT_FLOAT_EQ(s[2].value, 1.0f);
    EXPECT_FLOAT_EQ(s[3].value, 1.2f);
}

TEST_F(SampleProcessorTest, SquareWaveOnTheWayInputCountsPulses) {
    for (int period = 0; period < 10; ++period) {
        Scan(0.1, 2.5, 1.0, 1.0);
        Scan(0.1, 2.5, 1.0, 1.0);
        Scan(4.8, 2.5, 1.0, 1.0);
        Scan(4.8, 2.5, 1.0, 1.0);
    }
    EXPECT_EQ(processor.States()[0].count, 11u);
    // The steady inputs counted their first sample only.
    EXPECT_EQ(processor.States()[1].count, 2u);
}

TEST_F(SampleProcessorTest, FileLinesOnlyForMaskedInputs) {
    Scan(0.2, 2.5, 1.0, 1.2, 0b0101);
    EXPECT_EQ(FileLine(0), "1,-29999.801,0.200,102030.405,260512\n");
    EXPECT_EQ(lines.fileLength[1], 0u);
    EXPECT_EQ(FileLine(2), "2,-29999.000,1.000,102030.405,260512\n");
    EXPECT_EQ(lines.fileLength[3], 0u);
    // The difference is taken against the reference before the update.
    Scan(0.25, 2.5, 1.5, 1.2, 0b0100);
    EXPECT_EQ(FileLine(2), "3,0.500,1.500,102030.405,260512\n");
}

TEST_F(SampleProcessorTest, AbsentRolesPublishTheirMarks) {
    SensorSetup setup = TypicalSetup();
    setup.roles.slope = -1;
    setup.roles.leftLaser = -1;
    setup.roles.rightLaser = -1;
    processor.SetSetup(setup);
    EXPECT_EQ(Scan(0.2, 2.5, 1.0, 1.2),
              "1   2   2   2   1000.000000   -1000.000000   -1000.000000   \n");
}

TEST_F(SampleProcessorTest, PublishedVoltagesAreRawReadingsNotValues) {
    SensorSetup setup = TypicalSetup();
    setup.calibration.laserCompensation = true;
    setup.calibration.laserBaseMm = 1000;
    processor.SetSetup(setup);
    const std::string line = Scan(0.2, 3.5, 1.0, 1.1);
    EXPECT_EQ(line.substr(line.find("3.5")), "3.500000   1.000000   1.100000   \n");
    // Slope 17.455 per mille less the lasers' 100 per mille.
    EXPECT_NEAR(processor.States()[1].value, 17.455f - 100.0f, 0.01f);
}

TEST_F(SampleProcessorTest, CalibrationModeStillCompensates) {
    SensorSetup setup = TypicalSetup();
    setup.calibration.calibrationMode = true;
    setup.calibration.laserCompensation = true;
    setup.calibration.laserBaseMm = 1000;
    processor.SetSetup(setup);
    Scan(0.2, 3.5, 1.0, 1.1);
    EXPECT_FLOAT_EQ(processor.States()[2].value, 1.0f);
    EXPECT_NEAR(processor.States()[1].value, 3.5f - 100.0f, 1e-3f);
}

TEST_F(SampleProcessorTest, ResetsRestartCountersAndReferences) {
    Scan(0.2, 2.5, 1.0, 1.2);
    processor.ResetCounters();
    for (uint32_t c : processor.Counts())
        EXPECT_EQ(c, 1u);
    Scan(0.2, 2.5, 1.0, 1.2);
    EXPECT_EQ(processor.Counts()[1], 1u);  // no change against the last reading
    processor.ResetReferences();
    Scan(0.2, 2.5, 1.0, 1.2);
    EXPECT_EQ(processor.Counts()[1], 2u);
}

TEST_F(SampleProcessorTest, SerialValuesGoToTheWayInput) {
    SensorSetup setup = TypicalSetup();
    setup.channels[0].sensitivityMv = 1000;
    setup.roles.way = 0;
    processor.SetSetup(setup);
    for (double v : {1.0, 4.0, 1.0, 4.0})
        processor.SerialValue(v);
    EXPECT_EQ(processor.States()[0].count, 3u);
    char line[kDataLineCapacity];
    const size_t n = processor.FormatSerialLine(line, sizeof line);
    EXPECT_EQ(std::string(line, n), "3   1   1   1   \n");
    // Without a Way input the values are ignored.
    setup.roles.way = -1;
    processor.SetSetup(setup);
    processor.SerialValue(9.0);
    EXPECT_EQ(processor.States()[0].count, 3u);
    EXPECT_FLOAT_EQ(processor.States()[0].voltage, 4.0f);
}

}  // namespace
