// The NI-DAQmx C functions of the stand-in "nicaiu.dll", with NI's
// signatures (sensors/daqmx_api.h). Each checks its arguments the way the
// USB-6008 driver does, refuses wrong ones with NI's status and an extended
// error text, and records the call with its arguments (driver_state.h).
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sensors/daqmx_api.h"
#include "sim/nicaiu-stub/driver_state.h"

using namespace daqsim;
using daqmx::TaskHandle;

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ParseInput(std::string_view text, int& value) {
    if (text.empty() || text.size() > 2)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "Dev1/ai0:3", "Dev1/ai0, Dev1/ai2" and mixtures; device names and "ai"
// are case-insensitive, as NI's are. Empty result with `why` on error.
std::vector<int> ParsePhysicalChannels(const char* text, const std::string& device,
                                       std::string& why) {
    std::vector<int> inputs;
    if (text == nullptr || *text == '\0') {
        why = "no physical channel named";
        return {};
    }
    std::string_view rest(text);
    while (true) {
        const size_t comma = rest.find(',');
        const std::string_view item = Trim(rest.substr(0, comma));
        const size_t slash = item.find('/');
        if (slash == std::string_view::npos || !EqualsNoCase(item.substr(0, slash), device)) {
            why = "Physical channel specified does not exist on this device: " + std::string(item);
            return {};
        }
        std::string_view channel = item.substr(slash + 1);
        if (channel.size() < 3 || !EqualsNoCase(channel.substr(0, 2), "ai")) {
            why = "Physical channel specified does not exist on this device: " + std::string(item);
            return {};
        }
        channel.remove_prefix(2);
        const size_t colon = channel.find(':');
        int first = 0, last = 0;
        if (!ParseInput(channel.substr(0, colon), first) ||
            (colon != std::string_view::npos && !ParseInput(channel.substr(colon + 1), last))) {
            why = "Physical channel specified does not exist on this device: " + std::string(item);
            return {};
        }
        if (colon == std::string_view::npos)
            last = first;
        const int step = first <= last ? 1 : -1;
        for (int i = first;; i += step) {
            inputs.push_back(i);
            if (i == last)
                break;
        }
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return inputs;
}

const char* TerminalName(daqmx::int32 config) {
    switch (config) {
        case daqmx::Val_Diff:
            return "differential";
        case kValRse:
            return "RSE";
        case kValNrse:
            return "NRSE";
        case kValCfgDefault:
            return "default";
        default:
            return nullptr;
    }
}

// Looks the task up (recording which it is) before the call's other arguments.
Task* RecordedTask(Call& call, TaskHandle handle) {
    Task* task = call.driver.Find(handle);
    call.line.Raw("task", TaskField(task));
    return task;
}

// Refuses a missing task and calls that change a running one.
Task* ConfigurableTask(Call& call, Task* task, daqmx::int32& refusal) {
    if (!task) {
        refusal = call.Refuse(kErrInvalidTask, "Task specified is invalid or does not exist.");
        return nullptr;
    }
    if (task->Running()) {
        refusal = call.Refuse(kErrTaskRunning,
                              "Specified operation cannot be performed while the task is running.");
        return nullptr;
    }
    return task;
}

// Stops `tasks` without holding the driver lock: their callbacks may be
// calling into the driver right now.
void StopUnlocked(Call& call, const std::vector<Task*>& tasks) {
    call.Unlock();
    for (Task* task : tasks)
        task->Stop();
    call.Lock();
}

}  // namespace

extern "C" {

// A FreeLibrary of the stand-in (not the end of the process, where the
// system has already ended every other thread).
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        if (Driver* driver = Driver::IfCreated())
            driver->Unload();
    }
    return TRUE;
}

