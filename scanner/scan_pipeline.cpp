#include "scanner/scan_pipeline.h"

#include <cstring>

namespace scanner {

void ScanRequests::SetValues(const double (&values)[3]) {
    std::lock_guard<std::mutex> guard(m_valuesLock);
    for (int i = 0; i < 3; ++i)
        m_values[i] = values[i];
}

void ScanRequests::CopyValues(double (&values)[3]) const {
    std::lock_guard<std::mutex> guard(m_valuesLock);
    for (int i = 0; i < 3; ++i)
        values[i] = m_values[i];
}

ScanStepResult ProcessScan(int slot, ClearanceMonitor& monitor, const ClearanceSettings& clearance,
                           ScanRequests& requests, bool recording, ScanLogEntry& entry,
                           ScanLogFiles& logs, AlarmBeeper* beeper) {
    ScanStepResult result;
    if (!requests.m_logNext.load()) {
        result.alarm = monitor.Check(clearance, entry.values, entry.count);
        if (result.alarm) {
            if (beeper != nullptr)
                beeper->Alarm();
            if (recording) {
                requests.m_eventMark.store(1);
                requests.m_logNext.store(true);
            }
        }
    }
    if (recording && requests.m_logNext.exchange(false)) {
        requests.CopyValues(entry.commandValues);
        entry.eventMark = requests.m_eventMark.exchange(0);
        const ScanLogFiles::WriteResult written = logs.WriteLine(slot, entry);
        result.logged = written == ScanLogFiles::WriteResult::Written;
        result.writeFailed = written == ScanLogFiles::WriteResult::Failed;
    }
    return result;
}

void PublishedScans::Publish(int slot, const uint32_t* values, int32_t count) {
    if (slot < 0 || slot >= kScannerSlots || values == nullptr || count < 0 ||
        count > sopas::kMaxScanPoints)
        return;
    Slot& s = m_scanValues[slot];
    std::lock_guard<std::mutex> guard(s.lock);
    std::memcpy(s.values, values, sizeof(uint32_t) * 2 * static_cast<size_t>(count));
    s.count = count;
}

int32_t PublishedScans::CopyOut(int slot, uint32_t* out) const {
    if (slot < 0 || slot >= kScannerSlots || out == nullptr)
        return 0;
    const Slot& s = m_scanValues[slot];
    std::lock_guard<std::mutex> guard(s.lock);
    std::memcpy(out, s.values, sizeof(uint32_t) * 2 * static_cast<size_t>(s.count));
    return s.count;
}

void PublishedScans::Clear(int slot) {
    if (slot < 0 || slot >= kScannerSlots)
        return;
    std::lock_guard<std::mutex> guard(m_scanValues[slot].lock);
    m_scanValues[slot].count = 0;
}

int64_t CounterMilliseconds(int64_t counter, int64_t frequency) {
    if (frequency <= 0)
        return 0;
    // counter * 1000 / frequency, split so that the product cannot overflow.
    return counter / frequency * 1000 + counter % frequency * 1000 / frequency;
}

}  // namespace scanner
