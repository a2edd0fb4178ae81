// The system clock behind the seam, read under Wine. Nothing here sets it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
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

namespace {

std::string Environment(const char* name) {
    char value[128] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// The Win32 bias (minutes to add to local time to get UTC) of the zones the
// tests run in; none for other names.
std::optional<int32_t> KnownBias(const std::string& zone) {
    if (zone == "UTC" || zone == "Etc/UTC")
        return 0;
    if (zone == "Asia/Kolkata")
        return -330;  // UTC+5:30
    if (zone == "Asia/Kamchatka")
        return -720;  // UTC+12
    // "Etc/GMT+12" is UTC-12: the POSIX sign is the bias's sign.
    const std::string etc = "Etc/GMT";
    if (zone.size() > etc.size() + 1 && zone.compare(0, etc.size(), etc) == 0 &&
        (zone[etc.size()] == '+' || zone[etc.size()] == '-')) {
        const int hours = std::atoi(zone.c_str() + etc.size() + 1);
        return (zone[etc.size()] == '+' ? 60 : -60) * hours;
    }
    return std::nullopt;
}

}  // namespace

TEST(ClockWin, BiasFollowsTheZoneOfTheWineProcess) {
    const std::string zone = Environment("TZ");
    const std::optional<int32_t> bias = KnownBias(zone);
    if (!bias)
        GTEST_SKIP() << "zone " << zone << " has no known bias";
    EXPECT_EQ(CurrentClock().TimeZoneBiasMinutes(), *bias) << zone;
}

// The wrapper runs the tests 12 hours off UTC, on the side where the local
// date is not the UTC date, so that a stamp taken from the wrong clock shows.
TEST(ClockWin, TestsRunWhereTheLocalDateIsNotTheUtcDate) {
    if (Environment("SURVEY_WINE_ZONE_CHOICE") == "forced")
        GTEST_SKIP() << "zone forced by the caller: " << Environment("TZ");
    Clock& clock = CurrentClock();
    const CivilTime utc = clock.UtcNow();
    const CivilTime local = clock.LocalNow();
    const int32_t bias = clock.TimeZoneBiasMinutes();
    ASSERT_EQ(std::abs(bias), 720) << "zone " << Environment("TZ");
    // Chosen when the prefix started; a run that has since passed 12:00 or
    // 00:00 UTC is on the other side now, where both dates agree.
    const bool sideStillHolds = (bias > 0) == (utc.hour < 12);
    if (sideStillHolds) {
        EXPECT_FALSE(local.year == utc.year && local.month == utc.month && local.day == utc.day)
            << "local " << local.day << "." << local.month << ", UTC " << utc.day << "."
            << utc.month;
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