daqmx::int32 DAQmxResetDevice(const char deviceName[]) {
    Call call("DAQmxResetDevice", true);
    call.line.Text("deviceName", deviceName);
    if (call.Scheduled())
        return call.FinishScheduled();
    if (DeviceGone())
        return call.Refuse(kErrDevCannotBeAccessed, kDeviceGoneText);
    if (deviceName == nullptr || !EqualsNoCase(deviceName, call.driver.scenario.device))
        return call.Refuse(kErrInvalidDevice,
                           "Device identifier is invalid.\n\nDevice Specified: " +
                               std::string(deviceName ? deviceName : "") +
                               "\nSuggested Device(s): " + call.driver.scenario.device);
    // A reset aborts every task running on the device.
    std::vector<Task*> running;
    for (const auto& task : call.driver.tasks)
        if (!task->cleared && task->Running())
            running.push_back(task.get());
    StopUnlocked(call, running);
    return call.Finish(0);
}

daqmx::int32 DAQmxCreateTask(const char taskName[], TaskHandle* taskHandle) {
    Call call("DAQmxCreateTask", true);
    call.line.Text("taskName", taskName).Pointer("taskHandle", taskHandle);
    if (call.Scheduled())
        return call.FinishScheduled();
    if (taskHandle == nullptr)
        return call.Refuse(kErrInvalidValue, "The task handle pointer is NULL.");
    std::string name = taskName ? taskName : "";
    if (name.empty()) {
        name = "_unnamedTask<" + std::to_string(call.driver.unnamedTasks++) + ">";
    } else {
        for (const auto& task : call.driver.tasks)
            if (!task->cleared && EqualsNoCase(task->Name(), name))
                return call.Refuse(kErrDuplicateTask,
                                   "Task name specified conflicts with an existing task name.");
    }
    const auto id = static_cast<uInt32>(call.driver.tasks.size() + 1);
    call.driver.tasks.push_back(
        std::make_unique<Task>(id, name, call.driver.scenario, call.driver.record));
    *taskHandle = call.driver.tasks.back()->Handle();
    call.line.Raw("created", std::to_string(id)).Raw("name", QuoteText(name));
    return call.Finish(0);
}

daqmx::int32 DAQmxCreateAIVoltageChan(TaskHandle taskHandle, const char physicalChannel[],
                                      const char nameToAssignToChannel[],
                                      daqmx::int32 terminalConfig, daqmx::float64 minVal,
                                      daqmx::float64 maxVal, daqmx::int32 units,
                                      const char customScaleName[]) {
    Call call("DAQmxCreateAIVoltageChan");
    Task* found = RecordedTask(call, taskHandle);
    call.line.Text("physicalChannel", physicalChannel)
        .Text("nameToAssignToChannel", nameToAssignToChannel)
        .Integer("terminalConfig", terminalConfig)
        .Number("minVal", minVal)
        .Number("maxVal", maxVal)
        .Integer("units", units)
        .Text("customScaleName", customScaleName);
    if (call.Scheduled())
        return call.FinishScheduled();
    if (DeviceGone())
        return call.Refuse(kErrDevCannotBeAccessed, kDeviceGoneText);
    daqmx::int32 refusal = 0;
    Task* task = ConfigurableTask(call, found, refusal);
    if (!task)
        return refusal;
    std::string why;
    const std::vector<int> inputs =
        ParsePhysicalChannels(physicalChannel, call.driver.scenario.device, why);
    if (inputs.empty())
        return call.Refuse(kErrPhysicalChannel, why);
    if (TerminalName(terminalConfig) == nullptr)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for this property.\n\n"
                           "Property: AI.TermCfg\nRequested Value: " +
                               std::to_string(terminalConfig));
    const bool differential = terminalConfig == daqmx::Val_Diff;
    const int lastInput = differential ? 3 : 7;
    const double range = differential ? 20.0 : 10.0;
    for (const int input : inputs) {
        if (input > lastInput)
            return call.Refuse(kErrPhysicalChannel,
                               "Physical channel specified does not exist on this device: ai" +
                                   std::to_string(input) +
                                   (differential ? " (differential inputs are ai0 to ai3)" : ""));
        if (std::find(task->channels.begin(), task->channels.end(), input) != task->channels.end())
            return call.Refuse(kErrInvalidValue, "The physical channel ai" + std::to_string(input) +
                                                     " is already in the task.");
    }
    if (units == kValFromCustomScale)
        return call.Refuse(kErrInvalidValue,
                           "Custom scale specified does not exist: " +
                               std::string(customScaleName ? customScaleName : ""));
    if (units != daqmx::Val_Volts)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for this property.\n\n"
                           "Property: AI.Voltage.Units\nRequested Value: " +
                               std::to_string(units));
    if (!(minVal < maxVal) || minVal < -range || maxVal > range)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for this property.\n\n"
                           "Property: AI.Min/AI.Max\nThe USB-6008 measures within +-" +
                               std::to_string(static_cast<int>(range)) + " V in " +
                               TerminalName(terminalConfig) + " mode.");
    task->channels.insert(task->channels.end(), inputs.begin(), inputs.end());
    task->terminalConfig = terminalConfig;
    call.line.Raw("inputs", std::to_string(task->channels.size()));
    return call.Finish(0);
}

