// Comparison of GNSS time with the computer clock and, on a client's
// request, setting the clock to GNSS time (through platform::Clock, so tests
// only see what would have been set).
#pragma once

#include <cstdint>
#include <string>

#include "gnss/gnss_state.h"
#include "platform/clock.h"

// Offsets larger than this many seconds are shown as lost synchronisation.
constexpr int32_t kDisplayedOffsetLimitS = 5;
// Offsets larger than this many seconds make a check set the clock.
constexpr int32_t kClockToleranceS = 1;
// Offset reported while the RMC date differs from the system date.
constexpr int32_t kDateMismatchOffset = 1000;
// Qualifying seconds between a request and a check.
constexpr int32_t kCheckSeconds = 5;

// Splits fixTime into gnssHour/gnssMinute/gnssSecond and computes
// clockOffset against the system UTC time. Minute and second are refreshed
// only while the RMC date equals the system date.
void UpdateClockOffset(GnssState& state, const platform::CivilTime& utcNow);

enum class ClockCheckAction { None, ClockSet, Agreed };

struct ClockCheckResult {
    ClockCheckAction action = ClockCheckAction::None;
    std::string message;         // UTF-8, for the window's information field
    std::string eventLogLine;    // Windows-1251 bytes, one complete line with '\n'
    platform::CivilTime newUtc;  // ClockSet: the time handed to Clock::SetUtc
    bool setAccepted = false;    // ClockSet: what Clock::SetUtc answered
    int32_t startShiftS = 0;     // ClockSet: seconds to add to the shown start time
    std::string dateText;        // ClockSet: date field text "dd-mm-yyyy"
};

// The one-second clock check (after UpdateClockOffset). Acts only while
// SyncState < 1 and more than 3 satellites are seen; every fifth qualifying
// second it either sets the clock (|offset| > 1) or confirms agreement.
// `utcNow` is the system time read by the same tick.
ClockCheckResult RunClockCheck(GnssState& state, platform::Clock& clock,
                               const platform::CivilTime& utcNow);

// "%02d%02d%02d" of year mod 100, month and day.
void FormatDateStamp(char (&out)[7], const platform::CivilTime& date);
// "%02d-%02d-%04d": day, month, four-digit year (the window's date field).
std::string FormatDateField(const platform::CivilTime& date);
