#include "gnss/clock_check.h"

#include <cmath>
#include <cstdlib>

#include "gnss/gnss_logs_format.h"
#include "gnss/motion.h"
#include "gnss/text_format.h"

using gnss_format::Hms;
using gnss_format::Two;
using platform::CivilTime;

namespace {

bool SameDate(const GnssState& s, const CivilTime& utc) {
    return s.rmcYear == utc.year && s.rmcMonth == utc.month && s.rmcDay == utc.day;
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// A calendar date the system clock can be set to.
bool PlausibleDate(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 2000 || month < 1 || month > 12 || day < 1)
        return false;
    const int days = kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
    return day <= days;
}

}  // namespace

void UpdateClockOffset(GnssState& s, const CivilTime& utc) {
    const FixTimeParts parts = SplitFixTime(s.fixTime);
    s.gnssHour = static_cast<uint16_t>(parts.hour);
    if (SameDate(s, utc)) {
        s.gnssMinute = static_cast<uint16_t>(parts.minute);
        s.gnssSecond = static_cast<float>(parts.second);
        s.clockOffset = ((parts.hour - utc.hour) * 60 + parts.minute - utc.minute) * 60 +
                        static_cast<int32_t>(std::trunc(s.gnssSecond)) - utc.second;
    } else {
        s.clockOffset = kDateMismatchOffset;
    }
}

void FormatDateStamp(char (&out)[7], const CivilTime& date) {
    const std::string text = Two(date.year % 100) + Two(date.month) + Two(date.day);
    for (size_t i = 0; i < 6; ++i)
        out[i] = text[i];
    out[6] = '\0';
}

std::string FormatDateField(const CivilTime& date) {
    std::string year = std::to_string(date.year);
    while (year.size() < 4)
        year.insert(year.begin(), '0');
    return Two(date.day) + "-" + Two(date.month) + "-" + year;
}

ClockCheckResult RunClockCheck(GnssState& s, platform::Clock& clock, const CivilTime& utcNow) {
    ClockCheckResult result;
    if (!(s.SyncState < kSyncIdle && s.satellites > 3))
        return result;
    if (++s.checkCounter < kCheckSeconds)
        return result;

    if (std::abs(s.clockOffset) > kClockToleranceS) {
        // The time of day comes from the fix itself: the minute and second
        // kept for the display are stale while the dates differ.
        const FixTimeParts parts = SplitFixTime(s.fixTime);
        if (parts.hour > 23 || parts.minute > 59 || parts.second >= 60.0) {
            // Not a time of day: leave the clock alone and check again later.
            s.checkCounter = 1;
            return result;
        }
        CivilTime target = utcNow;
        if (s.rmcDay != 0 && PlausibleDate(s.rmcYear, s.rmcMonth, s.rmcDay)) {
            target.year = s.rmcYear;
            target.month = s.rmcMonth;
            target.day = s.rmcDay;
        }
        target.hour = static_cast<uint16_t>(parts.hour);
        target.minute = static_cast<uint16_t>(parts.minute);
        target.second = static_cast<uint16_t>(std::trunc(parts.second));
        target.milliseconds = 0;
        // Day of week as the system computes it from the date.
        target = platform::FileTimeToCivil(platform::CivilToFileTime(target));

        result.action = ClockCheckAction::ClockSet;
        result.newUtc = target;
        result.setAccepted = clock.SetUtc(target);
        result.message = "Время изменено на " + std::to_string(s.clockOffset) + "с. Новое " +
                         Hms(target.hour, target.minute, target.second) + " UTC";
        result.eventLogLine = FormatClockChangedLine(utcNow, result.message);
        result.startShiftS = s.clockOffset;
        result.dateText = FormatDateField(target);
        FormatDateStamp(s.dateStamp, target);
        s.SyncState = kSyncChanged;
        s.checkCounter = 1;
    } else {
        result.action = ClockCheckAction::Agreed;
        result.message =
            "Синхронность проверена " + Hms(utcNow.hour, utcNow.minute, utcNow.second) + " UTC";
        result.eventLogLine = FormatClockAgreedLine(utcNow, result.message);
        s.SyncState = kSyncIdle;
        s.checkCounter = 0;
    }
    return result;
}
