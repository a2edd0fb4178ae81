#include "gnss/gnss_log_files.h"

#include <cwchar>

void GnssLogFiles::OpenDayAndEvent(const std::wstring& folder,
                                   const platform::CivilTime& localDate) {
    wchar_t name[32];
    std::swprintf(name, 32, L"\\gps%02d%02d%02d.log", localDate.year % 100, localDate.month,
                  localDate.day);
    m_dayLogPath = folder + name;
    m_eventLogPath = folder + L"\\gnssLog.log";
    if (m_dayLog == nullptr)
        m_dayLog = _wfopen(m_dayLogPath.c_str(), L"a");
    if (m_eventLog == nullptr)
        m_eventLog = _wfopen(m_eventLogPath.c_str(), L"a");
}

void GnssLogFiles::Write(std::FILE* file, std::string_view text) {
    if (file == nullptr)
        return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

void GnssLogFiles::WriteDay(std::string_view text) {
    Write(m_dayLog, text);
}

void GnssLogFiles::WriteEvent(std::string_view text) {
    Write(m_eventLog, text);
}

void GnssLogFiles::WriteRun(std::string_view text) {
    Write(m_runLog, text);
}

bool GnssLogFiles::OpenRun(const std::string& ansiPath, bool truncate) {
    CloseRun();
    if (ansiPath.empty())
        return false;
    // The path is in the ANSI code page, as clients send it; the narrow C
    // runtime opens it in that code page.
    m_runLog = std::fopen(ansiPath.c_str(), truncate ? "w" : "a");
    return m_runLog != nullptr;
}

void GnssLogFiles::CloseRun() {
    if (m_runLog != nullptr) {
        std::fclose(m_runLog);
        m_runLog = nullptr;
    }
}

void GnssLogFiles::CloseAll() {
    if (m_dayLog != nullptr) {
        std::fclose(m_dayLog);
        m_dayLog = nullptr;
    }
    if (m_eventLog != nullptr) {
        std::fclose(m_eventLog);
        m_eventLog = nullptr;
    }
    CloseRun();
}
