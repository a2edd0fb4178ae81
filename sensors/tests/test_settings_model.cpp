// The settings dialog's values, purpose swapping and confirmation.
#include <gtest/gtest.h>

#include "sensors/settings_model.h"

namespace {

SensorConfig Configured() {
    SensorConfig config;
    for (int i = 0; i < kInputCount; ++i) {
        SensorChannel& c = config.setup.channels[static_cast<size_t>(i)];
        c.enabled = i != 2;
        c.sensitivityMv = 10 * (i + 1);
        c.purpose = i;
    }
    config.setup.calibration.laserMinDistanceMm = 150;
    config.setup.calibration.laserMinVoltageMv = 300;
    AssignRoles(config);
    return config;
}

TEST(SettingsModelTest, OpensWithTheInputsAndCalibrationOff) {
    SensorConfig config = Configured();
    config.setup.calibration.calibrationMode = true;
    config.setup.calibration.slopeInDegrees = true;
    const SensSettingsValues v = InitialSettingsValues(config);
    EXPECT_EQ(v.sensitivities, (std::array<int32_t, 4>{10, 20, 30, 40}));
    EXPECT_EQ(v.purposes, (std::array<int32_t, 4>{0, 1, 2, 3}));
    EXPECT_EQ(v.enabled, (std::array<int32_t, 4>{1, 1, 0, 1}));
    EXPECT_EQ(v.calibration, 0);
    EXPECT_EQ(v.slopeInDegrees, 1);
    // Confirming without touching the calibration button switches it off.
    ApplySettings(v, config);
    EXPECT_FALSE(config.setup.calibration.calibrationMode);
    EXPECT_TRUE(config.setup.calibration.slopeInDegrees);
}

TEST(SettingsModelTest, SelectingATakenPurposeSwapsIt) {
    SensSettingsValues v = InitialSettingsValues(Configured());
    // Input 0 takes "уклона" from input 1, which gets input 0's "пути".
    EXPECT_EQ(SelectPurpose(v, 0, 1), 1);
    EXPECT_EQ(v.purposes, (std::array<int32_t, 4>{1, 0, 2, 3}));
    // A purpose nobody has: no swap.
    EXPECT_EQ(SelectPurpose(v, 3, 5), -1);
    EXPECT_EQ(v.purposes, (std::array<int32_t, 4>{1, 0, 2, 5}));
    // Selecting the input's own purpose changes nothing.
    EXPECT_EQ(SelectPurpose(v, 2, 2), -1);
    EXPECT_EQ(v.purposes, (std::array<int32_t, 4>{1, 0, 2, 5}));
    EXPECT_EQ(SelectPurpose(v, 7, 1), -1);
}

TEST(SettingsModelTest, ApplyGivesRolesThresholdsAndLabels) {
    SensorConfig config = Configured();
    SensSettingsValues v = InitialSettingsValues(config);
    SelectPurpose(v, 2, 4);
    SelectPurpose(v, 3, 5);
    v.enabled = {0, 1, 1, 1};
    v.sensitivities[2] = 75;
    v.calibration = 1;
    ApplySettings(v, config);
    const SensorSetup& s = config.setup;
    EXPECT_TRUE(s.calibration.calibrationMode);
    EXPECT_FALSE(s.channels[0].enabled);
    EXPECT_EQ(s.channels[2].sensitivityMv, 75);
    EXPECT_EQ(s.roles.leftLaser, 2);
    EXPECT_EQ(s.roles.rightLaser, 3);
    EXPECT_EQ(s.roles.voltage1, -1);  // no input keeps it
    EXPECT_EQ(s.roles.voltage2, -1);
    EXPECT_EQ(s.channels[2].minDistanceMm, 150);
    EXPECT_EQ(s.channels[3].minDistanceVoltageMv, 300);
    EXPECT_EQ(config.labels[2], "левый лазер");
    EXPECT_EQ(config.labels[3], "правый лазер");
}

TEST(SettingsModelTest, LeadingIntegerOfAnEdit) {
    EXPECT_EQ(LeadingInteger(u"150"), 150);
    EXPECT_EQ(LeadingInteger(u"  12.7 мВ"), 12);
    EXPECT_EQ(LeadingInteger(u"-3"), -3);
    EXPECT_EQ(LeadingInteger(u"abc"), 0);
    EXPECT_EQ(LeadingInteger(u""), 0);
    EXPECT_EQ(LeadingInteger(u"99999999999"), INT32_MAX);
    EXPECT_EQ(LeadingInteger(u"-99999999999"), INT32_MIN);
}

}  // namespace
