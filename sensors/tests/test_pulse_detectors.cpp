// Pulse counting of both source modes and the change counters.
#include <gtest/gtest.h>

#include <cmath>

#include "sensors/pulse_detectors.h"

namespace {

ChannelState Input(float threshold) {
    ChannelState s;
    s.threshold = threshold;
    return s;
}

// Feeds a voltage sequence to the sample path's Way detector.
uint32_t CountWay(ChannelState& s, const std::vector<float>& voltages) {
    for (float v : voltages) {
        s.voltage = v;
        s.value = v;
        DetectWayPulse(s);
    }
    return s.count;
}

TEST(DaqWayDetectorTest, FirstSampleOnlyClearsRising) {
    ChannelState s = Input(0.5f);
    s.rising = true;
    const uint32_t before = s.count;
    s.voltage = s.value = 0.2f;
    const float d = DetectWayPulse(s);
    EXPECT_FLOAT_EQ(d, 0.2f - kRestartReference);
    EXPECT_EQ(s.count, before);
    EXPECT_FALSE(s.rising);
    EXPECT_FLOAT_EQ(s.reference, 0.2f);
}

TEST(DaqWayDetectorTest, SquareWaveAboveThresholdCountsOncePerPeriod) {
    ChannelState s = Input(1.0f);
    std::vector<float> wave;
    for (int period = 0; period < 25; ++period) {
        for (int k = 0; k < 4; ++k)
            wave.push_back(0.1f);
        for (int k = 0; k < 4; ++k)
            wave.push_back(4.9f);
    }
    EXPECT_EQ(CountWay(s, wave), 1u + 25u);
}

TEST(DaqWayDetectorTest, OscillationBelowThresholdNeverCounts) {
    ChannelState s = Input(1.0f);
    std::vector<float> wave;
    for (int k = 0; k < 200; ++k)
        wave.push_back(2.0f + 0.45f * std::sin(k * 0.3f));
    EXPECT_EQ(CountWay(s, wave), 1u);
}

TEST(DaqWayDetectorTest, SlowRampCountsOnceWhenItRisesPastThresholdAboveTheTrough) {
    // Falling to a trough, then a slow rise in small steps: the reference
    // stays at the trough until the rise exceeds the threshold.
    ChannelState s = Input(1.0f);
    std::vector<float> ramp = {3.0f, 2.0f, 1.0f, 0.5f};
    for (int k = 1; k <= 16; ++k)
        ramp.push_back(0.5f + 0.125f * k);  // up to 2.5 V
    EXPECT_EQ(CountWay(s, ramp), 2u);
    EXPECT_TRUE(s.rising);
    // While rising the reference follows the peak.
    EXPECT_FLOAT_EQ(s.reference, 2.5f);
}

TEST(ChangeDetectorTest, FirstSampleCountsAndLaterSmallChangesDoNot) {
    ChannelState s = Input(0.01f);
    s.voltage = 2.0f;
    s.value = 7.0f;
    EXPECT_FLOAT_EQ(DetectChange(s), 2.0f - kRestartReference);
    EXPECT_EQ(s.count, 2u);
    EXPECT_FLOAT_EQ(s.lastValue, 7.0f);
    s.voltage = 2.005f;
    s.value = 8.0f;
    EXPECT_NEAR(DetectChange(s), 0.005f, 1e-6f);
    EXPECT_EQ(s.count, 2u);
    EXPECT_FLOAT_EQ(s.lastValue, 7.0f);
    // The reference follows every voltage, so a drift in small steps never counts.
    for (int k = 0; k < 100; ++k) {
        s.voltage += 0.005f;
        DetectChange(s);
    }
    EXPECT_EQ(s.count, 2u);
    s.voltage += 0.02f;
    DetectChange(s);
    EXPECT_EQ(s.count, 3u);
}

TEST(SerialDetectorTest, UpwardStepAfterDownwardStepCounts) {
    ChannelState s = Input(1.0f);
    DetectSerialPulse(s, 1.0f);  // below the start value: only clears rising
    EXPECT_EQ(s.count, 1u);
    EXPECT_FALSE(s.rising);
    EXPECT_FLOAT_EQ(s.voltage, 1.0f);
    EXPECT_FLOAT_EQ(s.value, 1.0f);
    DetectSerialPulse(s, 4.0f);
    EXPECT_EQ(s.count, 2u);
    EXPECT_TRUE(s.rising);
    DetectSerialPulse(s, 4.5f);  // small step: nothing
    DetectSerialPulse(s, 8.0f);  // large step while rising: accepted, no count
    EXPECT_EQ(s.count, 2u);
    EXPECT_FLOAT_EQ(s.lastValue, 8.0f);
    DetectSerialPulse(s, 1.0f);
    EXPECT_FALSE(s.rising);
    DetectSerialPulse(s, 4.0f);
    EXPECT_EQ(s.count, 3u);
}

TEST(SerialDetectorTest, SlowDriftAddsUpToACountedStep) {
    // Small steps never move the reference, so their sum counts once it
    // exceeds the threshold.
    ChannelState s = Input(1.0f);
    DetectSerialPulse(s, 0.0f);
    ASSERT_FALSE(s.rising);
    for (int k = 1; k <= 8; ++k)
        DetectSerialPulse(s, 0.125f * k);
    EXPECT_EQ(s.count, 1u);  // exactly 1.0 V above: not more than the threshold
    EXPECT_FLOAT_EQ(s.lastValue, 0.0f);
    DetectSerialPulse(s, 1.125f);
    EXPECT_EQ(s.count, 2u);
    EXPECT_FLOAT_EQ(s.lastValue, 1.125f);
}

}  // namespace
