// The service's three text logs: the day log and the event log in the
// program folder, and the run log in a folder chosen by a client.
//
// Lines arrive fully formatted; every line is flushed at once so that a crash
// or a power loss in the vehicle loses at most the line being written. A file
// that cannot be opened stays closed and its lines are skipped.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/clock.h"

class GnssLogFiles {
public:
    GnssLogFiles() = default;
    ~GnssLogFiles() { CloseAll(); }
    GnssLogFiles(const GnssLogFiles&) = delete;
    GnssLogFiles& operator=(const GnssLogFiles&) = delete;

    // "gps" + yymmdd + ".log" of `localDate` and "gnssLog.log" in `folder`
    // (UTF-16, no trailing backslash), both for appending. Called once.
    void OpenDayAndEvent(const std::wstring& folder, const platform::CivilTime& localDate);

    bool DayLogOpen() const { return m_dayLog != nullptr; }
    bool EventLogOpen() const { return m_eventLog != nullptr; }
    bool RunLogOpen() const { return m_runLog != nullptr; }
    const std::wstring& DayLogPath() const { return m_dayLogPath; }
    const std::wstring& EventLogPath() const { return m_eventLogPath; }

    void WriteDay(std::string_view text);
    void WriteEvent(std::string_view text);
    // The run log is guarded by the log-folder mutex; callers hold it.
    void WriteRun(std::string_view text);

    // Opens `ansiPath` for writing (truncate) or appending, closing any run
    // log that is open first, so repeated commands never leak a stream.
    bool OpenRun(const std::string& ansiPath, bool truncate);
    void CloseRun();

    // Day, event and run log, in that order.
    void CloseAll();

private:
    static void Write(std::FILE* file, std::string_view text);

    std::FILE* m_dayLog = nullptr;
    std::FILE* m_eventLog = nullptr;
    std::FILE* m_runLog = nullptr;
    std::wstring m_dayLogPath;
    std::wstring m_eventLogPath;
};
