// The scan trigger: a thread of its own that sets the trigger event of each
// running scanner every 1000 / trigger-rate ms, at fixed deadlines. A window
// timer would be held up by the window's own work (drawing, saving the
// configuration, the settings dialog) and by the timer granularity of the
// system (a 40 ms window timer fires every 46.8 ms on a default Windows
// tick), and the scanners would not reach the trigger rate.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/handles.h"
#include "scanner/slot_config.h"

class ScanTrigger {
public:
    ScanTrigger() = default;
    ~ScanTrigger() { Stop(); }
    ScanTrigger(const ScanTrigger&) = delete;
    ScanTrigger& operator=(const ScanTrigger&) = delete;

    bool Start(UINT periodMs);
    // Ends the thread; no trigger is set after it returns.
    void Stop();
    bool Running() const { return m_thread.Valid(); }

    // The event to set for a slot; null: the slot is not triggered.
    void SetTarget(int slot, HANDLE triggerEvent);

    uint64_t Ticks() const { return m_ticks.load(); }

private:
    static unsigned __stdcall Run(void* self);
    void Loop();
    void Fire();

    std::mutex m_lock;
    HANDLE m_targets[scanner::kScannerSlots] = {};
    platform::UniqueHandle m_stop;
    platform::UniqueHandle m_thread;
    UINT m_periodMs = 40;
    bool m_finePeriod = false;  // the system timer period was shortened for us
    std::atomic<uint64_t> m_ticks{0};
};
