// The supply voltage check and the odometer threshold estimate, on values
// fed by the test instead of the live acquisition.
#include <gtest/gtest.h>

#include <vector>

#include "sensors/startup_checks.h"

namespace {

struct Feed {
    std::vector<float> values;
    size_t next = 0;
    int paused = 0;
    LiveValue Value() {
        return [this] { return values[std::min(next++, values.size() - 1)]; };
    }
    Pause Wait() {
        return [this](int ms) { paused += ms; };
    }
};

TEST(SupplyCheckTest, StopsAtTheFirstVoltageInRange) {
    Feed f{{0.0f, 6.0f, 12.0f, 0.0f}};
    EXPECT_TRUE(CheckSupplyVoltage(f.Value(), f.Wait()));
    EXPECT_EQ(f.next, 3u);
    EXPECT_EQ(f.paused, 300);
}

TEST(SupplyCheckTest, GivesUpAfterTwentyLooks) {
    Feed f{{25.0f}};
    EXPECT_FALSE(CheckSupplyVoltage(f.Value(), f.Wait()));
    EXPECT_EQ(f.next, 20u);
    EXPECT_EQ(f.paused, 2000);
}

TEST(WayThresholdEstimateTest, EightyPercentOfTheSwing) {
    Feed f;
    for (int i = 0; i < 100; ++i)
        f.values.push_back(i % 2 ? 4.5f : 0.5f);
    EXPECT_EQ(EstimateWayThreshold(f.Value(), f.Wait()), 3200);
    EXPECT_EQ(f.next, 100u);
    EXPECT_EQ(f.paused, 10000);
}

TEST(WayThresholdEstimateTest, AFlatSignalGivesOneMillivolt) {
    Feed f{{2.0f}};
    EXPECT_EQ(EstimateWayThreshold(f.Value(), f.Wait()), 1);
}

}  // namespace
