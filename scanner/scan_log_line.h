// One line of a scanner log ("scanner0.log", "scanner1.log"):
//   "yymmdd hhmmss.mmm " (UTC of the trigger), the point count n, " %d" of
//   each of the 2n values (n distances, then n remission values), then
//   " %.6f %.6f %.6f" (the three values of the log command) when the slot has
//   an inclinometer, else " %.6f" of 1000.0, then " mark" (1: the scan raised
//   the clearance alarm), " t" (reply time, ms) and "\n".
//
// The line is assembled in a fixed buffer (kLogLineBufferSize characters).
// A line that does not fit is handed to the sink in pieces, each piece the
// exact continuation of the one before, so that the line in the file is
// always whole; nothing is ever cut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/clock.h"

namespace scanner {

inline constexpr size_t kLogLineBufferSize = 12000;
// Value written instead of the command's values when there is no inclinometer.
inline constexpr double kNoInclinometerValue = 1000.0;

struct ScanLogEntry {
    platform::CivilTime utc;           // when the scan was triggered
    int32_t count = 0;                 // points n
    const uint32_t* values = nullptr;  // 2n values
    bool inclinometerFitted = true;
    double commandValues[3] = {kNoInclinometerValue, kNoInclinometerValue, kNoInclinometerValue};
    int32_t eventMark = 0;
    int64_t replyTimeMs = 0;
};

// Receives the pieces of a line, in order.
class LogLineSink {
public:
    virtual ~LogLineSink() = default;
    // False stops the line (the file failed); the caller reports it.
    virtual bool Put(const char* text, size_t length) = 0;
};

// Assembles the entry's line in `buffer` (`capacity` characters, at least
// 512) and hands it to `sink` in one piece, or in several when it is longer
// than the buffer. Returns the length of the whole line, or 0 when the sink
// failed or the buffer is too small.
size_t WriteScanLogLine(const ScanLogEntry& entry, char* buffer, size_t capacity,
                        LogLineSink& sink);

}  // namespace scanner
