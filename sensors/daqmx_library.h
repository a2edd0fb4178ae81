// NI-DAQmx (nicaiu.dll) bound at run time: the program's folder first, then
// the system folder. Without the library, or without one of its entry
// points, the acquisition device counts as one that cannot be used and the
// service falls back to the serial odometer.
//
// Once loaded, the library stays loaded for the life of the process: the
// driver's own threads may still be running its code after a task has been
// cleared (or while a callback could not be stopped), and freeing it under
// them would return them into unloaded code.
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
    bool Loaded() const { return m_module != nullptr; }
    // Every entry point has a target (after Load, or filled in by a test).
    bool Bound() const;

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

    HMODULE m_module = nullptr;  // never freed
};
