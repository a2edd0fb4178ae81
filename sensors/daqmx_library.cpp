#include "sensors/daqmx_library.h"

#include "platform/known_library.h"

bool DaqmxLibrary::Load() {
    if (Loaded())
        return true;
    platform::UniqueModule module = platform::LoadKnownLibrary(daqmx::kLibraryName);
    if (!module)
        return false;
    const HMODULE m = module.Get();
    using platform::BindProc;
    const bool bound = BindProc(m, "DAQmxResetDevice", ResetDevice) &&
                       BindProc(m, "DAQmxCreateTask", CreateTask) &&
                       BindProc(m, "DAQmxCreateAIVoltageChan", CreateAIVoltageChan) &&
                       BindProc(m, "DAQmxCfgSampClkTiming", CfgSampClkTiming) &&
                       BindProc(m, "DAQmxRegisterEveryNSamplesEvent", RegisterEveryNSamplesEvent) &&
                       BindProc(m, "DAQmxRegisterDoneEvent", RegisterDoneEvent) &&
                       BindProc(m, "DAQmxStartTask", StartTask) &&
                       BindProc(m, "DAQmxStopTask", StopTask) &&
                       BindProc(m, "DAQmxClearTask", ClearTask) &&
                       BindProc(m, "DAQmxReadAnalogF64", ReadAnalogF64) &&
                       BindProc(m, "DAQmxGetExtendedErrorInfo", GetExtendedErrorInfo);
    if (!bound) {
        Forget();
        return false;
    }
    // Kept for the life of the process (see the header).
    m_module = module.Release();
    return true;
}

bool DaqmxLibrary::Bound() const {
    return ResetDevice && CreateTask && CreateAIVoltageChan && CfgSampClkTiming &&
           RegisterEveryNSamplesEvent && RegisterDoneEvent && StartTask && StopTask && ClearTask &&
           ReadAnalogF64 && GetExtendedErrorInfo;
}

void DaqmxLibrary::Forget() {
    ResetDevice = nullptr;
    CreateTask = nullptr;
    CreateAIVoltageChan = nullptr;
    CfgSampClkTiming = nullptr;
    RegisterEveryNSamplesEvent = nullptr;
    RegisterDoneEvent = nullptr;
    StartTask = nullptr;
    StopTask = nullptr;
    ClearTask = nullptr;
    ReadAnalogF64 = nullptr;
    GetExtendedErrorInfo = nullptr;
}
