#include "sensors/daq_acquisition.h"

#include <windows.h>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "sensors/daq_task.h"
#include "sensors/sensor_hub.h"
#include "sensors/sensor_texts.h"

namespace {

// The acquisition the driver's callbacks reach.
std::atomic<DaqAcquisition*> g_active{nullptr};

// Longest wait for a callback still inside the sample path at shutdown, ms.
// A callback never blocks there but on the data block's mutex (5000 ms).
constexpr DWORD kCallbackDrainMs = 6000;

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
    DaqmxLibrary& nidaq = m_library;
    if (!nidaq.Bound())
        return -1;
    g_active.store(this);
    m_accepting.store(true);

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

void DaqAcquisition::Stop() {
    m_accepting.store(false);
    if (daqmx::TaskHandle task = m_task.exchange(nullptr); task != nullptr && m_library.Bound()) {
        m_library.StopTask(task);
        m_library.ClearTask(task);
    }
    m_running.store(false);
    // A callback that got in before the flag went down finishes its scan.
    const ULONGLONG deadline = ::GetTickCount64() + kCallbackDrainMs;
    while (m_inside.load() > 0 && ::GetTickCount64() < deadline)
        ::Sleep(1);
    DaqAcquisition* self = this;
    g_active.compare_exchange_strong(self, nullptr);
}

daqmx::int32 DaqAcquisition::OnSamples(daqmx::TaskHandle task, daqmx::int32, daqmx::uInt32, void*) {
    DaqAcquisition* self = g_active.load();
    return self != nullptr ? self->Samples(task) : 0;
}

daqmx::int32 DaqAcquisition::OnTaskDone(daqmx::TaskHandle task, daqmx::int32, void*) {
    if (DaqAcquisition* self = g_active.load())
        self->TaskDone(task);
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
        m_library.GetExtendedErrorInfo(error, sizeof error);
        error[sizeof error - 1] = '\0';
        owner = m_owner.load();
    }
    // The box waits for the operator outside the sample path, so that a
    // shutdown meanwhile does not wait for it.
    platform::ShowMessage(platform::AnsiToUtf8(error), sensor_text::kReadErrorCaption,
                          platform::MessageIcon::Error, owner);
    return -1;
}

void DaqAcquisition::TaskDone(daqmx::TaskHandle task) {
    InsideGuard inside(m_inside);
    // Only the one who takes the handle clears the task.
    daqmx::TaskHandle expected = task;
    if (m_task.compare_exchange_strong(expected, nullptr)) {
        m_library.ClearTask(task);
        m_running.store(false);
    }
}