daqmx::int32 DAQmxCfgSampClkTiming(TaskHandle taskHandle, const char source[], daqmx::float64 rate,
                                   daqmx::int32 activeEdge, daqmx::int32 sampleMode,
                                   daqmx::uInt64 sampsPerChan) {
    Call call("DAQmxCfgSampClkTiming");
    Task* found = RecordedTask(call, taskHandle);
    call.line.Text("source", source)
        .Number("rate", rate)
        .Integer("activeEdge", activeEdge)
        .Integer("sampleMode", sampleMode)
        .Integer("sampsPerChan", static_cast<long long>(sampsPerChan));
    if (call.Scheduled())
        return call.FinishScheduled();
    if (DeviceGone())
        return call.Refuse(kErrDevCannotBeAccessed, kDeviceGoneText);
    daqmx::int32 refusal = 0;
    Task* task = ConfigurableTask(call, found, refusal);
    if (!task)
        return refusal;
    if (source != nullptr && *source != '\0' && !EqualsNoCase(source, "OnboardClock"))
        return call.Refuse(kErrInvalidValue,
                           "The USB-6008 has no external sample clock: " + std::string(source));
    const size_t width = std::max<size_t>(task->channels.size(), 1);
    if (!(rate > 0.0) || rate * static_cast<double>(width) > kMaxAggregateRate)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for this property.\n\n"
                           "Property: SampClk.Rate\nRequested Value: " +
                               FormatDouble(rate) +
                               "\nThe USB-6008 samples at most 10000 S/s "
                               "over all its channels.");
    if (activeEdge != daqmx::Val_Rising && activeEdge != kValFalling)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for this property.\n\n"
                           "Property: SampClk.ActiveEdge\nRequested Value: " +
                               std::to_string(activeEdge));
    if (sampleMode != daqmx::Val_ContSamps && sampleMode != kValFiniteSamps)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for this property.\n\n"
                           "Property: SampQuant.SampMode\nRequested Value: " +
                               std::to_string(sampleMode));
    if (sampleMode == kValFiniteSamps && sampsPerChan == 0)
        return call.Refuse(kErrInvalidValue, "A finite acquisition needs at least one sample.");
    task->timed = true;
    task->rate = rate;
    task->sampleMode = sampleMode;
    task->samplesPerChannel = sampsPerChan;
    return call.Finish(0);
}

daqmx::int32 DAQmxRegisterEveryNSamplesEvent(TaskHandle task, daqmx::int32 everyNsamplesEventType,
                                             daqmx::uInt32 nSamples, daqmx::uInt32 options,
                                             daqmx::EveryNSamplesEventCallbackPtr callbackFunction,
                                             void* callbackData) {
    Call call("DAQmxRegisterEveryNSamplesEvent");
    Task* found = RecordedTask(call, task);
    call.line.Integer("everyNsamplesEventType", everyNsamplesEventType)
        .Integer("nSamples", nSamples)
        .Integer("options", options)
        .Pointer("callbackFunction", reinterpret_cast<const void*>(callbackFunction))
        .Pointer("callbackData", callbackData);
    if (call.Scheduled())
        return call.FinishScheduled();
    daqmx::int32 refusal = 0;
    Task* t = ConfigurableTask(call, found, refusal);
    if (!t)
        return refusal;
    if (everyNsamplesEventType != daqmx::Val_Acquired_Into_Buffer)
        return call.Refuse(kErrInvalidValue,
                           "An input task can only register the acquired-into-buffer event (1).");
    if (nSamples == 0)
        return call.Refuse(kErrInvalidValue, "The event needs a sample count above 0.");
    if (options != 0)
        return call.Refuse(kErrInvalidValue,
                           "The stand-in calls back on its driver thread only (options 0).");
    t->everyN = {callbackFunction, callbackData, nSamples};
    return call.Finish(0);
}

