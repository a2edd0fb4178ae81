#include "sensors/daq_acquisition.h"

#include <windows.h>

#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "platform/thread_name.h"
#include "sensors/daq_task.h"
#include "sensors/sensor_hub.h"
#include "sensors/sensor_texts.h"

namespace {

// The acquisition the driver's callbacks reach.
std::atomic<DaqAcquisition*> g_active{nullptr};

// Counts a callback inside the sample path for as long as it lives.
class InsideGuard {
public:
    explicit InsideGuard(std::atomic<int>& inside) : m_inside(inside) { ++m_inside; }
    ~InsideGuard() { --m_inside; }
    InsideGuard(const InsideGuard&) = delete;
    InsideGuard& operator=(const InsideGuard&) = delete;

private:
    std::atomic<int>& m_inside;
};

}  // namespace

DaqAcquisition::DaqAcquisition(DaqmxLibrary& library, SensorHub& hub)
    : m_library(library), m_hub(hub) {}

DaqAcquisition::~DaqAcquisition() {
    Stop();
}

int32_t DaqAcquisition::Start() {
    if (!m_library.Bound())
        return -1;
    g_active.store(this);
    m_accepting.store(true);
    return SetUpTask();
}

int32_t DaqAcquisition::SetUpTask() {
    DaqmxLibrary& nidaq = m_library;
    int32_t status = nidaq.ResetDevice(daq_task::kDeviceName);
    if (status != 0)
        return status;
    daqmx::TaskHandle task = nullptr;
    status = nidaq.CreateTask("", &task);
    m_task.store(task);
    if (status != 0)
        return status;
    status = nidaq.CreateAIVoltageChan(task, daq_task::kPhysicalChannels, "", daqmx::Val_Diff,
                                       daq_task::kMinVolts, daq_task::kMaxVolts, daqmx::Val_Volts,
                                       nullptr);
    if (status != 0)
        return status;
    status = nidaq.CfgSampClkTiming(task, "", daq_task::kSamplesPerSecond, daqmx::Val_Rising,
                                    daqmx::Val_ContSamps, daq_task::kBufferSamplesPerChannel);
    if (status != 0)
        return status;
    // Its result is not checked: the done event and the start report a task
    // that cannot run.
    nidaq.RegisterEveryNSamplesEvent(task, daqmx::Val_Acquired_Into_Buffer,
                                     daq_task::kSamplesPerEvent, 0, &DaqAcquisition::OnSamples,
                                     nullptr);
    status = nidaq.RegisterDoneEvent(task, 0, &DaqAcquisition::OnTaskDone, nullptr);
    if (status != 0)
        return status;
    status = nidaq.StartTask(task);
    if (status != 0)
        return status;
    m_running.store(true);
    return 0;
}

