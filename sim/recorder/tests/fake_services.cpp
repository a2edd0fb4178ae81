#include "sim/recorder/tests/fake_services.h"

#include <cstdlib>

#include "platform/text.h"

namespace recorder_test {
namespace {

platform::SharedTextBlock Create(const wchar_t* mapping, const wchar_t* mutex, size_t size,
                                 const char* initial, bool owned) {
    platform::SharedTextCreateOptions options;
    options.ownership =
        owned ? platform::MutexOwnership::InitiallyOwned : platform::MutexOwnership::Unowned;
    if (initial)
        options.initialText = initial;
    return platform::SharedTextBlock::Create(mapping, mutex, size, options);
}

long Leading(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

}  // namespace

void AppendToFile(const std::wstring& path, const std::string& text) {
    platform::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

FakeServices::FakeServices() {
    m_scanStatus = Create(L"MyScanFileMappingObject", L"MyScanBufferMutex", 16, "1\n", false);
    m_scanCommand =
        Create(L"MyScanCommandMappingObject", L"MyScanCommandMutex", 262, nullptr, false);
    m_sensorData = Create(L"MySensorFileMappingObject", L"MySensorBufferMutex", 1024, "0", true);
    m_sensorState = Create(L"MyFilesWSMappingObject", L"MySensorWriteStateMutex", 262, "0\n", true);
    m_gpsRecord = Create(L"MyGPSFileMappingObject", L"MyGPSBufferMutex", 1024,
                         "1 55.750000000000 37.610000000000 2.000000000000 0.000010000000 "
                         "0.000020000000 2.500000000000 123456.000 9",
                         true);
    m_gpsSync = Create(L"MyGPSSyncMappingObject", L"MyGPSSynchMutex", 260, "0\n", true);
    m_gpsLogFolder = Create(L"MyLogFolderMappingObject", L"MyGPSLogFolderMutex", 260, "0\n", true);
    m_lastGnss = "0\n";
    m_lastSensors = "0\n";
    m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_thread.Reset(::CreateThread(nullptr, 0, &FakeServices::ThreadMain, this, 0, nullptr));
}

FakeServices::~FakeServices() {
    ::SetEvent(m_stop.Get());
    ::WaitForSingleObject(m_thread.Get(), 10000);
}

bool FakeServices::Ready() const {
    return m_scanStatus.Ready() && m_scanCommand.Ready() && m_sensorData.Ready() &&
           m_sensorState.Ready() && m_gpsRecord.Ready() && m_gpsSync.Ready() &&
           m_gpsLogFolder.Ready() && m_thread.Valid();
}

DWORD WINAPI FakeServices::ThreadMain(void* self) {
    auto* services = static_cast<FakeServices*>(self);
    while (::WaitForSingleObject(services->m_stop.Get(), 10) == WAIT_TIMEOUT)
        services->Poll();
    return 0;
}

void FakeServices::Poll() {
    PollScanner();
    PollSensors();
    PollGnss();
}

void FakeServices::PollScanner() {
    if (!scannerAnswers)
        return;
    m_scanCommand.Update([&](std::string_view current) -> std::optional<std::string> {
        const std::string text(current);
        if (text.empty() || text == m_lastScanner)
            return std::nullopt;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_scannerCommands.push_back(text);
        }
        // Until the next command this text counts as seen, answered or not.
        m_lastScanner = text;
        std::string answer;
        switch (Leading(text)) {
            case 1:
                if (m_scannerRecording)
                    return std::nullopt;  // no answer while recording
                m_scannerRecording = true;
                m_scannerFolder = platform::AnsiToWide(text.size() > 2 ? text.substr(2) : "");
                m_scannerLines = 0;
                AppendToFile(m_scannerFolder + L"\\scanner0.log", "");
                answer = "3\n";
                break;
            case 0:
                if (!m_scannerRecording)
                    return std::nullopt;
                m_scannerRecording = false;
                answer = "3\n";
                break;
            case 2:
                if (!m_scannerRecording)
                    return std::nullopt;
                AppendToFile(m_scannerFolder + L"\\scanner0.log",
                             "181227 103000.000 1 1500 " + text + "\n");
                answer = scanFailed ? "-1\n" : "3\n";
                break;
            default:
                return std::nullopt;
        }
        m_lastScanner = answer;
        return answer;
    });
}

void FakeServices::PollSensors() {
    std::string text;
    if (m_sensorState.Read(text) != platform::SharedTextAccess::Ok || text == m_lastSensors)
        return;
    m_lastSensors = text;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_sensorStates.push_back(text);
    }
    const bool record = Leading(text) > 0;
    if (record && !m_sensorsRecording) {
        const std::wstring folder = platform::AnsiToWide(text.size() > 2 ? text.substr(2) : "");
        AppendToFile(folder + L"\\sensWay.txt",
                     "num,LastDif,LastValue,time,date\n2,4.600,4.800,103000.001,181227\n");
        AppendToFile(folder + L"\\session.ini",
                     "[\xc4\xe0\xf2\xf7\xe8\xea"
                     "0]\r\n\xcc\xe0\xf0\xea\xe0=\r\n");
    }
    m_sensorsRecording = record;
}

void FakeServices::PollGnss() {
    if (!gnssAnswers)
        return;
    m_gpsLogFolder.Update([&](std::string_view current) -> std::optional<std::string> {
        const std::string text(current);
        if (text == "0\n")
            return std::nullopt;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_gnssCommands.push_back(text);
        }
        if (text.size() > 2 && text.compare(0, 2, "1 ") == 0)
            AppendToFile(platform::AnsiToWide(text.substr(2)) + L"\\181227103000gps.log",
                         "$GPGGA,103000.00,5545.00000,N,03736.60000,E,1,09,1.0,150.0,M,14.0,M,,*5C,"
                         "2.00,181227,5C\n");
        return std::string("0\n");
    });
}

std::vector<std::string> FakeServices::ScannerCommands() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_scannerCommands;
}

std::vector<std::string> FakeServices::GnssCommands() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_gnssCommands;
}

std::vector<std::string> FakeServices::SensorStates() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sensorStates;
}

void FakeServices::SetSensorData(const std::string& text) {
    m_sensorData.Write(text);
}

}  // namespace recorder_test
