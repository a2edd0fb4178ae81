// The part of NI-DAQmx's C interface (nicaiu.dll) that the sensor service
// uses, written from NI's published function reference. The program never
// links against the library: it loads it at run time and binds these names
// (sensors/daqmx_library.h), so it also runs on a PC without NI's driver.
//
// The stand-in driver of the tests includes this header too, so that the
// service and the stand-in agree on every name, signature and constant:
// each entry point below is declared once, and the function-pointer types
// the service binds are taken from these declarations.
//
// On x64 there is one calling convention; NI's CVICALLBACK and the
// library's own functions are plain C calls.
#pragma once

#include <cstdint>

namespace daqmx {

using int32 = std::int32_t;
using uInt32 = std::uint32_t;
using uInt64 = std::uint64_t;
using float64 = double;
using bool32 = std::uint32_t;
using TaskHandle = void*;

// Every-N-samples event handler: (task, event type, samples, callback data).
using EveryNSamplesEventCallbackPtr = int32 (*)(TaskHandle taskHandle, int32 everyNsamplesEventType,
                                                uInt32 nSamples, void* callbackData);
// Done event handler: (task, status the task ended with, callback data).
using DoneEventCallbackPtr = int32 (*)(TaskHandle taskHandle, int32 status, void* callbackData);

// Constants of NI's header (NIDAQmx.h) that the service passes.
inline constexpr int32 Val_Diff = 10106;              // differential terminal configuration
inline constexpr int32 Val_Volts = 10348;             // units: volts
inline constexpr int32 Val_Rising = 10280;            // sample clock active edge
inline constexpr int32 Val_ContSamps = 10123;         // continuous samples
inline constexpr bool32 Val_GroupByScanNumber = 1;    // interleaved fill mode
inline constexpr int32 Val_Acquired_Into_Buffer = 1;  // every-N-samples event type

// A status below zero is an error, above zero a warning, zero success.
inline constexpr bool Failed(int32 status) {
    return status < 0;
}

// The library's file name.
inline constexpr const wchar_t* kLibraryName = L"nicaiu.dll";

}  // namespace daqmx

extern "C" {
daqmx::int32 DAQmxResetDevice(const char deviceName[]);
daqmx::int32 DAQmxCreateTask(const char taskName[], daqmx::TaskHandle* taskHandle);
daqmx::int32 DAQmxCreateAIVoltageChan(daqmx::TaskHandle taskHandle, const char physicalChannel[],
                                      const char nameToAssignToChannel[],
                                      daqmx::int32 terminalConfig, daqmx::float64 minVal,
                                      daqmx::float64 maxVal, daqmx::int32 units,
                                      const char customScaleName[]);
daqmx::int32 DAQmxCfgSampClkTiming(daqmx::TaskHandle taskHandle, const char source[],
                                   daqmx::float64 rate, daqmx::int32 activeEdge,
                                   daqmx::int32 sampleMode, daqmx::uInt64 sampsPerChan);
daqmx::int32 DAQmxRegisterEveryNSamplesEvent(daqmx::TaskHandle task,
                                             daqmx::int32 everyNsamplesEventType,
                                             daqmx::uInt32 nSamples, daqmx::uInt32 options,
                                             daqmx::EveryNSamplesEventCallbackPtr callbackFunction,
                                             void* callbackData);
daqmx::int32 DAQmxRegisterDoneEvent(daqmx::TaskHandle task, daqmx::uInt32 options,
                                    daqmx::DoneEventCallbackPtr callbackFunction,
                                    void* callbackData);
daqmx::int32 DAQmxStartTask(daqmx::TaskHandle taskHandle);
daqmx::int32 DAQmxStopTask(daqmx::TaskHandle taskHandle);
daqmx::int32 DAQmxClearTask(daqmx::TaskHandle taskHandle);
daqmx::int32 DAQmxReadAnalogF64(daqmx::TaskHandle taskHandle, daqmx::int32 numSampsPerChan,
                                daqmx::float64 timeout, daqmx::bool32 fillMode,
                                daqmx::float64 readArray[], daqmx::uInt32 arraySizeInSamps,
                                daqmx::int32* sampsPerChanRead, daqmx::bool32* reserved);
daqmx::int32 DAQmxGetExtendedErrorInfo(char errorString[], daqmx::uInt32 bufferSize);
}

namespace daqmx {

// The types of the slots the service binds, one per entry point.
using ResetDeviceFn = decltype(&::DAQmxResetDevice);
using CreateTaskFn = decltype(&::DAQmxCreateTask);
using CreateAIVoltageChanFn = decltype(&::DAQmxCreateAIVoltageChan);
using CfgSampClkTimingFn = decltype(&::DAQmxCfgSampClkTiming);
using RegisterEveryNSamplesEventFn = decltype(&::DAQmxRegisterEveryNSamplesEvent);
using RegisterDoneEventFn = decltype(&::DAQmxRegisterDoneEvent);
using StartTaskFn = decltype(&::DAQmxStartTask);
using StopTaskFn = decltype(&::DAQmxStopTask);
using ClearTaskFn = decltype(&::DAQmxClearTask);
using ReadAnalogF64Fn = decltype(&::DAQmxReadAnalogF64);
using GetExtendedErrorInfoFn = decltype(&::DAQmxGetExtendedErrorInfo);

}  // namespace daqmx
