// The one continuous NI-DAQmx task of the sensor service: its set-up with
// the driver, the every-sample callback on the driver's thread, the done
// callback, and a stop after which no callback runs any more.
#pragma once

#include <atomic>
#include <cstdint>

#include "sensors/daqmx_library.h"

class SensorHub;

class DaqAcquisition {
public:
    // `hub` receives every scan.
    DaqAcquisition(DaqmxLibrary& library, SensorHub& hub);
    ~DaqAcquisition();
    DaqAcquisition(const DaqAcquisition&) = delete;
    DaqAcquisition& operator=(const DaqAcquisition&) = delete;

    // The window (HWND value) that owns the read-error box.
    void SetOwnerWindow(std::uintptr_t owner) { m_owner.store(owner); }

    // Resets "Dev1" and sets the task up: four differential inputs 0..20 V,
    // 1000 samples a second, a callback for every sample, the done callback;
    // then starts it. Returns 0, or the status of the first call that failed
    // (the task, if created, stays for Stop to clear).
    int32_t Start();
    bool Running() const { return m_running.load(); }
    bool HasTask() const { return m_task.load() != nullptr; }

    // Stops and clears the task, then waits until no callback is inside the
    // sample path any more; from then on a late callback returns at once.
    // Everything is bounded by the drain time. True when the acquisition has
    // stopped; false when the driver did not stop in time, a callback is
    // still inside, or the driver thread waits for the operator on a
    // read-error box (the driver would wait for that callback): then the
    // callbacks may still reach this object, the hub, its files and its
    // data block, and all of them must stay alive until the process ends.
    // Safe to call more than once.
    bool Stop();

    // Longest time Stop waits for the driver and for a callback inside, ms.
    // A callback never blocks in the sample path but on the data block's
    // mutex (5000 ms).
    static constexpr unsigned kDefaultDrainMs = 6000;
    void SetDrainTime(unsigned milliseconds) { m_drainMs = milliseconds; }

    // The driver's callbacks (registered without user data: one acquisition
    // per process).
    static daqmx::int32 OnSamples(daqmx::TaskHandle task, daqmx::int32 eventType,
                                  daqmx::uInt32 samples, void* callbackData);
    static daqmx::int32 OnTaskDone(daqmx::TaskHandle task, daqmx::int32 status, void* callbackData);

private:
    daqmx::int32 Samples(daqmx::TaskHandle task);
    void TaskDone(daqmx::TaskHandle task);

    DaqmxLibrary& m_library;
    SensorHub& m_hub;
    std::atomic<daqmx::TaskHandle> m_task{nullptr};
    std::atomic<bool> m_running{false};
    // Callbacks let in until Stop; and how many are inside the sample path.
    std::atomic<bool> m_accepting{false};
    std::atomic<int> m_inside{0};
    // The driver thread shows a read-error box and waits for the operator.
    std::atomic<bool> m_inErrorBox{false};
    unsigned m_drainMs = kDefaultDrainMs;
    std::atomic<std::uintptr_t> m_owner{0};
};
