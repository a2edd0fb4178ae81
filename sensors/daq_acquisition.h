// The one continuous NI-DAQmx task of the sensor service: its set-up with
// the driver, the every-sample callback on the driver's thread, the done
// callback, and a stop after which no callback runs any more.
#pragma once

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "sensors/daqmx_library.h"

class SensorHub;

// Statuses of NI-DAQmx that mean the device went away or was reset under a
// running task. With recovery on, the task is set up again once the device
// is back instead of the read-error box.
namespace daq_lost {
inline constexpr daqmx::int32 kDeviceRemoved = -200045;             // device removed
inline constexpr daqmx::int32 kDevAbsentOrUnavailable = -200324;    // absent or unavailable
inline constexpr daqmx::int32 kDevCannotBeAccessed = -201003;       // no longer present, lost power
inline constexpr daqmx::int32 kTransferAborted = -50405;            // USB transfer ended by the bus
inline constexpr daqmx::int32 kDeviceNotPresent = -88705;           // not present or not active
inline constexpr daqmx::int32 kSamplesNoLongerAvailable = -200279;  // the buffer overflowed
bool IsDeviceLost(daqmx::int32 status);
}  // namespace daq_lost

// What the acquisition is doing, for the window's indicators.
enum class DaqState {
    Idle,     // no task (not started, stopped, or ended by the driver)
    Running,  // the task acquires
    Lost,     // the device went away: waiting for it to be listed again
};

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

    // Recovery (off by default): a read error or a done event whose status
    // means the device was lost (daq_lost) stops and clears the task, waits
    // on a thread of its own until `devicePresent` (SetupAPI) lists the
    // device again, then sets the task up afresh as Start does, without a
    // message box. Nothing is published or written meanwhile.
    void SetRecovery(bool on, std::function<bool()> devicePresent = {});
    DaqState State() const;
    // Completed recoveries.
    unsigned Recoveries() const { return m_recoveries.load(); }
    // Between two looks for the device, ms.
    static constexpr unsigned kRecoveryLookMs = 250;

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
    void TaskDone(daqmx::TaskHandle task, daqmx::int32 status);
    // The set-up calls in their order; the task handle goes to m_task.
    int32_t SetUpTask();
    // The device of `task`, the current task, is gone: the recovery thread
    // takes over (once per loss).
    void BeginRecovery(daqmx::TaskHandle task);
    void RecoveryMain();
    // Waits up to `ms` or until the recovery thread must end; false then.
    bool RecoveryPause(unsigned ms);
    void EndRecoveryThread();

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

    std::atomic<bool> m_recover{false};
    std::function<bool()> m_devicePresent;
    std::atomic<bool> m_lost{false};
    std::atomic<unsigned> m_recoveries{0};
    std::mutex m_recoveryMutex;  // the flags below and the thread's wake-up
    std::condition_variable m_recoveryWake;
    bool m_recoveryWanted = false;
    bool m_recoveryQuit = false;
    std::thread m_recoveryThread;
};