daqmx::int32 DAQmxRegisterDoneEvent(TaskHandle task, daqmx::uInt32 options,
                                    daqmx::DoneEventCallbackPtr callbackFunction,
                                    void* callbackData) {
    Call call("DAQmxRegisterDoneEvent");
    Task* found = RecordedTask(call, task);
    call.line.Integer("options", options)
        .Pointer("callbackFunction", reinterpret_cast<const void*>(callbackFunction))
        .Pointer("callbackData", callbackData);
    if (call.Scheduled())
        return call.FinishScheduled();
    daqmx::int32 refusal = 0;
    Task* t = ConfigurableTask(call, found, refusal);
    if (!t)
        return refusal;
    if (options != 0)
        return call.Refuse(kErrInvalidValue,
                           "The stand-in calls back on its driver thread only (options 0).");
    t->done = {callbackFunction, callbackData};
    return call.Finish(0);
}

daqmx::int32 DAQmxStartTask(TaskHandle taskHandle) {
    Call call("DAQmxStartTask");
    Task* found = RecordedTask(call, taskHandle);
    if (call.Scheduled())
        return call.FinishScheduled();
    if (DeviceGone())
        return call.Refuse(kErrDevCannotBeAccessed, kDeviceGoneText);
    daqmx::int32 refusal = 0;
    Task* task = ConfigurableTask(call, found, refusal);
    if (!task)
        return refusal;
    if (task->channels.empty())
        return call.Refuse(kErrNoChannels,
                           "Specified operation cannot be performed when there "
                           "are no channels in the task.");
    if (!task->timed)
        return call.Refuse(kErrInvalidValue,
                           "The stand-in plays hardware-timed acquisitions only: configure the "
                           "sample clock first.");
    for (const auto& other : call.driver.tasks)
        if (other.get() != task && !other->cleared && other->Running())
            return call.Refuse(kErrResourceReserved,
                               "The specified resource is reserved. The operation could not be "
                               "completed as specified.\n\nTask Name: " +
                                   task->Name() + "\n\nStatus Code: -50103");
    if (!task->Start())
        return call.Refuse(kErrInvalidValue, "The stand-in could not start its driver thread.");
    return call.Finish(0);
}

daqmx::int32 DAQmxStopTask(TaskHandle taskHandle) {
    Call call("DAQmxStopTask");
    Task* task = RecordedTask(call, taskHandle);
    if (call.Scheduled())
        return call.FinishScheduled();
    if (!task)
        return call.Refuse(kErrInvalidTask, "Task specified is invalid or does not exist.");
    StopUnlocked(call, {task});
    return call.Finish(0);
}

daqmx::int32 DAQmxClearTask(TaskHandle taskHandle) {
    Call call("DAQmxClearTask");
    Task* task = RecordedTask(call, taskHandle);
    if (call.Scheduled())
        return call.FinishScheduled();
    if (!task)
        return call.Refuse(kErrInvalidTask, "Task specified is invalid or does not exist.");
    if (task->OnCallbackThread())
        call.line.Raw("from", "callback");
    task->cleared = true;  // the handle is dead from here on
    StopUnlocked(call, {task});
    return call.Finish(0);
}

