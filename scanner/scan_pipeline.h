// What a data thread does with a scan once it has been polled: the clearance
// check and its alarm, the log line when the recorder asked for one, and the
// hand-over of the complete scan to the display. Everything here works on
// fixed buffers: nothing is allocated per scan.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "scanner/alarm_beeper.h"
#include "scanner/clearance_check.h"
#include "scanner/scan_log_files.h"
#include "scanner/scan_log_line.h"
#include "scanner/sopas_protocol.h"

namespace scanner {

// Requests the user-interface thread makes of one scanner's data thread.
struct ScanRequests {
    // Log the next good scan (a log command, or the alarm while recording).
    std::atomic<bool> m_logNext{false};
    // 1 when the next logged scan carries the clearance alarm.
    std::atomic<int32_t> m_eventMark{0};

    // The log command's three values, set before m_logNext.
    void SetValues(const double (&values)[3]);
    void CopyValues(double (&values)[3]) const;

private:
    mutable std::mutex m_valuesLock;
    double m_values[3] = {kNoInclinometerValue, kNoInclinometerValue, kNoInclinometerValue};
};

struct ScanStepResult {
    bool alarm = false;        // the clearance sector changed suddenly
    bool logged = false;       // a line went into the log
    bool writeFailed = false;  // the log is open but the line could not be written
};

// Steps after a good scan (count > 0) of slot `slot`:
// - unless a logged scan is pending, the clearance check; an alarm sounds
//   the tone and, while recording, asks for this very scan to be logged
//   with the alarm mark;
// - while recording and asked for: the log line (`entry` carries the time,
//   values, count, reply time and the slot's inclinometer flag; its command
//   values and mark are filled here).
ScanStepResult ProcessScan(int slot, ClearanceMonitor& monitor, const ClearanceSettings& clearance,
                           ScanRequests& requests, bool recording, ScanLogEntry& entry,
                           ScanLogFiles& logs, AlarmBeeper* beeper);

// The last complete scan of each slot, for the display: the data thread
// copies a whole scan in under the slot's lock, the display copies it out.
class PublishedScans {
public:
    void Publish(int slot, const uint32_t* values, int32_t count);
    // Copies the slot's last scan into `out` (room for kScanValueCapacity
    // values); returns its point count (0 when none).
    int32_t CopyOut(int slot, uint32_t* out) const;
    void Clear(int slot);

private:
    struct Slot {
        mutable std::mutex lock;
        uint32_t values[sopas::kScanValueCapacity] = {};
        int32_t count = 0;
    };
    Slot m_scanValues[kScannerSlots];
};

// Milliseconds of a performance-counter reading (0 when the frequency is
// not positive), without overflowing for any counter value.
int64_t CounterMilliseconds(int64_t counter, int64_t frequency);

}  // namespace scanner
