// The display tick: row texts, indicator colours, distance and speed.
#include <gtest/gtest.h>

#include "sensors/display_model.h"

namespace {

class DisplayModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SensorSetup& s = settings.setup;
        for (int i = 0; i < kInputCount; ++i) {
            s.channels[static_cast<size_t>(i)].enabled = true;
            s.channels[static_cast<size_t>(i)].purpose = i;
        }
        s.roles = ChannelRoles{0, 1, 2, 3, -1, -1};
        settings.pathPerPulse = 0.5f;
        settings.supplyMinV = 10.0f;
        settings.supplyMaxV = 15.0f;
        readings.counts = {100, 5, 5, 5};
        readings.voltages = {1.0f, 2.5f, 12.0f, 12.0f};
        readings.values = {1.0f, 17.4553f, 0, 0};
        model.TakeSnapshot(readings.counts, 0);
    }
    DisplayTick Tick() { return model.Tick(readings, settings); }

    SensorDisplayModel model;
    DisplaySettings settings;
    DisplayReadings readings;
};

TEST_F(DisplayModelTest, IdleInputTurnsYellowAfterFiveTicksAndGreenOnChange) {
    EXPECT_EQ(model.IdleLimit(), 5);
    for (int tick = 1; tick <= 5; ++tick)
        EXPECT_FALSE(Tick().rows[1].colour.has_value()) << tick;
    EXPECT_EQ(Tick().rows[1].colour, kYellow);  // 6 ticks without a change
    readings.counts[1] = 6;
    EXPECT_EQ(Tick().rows[1].colour, kGreen);
    EXPECT_FALSE(Tick().rows[1].colour.has_value());
}

TEST_F(DisplayModelTest, ALostDeviceTurnsEveryRowOrangeUntilItIsBack) {
    settings.deviceLost = true;
    DisplayTick tick = Tick();
    for (int i = 0; i < kInputCount; ++i)
        EXPECT_EQ(tick.rows[static_cast<size_t>(i)].colour, kOrange) << i;
    settings.deviceLost = false;
    readings.counts[0] = 101;
    tick = Tick();
    EXPECT_EQ(tick.rows[0].colour, kGreen);
    EXPECT_EQ(tick.rows[1].colour, kGreen);  // back to its state: not idle long enough
    EXPECT_FALSE(Tick().rows[1].colour.has_value());
}

TEST_F(DisplayModelTest, SupplyVoltageColours) {
    for (float v : {6.0f, 25.0f, 5.9f, 30.0f}) {
        readings.voltages[2] = v;
        EXPECT_EQ(Tick().rows[2].colour, kRed) << v;
    }
    readings.voltages[2] = 6.01f;
    EXPECT_EQ(Tick().rows[2].colour, kGreen);
    readings.voltages[2] = 24.99f;
    EXPECT_EQ(Tick().rows[2].colour, kGreen);
    // The second supply follows the configured range.
    readings.voltages[3] = 15.0f;
    EXPECT_EQ(Tick().rows[3].colour, kRed);
    readings.voltages[3] = 14.9f;
    EXPECT_EQ(Tick().rows[3].colour, kGreen);
}

TEST_F(DisplayModelTest, RowTexts) {
    readings.counts[0] = 123456789;
    model.TakeSnapshot(readings.counts, 0);
    const DisplayTick t = Tick();
    EXPECT_EQ(t.rows[0].counter, "23456789");  // modulo 100000000
    EXPECT_EQ(t.rows[0].value, "23456789");    // the Way input shows its counter
    EXPECT_EQ(t.rows[0].voltage, " 1.000 B");
    EXPECT_EQ(t.rows[1].value, "17 ‰");
    EXPECT_FALSE(t.rows[2].value.has_value());  // supply inputs keep their value text
    settings.setup.calibration.slopeInDegrees = true;
    readings.values[1] = -1.24f;
    EXPECT_EQ(Tick().rows[1].value, "-1.2 °");
    settings.setup.roles.leftLaser = 3;
    settings.setup.roles.voltage2 = -1;
    readings.values[3] = 2.3456f;
    EXPECT_EQ(Tick().rows[3].value, "2.346 м");
}

TEST_F(DisplayModelTest, DistanceAndSpeedOfTheWayInput) {
    DisplayTick t = Tick();
    EXPECT_EQ(t.distance, "50.0 м");
    EXPECT_EQ(t.speed, "0.0 м/c");  // stopped: 0.0 after one tick
    readings.counts[0] = 130;
    t = Tick();
    EXPECT_EQ(t.distance, "65.0 м");
    EXPECT_EQ(t.speed, "15.0 м/c");
    t = Tick();
    EXPECT_EQ(t.speed, "0.0 м/c");
    SensorDisplayModel fast(500);
    fast.TakeSnapshot({10, 0, 0, 0}, 0);
    readings.counts[0] = 12;
    EXPECT_EQ(fast.Tick(readings, settings).speed, "2.0 м/c");
    EXPECT_EQ(fast.IdleLimit(), 10);
}

TEST_F(DisplayModelTest, DisabledInputsAreSkipped) {
    for (SensorChannel& c : settings.setup.channels)
        c.enabled = false;
    const DisplayTick t = Tick();
    for (const RowUpdate& row : t.rows)
        EXPECT_FALSE(row.refreshed);
    EXPECT_FALSE(t.distance.has_value());
    EXPECT_FALSE(t.speed.has_value());
}

TEST_F(DisplayModelTest, ANewWayInputStartsItsSpeedFromItsOwnCounter) {
    Tick();
    settings.setup.roles.way = 3;
    readings.counts[3] = 900;
    EXPECT_EQ(Tick().speed, "0.0 м/c");
    readings.counts[3] = 902;
    EXPECT_EQ(Tick().speed, "1.0 м/c");
}

TEST(DisplayTextTest, Formats) {
    EXPECT_EQ(VoltageText(12.3456f), "12.346 B");
    EXPECT_EQ(VoltageText(-0.5f), "-0.500 B");
    EXPECT_EQ(SlopeText(-0.4f, false), "-0 ‰");
    EXPECT_EQ(DistanceText(0.0f), "0.0 м");
    EXPECT_EQ(SpeedText(1.24f), "1.2 м/c");
    EXPECT_EQ(CounterText(1), "1");
}

}  // namespace