daqmx::int32 DAQmxReadAnalogF64(TaskHandle taskHandle, daqmx::int32 numSampsPerChan,
                                daqmx::float64 timeout, daqmx::bool32 fillMode,
                                daqmx::float64 readArray[], daqmx::uInt32 arraySizeInSamps,
                                daqmx::int32* sampsPerChanRead, daqmx::bool32* reserved) {
    Call call("DAQmxReadAnalogF64");
    Task* task = RecordedTask(call, taskHandle);
    call.line.Integer("numSampsPerChan", numSampsPerChan)
        .Number("timeout", timeout)
        .Integer("fillMode", fillMode)
        .Pointer("readArray", readArray)
        .Integer("arraySizeInSamps", arraySizeInSamps)
        .Pointer("sampsPerChanRead", sampsPerChanRead)
        .Pointer("reserved", reserved);
    if (sampsPerChanRead)
        *sampsPerChanRead = 0;
    if (call.Scheduled())
        return call.FinishScheduled();
    if (!task)
        return call.Refuse(kErrInvalidTask, "Task specified is invalid or does not exist.");
    if (readArray == nullptr && arraySizeInSamps > 0)
        return call.Refuse(kErrInvalidValue, "The read array is NULL.");
    if (fillMode != kValGroupByChannel && fillMode != daqmx::Val_GroupByScanNumber)
        return call.Refuse(kErrInvalidValue,
                           "Requested value is not a supported value for the "
                           "fill mode: " +
                               std::to_string(fillMode));
    if (reserved != nullptr)
        return call.Refuse(kErrInvalidValue, "The reserved parameter must be NULL.");
    if (numSampsPerChan < kValAuto)
        return call.Refuse(kErrInvalidValue, "The number of samples per channel is negative.");
    const auto width = static_cast<long long>(task->channels.size());
    if (numSampsPerChan > 0 &&
        static_cast<long long>(numSampsPerChan) * width > static_cast<long long>(arraySizeInSamps))
        return call.Refuse(kErrReadBufferTooSmall,
                           "Buffer is too small to fit read data.\n\n"
                           "Required Buffer Size in Samples: " +
                               std::to_string(numSampsPerChan * width) +
                               "\nBuffer Size in Samples: " + std::to_string(arraySizeInSamps));
    if (!task->Running() && !task->started)
        return call.Refuse(kErrTaskNotRunning,
                           "Read cannot be performed when the task is not running.");
    // Identical successful reads go into the record once; their samples always do.
    std::string arguments = call.line.Finish(0, 0);
    const bool repeat = arguments == task->lastReadArguments;
    call.Unlock();
    const ReadResult result = numSampsPerChan == 0 ? ReadResult{}
                                                   : task->Read(numSampsPerChan, timeout, fillMode,
                                                                readArray, arraySizeInSamps);
    call.Lock();
    if (sampsPerChanRead)
        *sampsPerChanRead = result.read;
    if (result.scheduled)
        call.line.Integer("scheduled", 1);
    call.line.Integer("read", result.read);
    if (result.status == 0 && result.read > 0 && repeat) {
        ++task->unrecordedReads;
        call.Unlock();
        return 0;
    }
    if (result.status == 0 && result.read > 0) {
        task->lastReadArguments = std::move(arguments);
        if (task->unrecordedReads > 0)
            call.line.Raw("repeated_before", std::to_string(task->unrecordedReads));
        task->unrecordedReads = 0;
    } else {
        task->lastReadArguments.clear();  // the next good read is recorded again
    }
    return call.Finish(result.status, result.error);
}

daqmx::int32 DAQmxGetExtendedErrorInfo(char errorString[], daqmx::uInt32 bufferSize) {
    Call call("DAQmxGetExtendedErrorInfo");
    call.line.Pointer("errorString", errorString).Integer("bufferSize", bufferSize);
    const std::string text = call.driver.lastError;
    call.line.Raw("text", QuoteText(text));
    if (bufferSize == 0)  // NI: the size the caller needs, terminator included
        return call.Finish(static_cast<daqmx::int32>(text.size() + 1));
    if (errorString == nullptr)
        return call.Refuse(kErrInvalidValue, "The error string buffer is NULL.");
    const size_t n = std::min<size_t>(text.size(), bufferSize - 1);
    std::memcpy(errorString, text.data(), n);
    errorString[n] = '\0';
    return call.Finish(0);
}

}  // extern "C"
