// The process-wide state of the stand-in driver: the scenario in force, the
// record, the tasks and NI's "last error" text, and the bookkeeping every
// exported call goes through (`Call`).
//
// The scenario comes from the file named by SURVEY_DAQ_SCENARIO, else from
// "nicaiu-scenario.txt" beside the DLL, else Scenario::Default(). It is read
// again at every DAQmxResetDevice and DAQmxCreateTask, so a program (or a
// test) that changes the file between tasks gets the new one; a task keeps
// the scenario it was created with. A scenario with errors makes every call
// fail with "Device identifier is invalid" and the errors as its text.
//
// The record goes to the file named by SURVEY_DAQ_RECORD, else to the
// scenario's "record path=" (relative to the DLL's folder), appended.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/nicaiu-stub/daq_record.h"
#include "sim/nicaiu-stub/daq_scenario.h"
#include "sim/nicaiu-stub/daq_task.h"
#include "sim/nicaiu-stub/record_writer.h"

namespace daqsim {

inline constexpr wchar_t kScenarioVariable[] = L"SURVEY_DAQ_SCENARIO";
inline constexpr wchar_t kRecordVariable[] = L"SURVEY_DAQ_RECORD";
inline constexpr wchar_t kScenarioBesideDll[] = L"nicaiu-scenario.txt";

class Driver {
public:
    static Driver& Get();
    // The driver if any call has created it, else null (for DllMain).
    static Driver* IfCreated();

    CRITICAL_SECTION lock;  // everything below but the record (which has its own)
    RecordWriter record;
    Scenario scenario = Scenario::Default();
    std::vector<std::string> scenarioErrors;
    std::map<std::string, uInt32, std::less<>> callCounts;
    std::vector<std::unique_ptr<Task>> tasks;  // kept for the life of the process
    uInt32 unnamedTasks = 0;
    std::string lastError;

    // Under `lock`: re-reads the scenario when `always` or when none was read yet.
    void RefreshScenario(bool always);
    // Under `lock`: the live task behind a handle, or null.
    Task* Find(daqmx::TaskHandle handle) const;

    // The program frees the library (DLL_PROCESS_DETACH from FreeLibrary).
    // Threads of tasks that still exist would run on in freed code, as a real
    // driver's would: the record says how many there were ("unload" line,
    // threads=, which a test of the program checks for 0), and they are
    // ended. Every thread of the stand-in is parked first, so that ending it
    // leaves no lock held; one still inside the program's callback after a
    // second is ended where it is (stuck=).
    void Unload();

private:
    Driver();
    void WriteHeader();
    bool m_loaded = false;
    std::wstring m_scenarioPath;
    std::string m_scenarioText;
};

// One exported call: takes the driver lock for its bookkeeping, counts the
// call for the scenario's scheduled failures, builds its record line and sets
// NI's last-error text on failure. The lock is held from construction to
// Unlock() or Finish(); work that waits (joins, reads) runs unlocked.
class Call {
public:
    Call(std::string_view function, bool refreshScenario = false);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    CallLine line;
    Driver& driver;

    // The scenario's failure for this call (or its error state), if any.
    bool Scheduled() const { return m_scheduled != nullptr || !driver.scenarioErrors.empty(); }
    // Records and returns the scheduled status.
    int32 FinishScheduled();
    // Records the call and returns its status; a negative one sets the last error.
    int32 Finish(int32 status, std::string_view error = {});
    int32 Refuse(int32 status, std::string_view why) { return Finish(status, why); }

    void Lock();
    void Unlock();

private:
    std::string m_function;
    const CallFailure* m_scheduled = nullptr;
    bool m_locked = false;
    bool m_finished = false;
};

// NI's text for -201003, which every call that touches a device that is
// not there returns.
inline constexpr char kDeviceGoneText[] =
    "Device cannot be accessed.\nPossible causes:\nDevice is no longer present in the system.\n"
    "Device is not powered.\nDevice is powered, but was temporarily without power.\n\n"
    "Status Code: -201003";

// The scenario's unplug, once per process: true for the first caller only.
bool TakeUnplug();
// The device is pulled out now: it leaves the SetupAPI listing (its keys
// under HKLM\System\CurrentControlSet\Enum\USB\VID_3923&PID_717A are
// taken away) and DeviceGone() holds until, `goneS` later, a thread of its
// own puts the keys back. Record lines "unplug" and "replug".
void UnplugDevice(const Unplug& unplug);
// Calls that touch the device fail with kErrDevCannotBeAccessed meanwhile.
bool DeviceGone();

// "task=<id>" or "task=invalid" for the record.
std::string TaskField(const Task* task);

}  // namespace daqsim
