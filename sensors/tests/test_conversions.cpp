// Conversions of the sample path and the laser compensation of the slope.
#include <gtest/gtest.h>

#include <cmath>

#include "sensors/conversions.h"

namespace {

SensorChannel Channel(ChannelPurpose purpose) {
    SensorChannel c;
    c.purpose = PurposeValue(purpose);
    return c;
}

TEST(SlopeConversionTest, DefaultCalibrationGivesDegreesOrPerMille) {
    SensorCalibration cal;  // 2500 mV at zero, 1000 mV per degree
    EXPECT_FLOAT_EQ(ConvertSlope(2.5f, cal), 0.0f);
    EXPECT_NEAR(ConvertSlope(3.5f, cal), 17.455f, 0.001f);  // tan(1 degree) x 1000
    cal.slopeInDegrees = true;
    EXPECT_NEAR(ConvertSlope(3.5f, cal), 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(ConvertSlope(2.5f, cal), 0.0f);
    // 45 degrees below zero, in per mille.
    cal.slopeInDegrees = false;
    cal.slopeScaleMvPerDeg = 50;
    EXPECT_NEAR(ConvertSlope(2.5f - 2.25f, cal), -1000.0f, 0.01f);
}

TEST(SlopeConversionTest, ZeroPointFollowsTheCalibration) {
    SensorCalibration cal;
    cal.zeroSlopeMv = 1200;
    cal.slopeInDegrees = true;
    EXPECT_NEAR(ConvertSlope(1.2f, cal), 0.0f, 1e-5f);
    EXPECT_NEAR(ConvertSlope(0.2f, cal), -1.0f, 1e-5f);
}

TEST(LaserConversionTest, DistanceFromScaleAndMinimumRange) {
    SensorCalibration cal;
    cal.laserCoefMvPerM = 500;
    SensorChannel laser = Channel(ChannelPurpose::LeftLaser);
    laser.minDistanceVoltageMv = 1000;
    laser.minDistanceMm = 300;
    // (3000 - 1000) / 500 + 0.3 m
    EXPECT_NEAR(ConvertLaser(3.0f, laser, cal), 4.3f, 1e-6f);
    EXPECT_NEAR(ConvertLaser(1.0f, laser, cal), 0.3f, 1e-6f);
}

TEST(LaserConversionTest, MissingCoefficientUsesTheFallbackScale) {
    SensorCalibration cal;  // no model supplied a coefficient
    ASSERT_EQ(cal.laserCoefMvPerM, 0);
    SensorChannel laser = Channel(ChannelPurpose::RightLaser);
    laser.minDistanceVoltageMv = 0;
    const float value = ConvertLaser(2.0f, laser, cal);
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_FLOAT_EQ(value, 2.0f);  // 2000 mV at 1000 mV per metre
    // The default channel's minimum-range voltage (-20000 mV) stays finite too.
    EXPECT_FLOAT_EQ(ConvertLaser(0.0f, SensorChannel{}, cal), 20.0f);
}

TEST(ValueConversionTest, PurposeChoosesTheConversion) {
    SensorCalibration cal;
    cal.laserCoefMvPerM = 1000;
    SensorChannel way = Channel(ChannelPurpose::Way);
    EXPECT_FLOAT_EQ(ConvertValue(3.5f, way, cal), 3.5f);
    EXPECT_NEAR(ConvertValue(3.5f, Channel(ChannelPurpose::Slope), cal), 17.455f, 0.001f);
    SensorChannel voltage = Channel(ChannelPurpose::Voltage1);
    voltage.minDistanceVoltageMv = 0;
    EXPECT_FLOAT_EQ(ConvertValue(12.0f, voltage, cal), 12.0f);  // converted like a laser
    SensorChannel unknown;
    unknown.purpose = 9;
    unknown.minDistanceVoltageMv = 1000;
    EXPECT_FLOAT_EQ(ConvertValue(2.0f, unknown, cal), 1.0f);
    cal.calibrationMode = true;
    EXPECT_FLOAT_EQ(ConvertValue(3.5f, Channel(ChannelPurpose::Slope), cal), 3.5f);
    EXPECT_FLOAT_EQ(ConvertValue(2.0f, unknown, cal), 2.0f);
}

class CompensationTest : public ::testing::Test {
protected:
    void SetUp() override {
        roles.slope = 1;
        roles.leftLaser = 2;
        roles.rightLaser = 3;
        cal.laserCompensation = true;
        cal.laserBaseMm = 2000;
        states[1].value = 10.0f;
        states[2].value = 1.0f;
        states[3].value = 1.1f;
    }
    std::array<ChannelState, kInputCount> states{};
    ChannelRoles roles;
    SensorCalibration cal;
};

TEST_F(CompensationTest, SubtractsTheLaserSlopeInPerMille) {
    // (1.1 - 1.0) m over 2 m = 50 per mille.
    EXPECT_NEAR(LaserCompensationTerm(states, roles, cal), 50.0, 1e-4);
    ApplyLaserCompensation(states, roles, cal);
    EXPECT_NEAR(states[1].value, -40.0f, 1e-3f);
}

TEST_F(CompensationTest, RightLaserExcessIsTakenOff) {
    cal.rightLaserExcessMm = 100;
    EXPECT_NEAR(LaserCompensationTerm(states, roles, cal), 0.0, 1e-4);
}

TEST_F(CompensationTest, InDegreesTheTermIsAnAngle) {
    cal.slopeInDegrees = true;
    cal.laserBaseMm = 100;  // 1000 per mille: 45 degrees
    ApplyLaserCompensation(states, roles, cal);
    EXPECT_NEAR(states[1].value, 10.0f - 45.0f, 1e-3f);
}

TEST_F(CompensationTest, NoTermWithoutBothLasersOrABase) {
    cal.laserBaseMm = 0;
    EXPECT_EQ(LaserCompensationTerm(states, roles, cal), 0.0);
    cal.laserBaseMm = 2000;
    roles.rightLaser = -1;
    EXPECT_EQ(LaserCompensationTerm(states, roles, cal), 0.0);
    ApplyLaserCompensation(states, roles, cal);
    EXPECT_FLOAT_EQ(states[1].value, 10.0f);
}

TEST_F(CompensationTest, OffOrWithoutSlopeNothingChanges) {
    cal.laserCompensation = false;
    ApplyLaserCompensation(states, roles, cal);
    EXPECT_FLOAT_EQ(states[1].value, 10.0f);
    cal.laserCompensation = true;
    roles.slope = -1;
    ApplyLaserCompensation(states, roles, cal);
    EXPECT_FLOAT_EQ(states[1].value, 10.0f);
}

}  // namespace
