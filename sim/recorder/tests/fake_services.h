// The three services' side of their blocks, played inside the recorder's
// Wine test: the blocks are created with the services' names, sizes and
// first texts, and a thread answers as the services do (the scanner's 10 ms
// command poll with "3\n" or "-1\n", the GNSS service's "0\n" for a run-log
// command it took, the sensor service reading its recording state). On a
// start each writes a small file into the folder it was given, so the
// recorder has something to list.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/shared_text.h"

namespace recorder_test {

class FakeServices {
public:
    FakeServices();
    ~FakeServices();
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    bool Ready() const;

    std::atomic<bool> scannerAnswers{true};
    std::atomic<bool> scanFailed{false};
    std::atomic<bool> gnssAnswers{true};

    // Every distinct text each service found in its block, in order.
    std::vector<std::string> ScannerCommands() const;
    std::vector<std::string> GnssCommands() const;
    std::vector<std::string> SensorStates() const;

    void SetSensorData(const std::string& text);

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Poll();
    void PollScanner();
    void PollSensors();
    void PollGnss();

    platform::SharedTextBlock m_scanStatus, m_scanCommand, m_sensorData, m_sensorState;
    platform::SharedTextBlock m_gpsRecord, m_gpsSync, m_gpsLogFolder;
    mutable std::mutex m_lock;
    std::vector<std::string> m_scannerCommands, m_gnssCommands, m_sensorStates;
    std::string m_lastScanner, m_lastGnss, m_lastSensors;
    bool m_scannerRecording = false, m_sensorsRecording = false;
    std::wstring m_scannerFolder;
    int m_scannerLines = 0;
    platform::UniqueHandle m_stop, m_thread;
};

// Appends `text` to a file (created when missing).
void AppendToFile(const std::wstring& path, const std::string& text);

}  // namespace recorder_test
