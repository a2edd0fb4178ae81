// The system clock behind the seam, read under Wine. Nothing here sets it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/clock.h"

using namespace platform;

TEST(ClockWin, UtcLocalAndBiasAgree) {
    Clock& clock = CurrentClock();
    const CivilTime utc = clock.UtcNow();
    const CivilTime local = clock.LocalNow();
    const int64_t bias = clock.TimeZoneBiasMinutes();
    // local + bias = UTC, within the time the three calls took.
    const int64_t utcMs = static_cast<int64_t>(CivilToFileTime(utc) / 10'000);
    const int64_t localMs = static_cast<int64_t>(CivilToFileTime(local) / 10'000);
    EXPECT_LT(std::llabs(localMs + bias * 60'000 - utcMs), 2'000);
    // The precise time is the same clock at a finer grain.
    const int64_t preciseMs = static_cast<int64_t>(clock.PreciseFileTime() / 10'000);
    EXPECT_LT(std::llabs(preciseMs - utcMs), 2'000);
    EXPECT_GE(utc.year, 2024);
}

TEST(ClockWin, BiasFollowsTheZoneOfTheWineProcess) {
    // The test wrapper runs Wine with TZ=UTC unless a test asks otherwise.
    char tz[64] = {};
    if (GetEnvironmentVariableA("TZ", tz, sizeof tz) && std::string(tz) == "UTC") {
        EXPECT_EQ(CurrentClock().TimeZoneBiasMinutes(), 0);
    }
}

TEST(ClockWin, CountersAreMonotonic) {
    Clock& clock = CurrentClock();
    EXPECT_GT(clock.PerformanceFrequency(), 0);
    const int64_t c0 = clock.PerformanceCounter();
    const uint64_t t0 = clock.TickMs();
    Sleep(30);
    EXPECT_GT(clock.PerformanceCounter(), c0);
    EXPECT_GE(clock.TickMs(), t0);
}

TEST(ClockWin, InstalledFakeClockReplacesTheSystemClock) {
    FakeClock fake;
    Clock* previous = SetClock(&fake);
    EXPECT_TRUE(CurrentClock().SetUtc(CivilTime{2026, 12, 1, 7, 1, 2, 3, 0}));
    EXPECT_EQ(fake.SetRequests().size(), 1u);
    SetClock(previous);
    EXPECT_NE(&CurrentClock(), &fake);
}