namespace {

// DAQmxStopTask and DAQmxClearTask on a thread of their own, so that a
// driver that waits for a callback which never returns cannot hold the
// caller past `deadline` (GetTickCount64). True when both returned in time.
bool StopAndClearBy(const DaqmxLibrary& library, daqmx::TaskHandle task, ULONGLONG deadline) {
    const daqmx::StopTaskFn stop = library.StopTask;
    const daqmx::ClearTaskFn clear = library.ClearTask;
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread([stop, clear, task, done] {
            stop(task);
            clear(task);
            done->store(true);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the calls are made here, unbounded.
        stop(task);
        clear(task);
        return true;
    }
    while (!done->load() && ::GetTickCount64() < deadline)
        ::Sleep(1);
    return done->load();
}

}  // namespace

bool DaqAcquisition::Stop() {
    m_accepting.store(false);
    EndRecoveryThread();
    const ULONGLONG deadline = ::GetTickCount64() + m_drainMs;
    bool stopped = true;
    if (daqmx::TaskHandle task = m_task.exchange(nullptr); task != nullptr && m_library.Bound()) {
        // A driver stops a task only once its callback under way has
        // returned; one that waits for the operator may never return.
        if (m_inErrorBox.load())
            stopped = false;
        else
            stopped = StopAndClearBy(m_library, task, deadline);
    }
    m_running.store(false);
    // A callback that got in before the flag went down finishes its scan.
    while (m_inside.load() > 0 && ::GetTickCount64() < deadline)
        ::Sleep(1);
    if (m_inside.load() > 0 || m_inErrorBox.load())
        stopped = false;
    // Only a stopped acquisition is forgotten: otherwise a late callback
    // must still find this object (and return at once).
    if (stopped) {
        DaqAcquisition* self = this;
        g_active.compare_exchange_strong(self, nullptr);
    }
    return stopped;
}

daqmx::int32 DaqAcquisition::OnSamples(daqmx::TaskHandle task, daqmx::int32, daqmx::uInt32, void*) {
    DaqAcquisition* self = g_active.load();
    return self != nullptr ? self->Samples(task) : 0;
}

daqmx::int32 DaqAcquisition::OnTaskDone(daqmx::TaskHandle task, daqmx::int32 status, void*) {
    if (DaqAcquisition* self = g_active.load())
        self->TaskDone(task, status);
    return 0;
}

daqmx::int32 DaqAcquisition::Samples(daqmx::TaskHandle task) {
    char error[daq_task::kErrorTextSize] = {};
    std::uintptr_t owner = 0;
    {
        InsideGuard inside(m_inside);
        if (!m_accepting.load())
            return 0;
        double raw[kInputCount] = {};
        daqmx::int32 read = 0;
        const daqmx::int32 status =
            m_library.ReadAnalogF64(task, daq_task::kReadSamplesPerChannel, daq_task::kReadTimeoutS,
                                    daqmx::Val_GroupByScanNumber, raw, kInputCount, &read, nullptr);
        if (!daqmx::Failed(status)) {
            if (read > 0)
                m_hub.OnScan(raw, platform::CurrentClock().PreciseFileTime());
            return 0;
        }
        if (m_recover.load() && daq_lost::IsDeviceLost(status)) {
            BeginRecovery(task);
            return -1;
        }
        m_library.GetExtendedErrorInfo(error, sizeof error);
        error[sizeof error - 1] = '\0';
        owner = m_owner.load();
        // Raised before the callback leaves the sample path, so that a
        // shutdown never misses it: the driver cannot stop the task while
        // the box waits for the operator.
        m_inErrorBox.store(true);
    }
    platform::ShowMessage(platform::AnsiToUtf8(error), sensor_text::kReadErrorCaption,
                          platform::MessageIcon::Error, owner);
    m_inErrorBox.store(false);
    return -1;
}

void DaqAcquisition::TaskDone(daqmx::TaskHandle task, daqmx::int32 status) {
    InsideGuard inside(m_inside);
    // The recovery thread stops and clears the task the device took with it.
    if (m_recover.load() && daq_lost::IsDeviceLost(status) && m_task.load() == task) {
        BeginRecovery(task);
        return;
    }
    // Only the one who takes the handle clears the task.
    daqmx::TaskHandle expected = task;
    if (m_task.compare_exchange_strong(expected, nullptr)) {
        m_library.ClearTask(task);
        m_running.store(false);
    }
}

bool daq_lost::IsDeviceLost(daqmx::int32 status) {
    switch (status) {
        case kDeviceRemoved:
        case kDevAbsentOrUnavailable:
        case kDevCannotBeAccessed:
        case kTransferAborted:
        case kDeviceNotPresent:
        case kSamplesNoLongerAvailable:
            return true;
        default:
            return false;
    }
}

void DaqAcquisition::SetRecovery(bool on, std::function<bool()> devicePresent) {
    std::lock_guard<std::mutex> lock(m_recoveryMutex);
    m_recover.store(on);
    if (devicePresent)
        m_devicePresent = std::move(devicePresent);
}

DaqState DaqAcquisition::State() const {
    if (m_lost.load())
        return DaqState::Lost;
    return m_running.load() ? DaqState::Running : DaqState::Idle;
}

void DaqAcquisition::BeginRecovery(daqmx::TaskHandle task) {
    std::lock_guard<std::mutex> lock(m_recoveryMutex);
    // Late callbacks of a task already taken down find another handle (or none).
    if (m_recoveryQuit || !m_accepting.load() || m_recoveryWanted || task != m_task.load())
        return;
    m_lost.store(true);
    m_recoveryWanted = true;
    if (!m_recoveryThread.joinable()) {
        try {
            m_recoveryThread = std::thread([this] { RecoveryMain(); });
        } catch (const std::system_error&) {
            // No thread to spare: the device stays lost, as without recovery.
            return;
        }
    }
    m_recoveryWake.notify_all();
}

bool DaqAcquisition::RecoveryPause(unsigned ms) {
    std::unique_lock<std::mutex> lock(m_recoveryMutex);
    m_recoveryWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_recoveryQuit; });
    return !m_recoveryQuit;
}

void DaqAcquisition::RecoveryMain() {
    platform::NameThisThread(L"daq recovery");
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_recoveryMutex);
            m_recoveryWake.wait(lock, [this] { return m_recoveryWanted || m_recoveryQuit; });
            if (m_recoveryQuit)
                return;
            m_recoveryWanted = false;
        }
        // The task of the lost device goes first; its late callbacks return at
        // once (their reads fail, and the loss is already being handled).
        m_running.store(false);
        if (daqmx::TaskHandle task = m_task.exchange(nullptr))
            StopAndClearBy(m_library, task, ::GetTickCount64() + m_drainMs);
        for (;;) {
            if (!RecoveryPause(kRecoveryLookMs))
                return;
            if (m_devicePresent && !m_devicePresent())
                continue;
            if (SetUpTask() == 0)
                break;
            // Listed but not usable yet: what the failed set-up made goes too.
            m_running.store(false);
            if (daqmx::TaskHandle task = m_task.exchange(nullptr))
                StopAndClearBy(m_library, task, ::GetTickCount64() + m_drainMs);
        }
        std::lock_guard<std::mutex> lock(m_recoveryMutex);
        m_recoveries.fetch_add(1);
        // A loss of the new task before this point is taken up at once.
        if (!m_recoveryWanted)
            m_lost.store(false);
    }
}

void DaqAcquisition::EndRecoveryThread() {
    {
        std::lock_guard<std::mutex> lock(m_recoveryMutex);
        m_recoveryQuit = true;
    }
    m_recoveryWake.notify_all();
    if (m_recoveryThread.joinable() && m_recoveryThread.get_id() != std::this_thread::get_id())
        m_recoveryThread.join();
}
