// Names and line formats of the service's three text logs: the day log of
// accepted fixes, the event log (clock changes, confirmations, data gaps) and
// a client's run log. Lines are Windows-1251 bytes, each ending in '\n'.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

constexpr std::string_view kEventLogFileName = "gnssLog.log";
// Longest path the service stores for a run log (a Windows MAX_PATH text).
constexpr size_t kMaxRunLogPath = 259;
// A fix line with its step, stamp and XOR fits this buffer.
constexpr size_t kFixLineBuffer = 700;

// "gps" + yymmdd + ".log" of the local date at program start.
std::string DayLogFileName(const platform::CivilTime& localDate);
// yymmddhhmmss + "gps.log" of the UTC time of the latest one-second tick.
std::string RunLogFileName(const platform::CivilTime& utc);
// folder + '\' + RunLogFileName (no second separator when the folder already
// ends in one). Nothing when the result would exceed kMaxRunLogPath.
std::optional<std::string> RunLogPath(std::string_view folder, const platform::CivilTime& utc);

// The fix line: the checked sentence (from '$' to its two checksum digits),
// ",%.2f" of the step in metres, "," and the date stamp, then ",%u\n" with
// the XOR of every byte before that last comma. Writes into `out` (at most
// size-1 characters and a NUL) and returns the length; 0 when it does not fit.
size_t FormatFixLogLine(std::string_view sentence, double stepDistance, std::string_view dateStamp,
                        char* out, size_t size);
std::string FormatFixLogLine(std::string_view sentence, double stepDistance,
                             std::string_view dateStamp);

// "yy-mm-dd hh:mm:ss UTC Нет данных > 30c, путь обнулен\n".
std::string FormatDataGapLine(const platform::CivilTime& utc);
// "yy-mm-dd hh:mm:ss UTC " + message + "\n" (receiver lost or back; message UTF-8 in).
std::string FormatReceiverEventLine(const platform::CivilTime& utc, std::string_view message);
// "yy-mm-dd hh:mm:ss " + " " + message + "\n" (clock changed; message UTF-8 in).
std::string FormatClockChangedLine(const platform::CivilTime& utcBefore, std::string_view message);
// "yymmdd " + message + "\n" (clock agrees; message UTF-8 in).
std::string FormatClockAgreedLine(const platform::CivilTime& utc, std::string_view message);
