// Test stand-in for the GNSS service's side of the shared memory: creates the
// three mappings and mutexes the way the service does, publishes records and
// answers clock-check and log-folder commands like the service's 100 ms poll.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"

namespace gps_test {

class FakeGnssPublisher {
public:
    FakeGnssPublisher();
    ~FakeGnssPublisher();
    FakeGnssPublisher(const FakeGnssPublisher&) = delete;
    FakeGnssPublisher& operator=(const FakeGnssPublisher&) = delete;

    bool Ok() const { return m_ok; }
    void Publish(const std::string& record);
    // Fills the record mapping with `bytes` as they are, without a terminator.
    void PublishRaw(const std::string& bytes);
    std::string SyncText();
    std::string LogFolderText();

    // One service poll: a clock-check request "-1" is answered with "0"; a
    // log-folder command 1 or 2 is recorded and answered with "0\n".
    void Poll();
    void StartPolling();  // Poll() every 100 ms on a thread of its own
    void StopPolling();
    int SyncRequests() const { return m_syncRequests; }
    std::vector<std::string> LogCommands();

    HANDLE RecordMutex() const { return m_recordMutex.Get(); }

private:
    struct Block {
        platform::UniqueHandle mapping;
        platform::UniqueView view;
    };
    bool Create(Block& block, const wchar_t* mappingName, platform::UniqueHandle& mutex,
                const wchar_t* mutexName, size_t size, const char* initialText);
    std::string Read(const Block& block, HANDLE mutex, size_t size);

    bool m_ok = false;
    Block m_record, m_sync, m_logFolder;
    platform::UniqueHandle m_recordMutex, m_syncMutex, m_logFolderMutex;
    std::atomic<int> m_syncRequests{0};
    std::mutex m_commandsLock;
    std::vector<std::string> m_commands;
    std::atomic<bool> m_polling{false};
    std::thread m_poller;
};

}  // namespace gps_test
