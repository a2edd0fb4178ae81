#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gnss/motion.h"

namespace {

// A state with one fix already taken at (lat, lon) and time t.
GnssState After(double lat, double lon, double t, int32_t ggaCount = 7) {
    GnssState s;
    s.latitude = lat;
    s.longitude = lon;
    s.fixTime = t;
    s.satellites = 8;
    s.ggaCount = ggaCount;
    UpdateMotion(s);
    return s;
}

void Next(GnssState& s, double lat, double lon, double t) {
    s.latitude = lat;
    s.longitude = lon;
    s.fixTime = t;
    s.stepDistance = s.deltaLat = s.deltaLon = s.speed = 0;  // as the GGA parser leaves them
    UpdateMotion(s);
}

}  // namespace

TEST(EllipsoidStep, KnownStepsNorthAndEast) {
    EXPECT_NEAR(EllipsoidStep(37.0, 56.0001, 37.0, 56.0), 11.134, 0.0005);
    EXPECT_NEAR(EllipsoidStep(37.0001, 56.0, 37.0, 56.0), 6.239, 0.0005);
    EXPECT_EQ(EllipsoidStep(37.5, 55.5, 37.5, 55.5), 0.0);
}

TEST(EllipsoidStep, RandomEastwardStepsAreNeverLost) {
    // Along a parallel the step is the prime-vertical radius times the arc.
    constexpr double k = 0.017453292519943295, e2 = 0.006739496742337;
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> lat(-80.0, 80.0), lon(0.2, 179.0), step(1e-7, 1e-3);
    int zero = 0;
    for (int i = 0; i < 20000; ++i) {
        const double phi = lat(rng), lambda = lon(rng), d = step(rng);
        const double got = EllipsoidStep(lambda + d, phi, lambda, phi);
        const double n = 6378137.0 / std::sqrt(1 - e2 * std::sin(phi * k) * std::sin(phi * k));
        const double expected = n * std::cos(phi * k) * d * k;
        if (got == 0.0)
            ++zero;
        ASSERT_TRUE(std::isfinite(got));
        ASSERT_NEAR(got, expected, expected * 1e-6) << phi << " " << lambda << " " << d;
    }
    EXPECT_EQ(zero, 0);
}

TEST(UpdateMotion, FirstFixStartsBothTotals) {
    GnssState s;
    s.tripDistance = 50;
    s.totalDistance = 80;
    s.latitude = 56;
    s.longitude = 37;
    s.fixTime = 100000;
    s.ggaCount = 7;
    EXPECT_EQ(UpdateMotion(s), 0);
    EXPECT_EQ(s.tripDistance, 0);
    EXPECT_EQ(s.totalDistance, 0);
    EXPECT_EQ(s.prevLongitude, 37);
    EXPECT_EQ(s.speed, 0);
    EXPECT_EQ(s.freshFix, 2);
}

TEST(UpdateMotion, StepSpeedAndAcceleration) {
    GnssState s = After(56.0, 37.0, 125959.0);
    Next(s, 56.0001, 37.0, 130000.0);  // over the hour: 1 s
    EXPECT_NEAR(s.stepDistance, 11.134, 0.0005);
    EXPECT_NEAR(s.speed, 11.134, 0.0005);
    EXPECT_NEAR(s.deltaLat, 0.0001, 1e-12);
    EXPECT_EQ(s.deltaLon, 0);
    EXPECT_NEAR(s.acceleration, 11.134, 0.001);
    EXPECT_NEAR(s.tripDistance, 11.134, 0.0005);
    // Standing still 1 s later: no step, and the acceleration is minus the last step.
    Next(s, 56.0001, 37.0, 130001.0);
    EXPECT_EQ(s.stepDistance, 0);
    EXPECT_EQ(s.speed, 0);
    EXPECT_NEAR(s.acceleration, -11.134, 0.001);
}

TEST(UpdateMotion, FractionalAndIrregularEpochs) {
    GnssState s = After(56.0, 37.0, 132823.3);
    Next(s, 56.0001, 37.0, 132826.2);  // 2.9 s
    EXPECT_NEAR(s.speed, 11.134 / 2.9, 1e-3);
}

TEST(UpdateMotion, MidnightGivesNoSpeedButStillAddsThePath) {
    GnssState s = After(56.0, 37.0, 235959.5);
    Next(s, 56.0001, 37.0, 0.5);
    EXPECT_EQ(s.speed, 0);
    EXPECT_EQ(s.acceleration, 0);
    EXPECT_NEAR(s.tripDistance, 11.134, 0.0005);
    EXPECT_NEAR(s.totalDistance, 11.134, 0.0005);
}

TEST(UpdateMotion, EarlyLinesDoNotAddToThePath) {
    GnssState s = After(56.0, 37.0, 100000.0, 3);
    Next(s, 56.0001, 37.0, 100001.0);
    EXPECT_NEAR(s.stepDistance, 11.134, 0.0005);
    EXPECT_EQ(s.tripDistance, 0);
    EXPECT_EQ(s.totalDistance, 0);
}

TEST(UpdateMotion, RepeatedTimeGivesNoSpeed) {
    GnssState s = After(56.0, 37.0, 100000.0);
    Next(s, 56.0001, 37.0, 100000.0);
    EXPECT_EQ(s.speed, 0);
    EXPECT_EQ(s.acceleration, 0);
}

TEST(SplitFixTime, SplitsHoursMinutesSeconds) {
    const FixTimeParts p = SplitFixTime(123519.5);
    EXPECT_EQ(p.hour, 12);
    EXPECT_EQ(p.minute, 35);
    EXPECT_NEAR(p.second, 19.5, 1e-9);
}
