// NI-DAQmx (nicaiu.dll) bound at run time: the program's folder first, then
// the system folder. Without the library, or without one of its entry
// points, the acquisition device counts as one that cannot be used and the
// service falls back to the serial odometer.
#pragma once

#include "platform/handles.h"
#include "sensors/daqmx_api.h"

class DaqmxLibrary {
public:
    DaqmxLibrary() = default;
    DaqmxLibrary(const DaqmxLibrary&) = delete;
    DaqmxLibrary& operator=(const DaqmxLibrary&) = delete;

    // Loads the library and binds every entry point the service calls.
    bool Load();
    bool Loaded() const { return m_module.Valid(); }
    // Every entry point has a target (after Load, or filled in by a test).
    bool Bound() const;
    // Forgets the entry points and frees the library; no task may still run.
    void Unload();

    daqmx::ResetDeviceFn ResetDevice = nullptr;
    daqmx::CreateTaskFn CreateTask = nullptr;
    daqmx::CreateAIVoltageChanFn CreateAIVoltageChan = nullptr;
    daqmx::CfgSampClkTimingFn CfgSampClkTiming = nullptr;
    daqmx::RegisterEveryNSamplesEventFn RegisterEveryNSamplesEvent = nullptr;
    daqmx::RegisterDoneEventFn RegisterDoneEvent = nullptr;
    daqmx::StartTaskFn StartTask = nullptr;
    daqmx::StopTaskFn StopTask = nullptr;
    daqmx::ClearTaskFn ClearTask = nullptr;
    daqmx::ReadAnalogF64Fn ReadAnalogF64 = nullptr;
    daqmx::GetExtendedErrorInfoFn GetExtendedErrorInfo = nullptr;

private:
    void Forget();

    platform::UniqueModule m_module;
};
