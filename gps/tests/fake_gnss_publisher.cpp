#include "fake_gnss_publisher.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace gps_test {

namespace {
constexpr size_t kRecordSize = 1024;
constexpr size_t kCommandSize = 260;
constexpr DWORD kMutexWaitMs = 5000;
}  // namespace

FakeGnssPublisher::FakeGnssPublisher() {
    m_ok = Create(m_record, L"MyGPSFileMappingObject", m_recordMutex, L"MyGPSBufferMutex",
                  kRecordSize, nullptr) &&
           Create(m_sync, L"MyGPSSyncMappingObject", m_syncMutex, L"MyGPSSynchMutex", kCommandSize,
                  "0\n") &&
           Create(m_logFolder, L"MyLogFolderMappingObject", m_logFolderMutex,
                  L"MyGPSLogFolderMutex", kCommandSize, "0\n");
}

FakeGnssPublisher::~FakeGnssPublisher() {
    StopPolling();
}

bool FakeGnssPublisher::Create(Block& block, const wchar_t* mappingName,
                               platform::UniqueHandle& mutex, const wchar_t* mutexName, size_t size,
                               const char* initialText) {
    block.mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             static_cast<DWORD>(size), mappingName));
    if (!block.mapping)
        return false;
    block.view.Reset(::MapViewOfFile(block.mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
    mutex.Reset(::CreateMutexW(nullptr, TRUE, mutexName));  // initially owned, as the service
    if (!block.view || !mutex)
        return false;
    if (initialText)
        std::strcpy(static_cast<char*>(block.view.Get()), initialText);
    ::ReleaseMutex(mutex.Get());
    return true;
}

void FakeGnssPublisher::Publish(const std::string& record) {
    if (::WaitForSingleObject(m_recordMutex.Get(), kMutexWaitMs) != WAIT_OBJECT_0)
        return;
    const size_t n = record.size() < kRecordSize - 1 ? record.size() : kRecordSize - 1;
    std::memcpy(m_record.view.Get(), record.data(), n);
    static_cast<char*>(m_record.view.Get())[n] = '\0';
    ::ReleaseMutex(m_recordMutex.Get());
}

void FakeGnssPublisher::PublishRaw(const std::string& bytes) {
    if (::WaitForSingleObject(m_recordMutex.Get(), kMutexWaitMs) != WAIT_OBJECT_0)
        return;
    std::memcpy(m_record.view.Get(), bytes.data(),
                bytes.size() < kRecordSize ? bytes.size() : kRecordSize);
    ::ReleaseMutex(m_recordMutex.Get());
}

std::string FakeGnssPublisher::Read(const Block& block, HANDLE mutex, size_t size) {
    if (::WaitForSingleObject(mutex, kMutexWaitMs) != WAIT_OBJECT_0)
        return "<busy>";
    const char* text = static_cast<const char*>(block.view.Get());
    std::string copy(text, ::strnlen(text, size));
    ::ReleaseMutex(mutex);
    return copy;
}

std::string FakeGnssPublisher::SyncText() {
    return Read(m_sync, m_syncMutex.Get(), kCommandSize);
}

std::string FakeGnssPublisher::LogFolderText() {
    return Read(m_logFolder, m_logFolderMutex.Get(), kCommandSize);
}

void FakeGnssPublisher::Poll() {
    if (::WaitForSingleObject(m_syncMutex.Get(), kMutexWaitMs) == WAIT_OBJECT_0) {
        char* text = static_cast<char*>(m_sync.view.Get());
        if (std::atoi(text) == -1) {
            std::strcpy(text, "0");
            ++m_syncRequests;
        }
        ::ReleaseMutex(m_syncMutex.Get());
    }
    if (::WaitForSingleObject(m_logFolderMutex.Get(), kMutexWaitMs) == WAIT_OBJECT_0) {
        char* text = static_cast<char*>(m_logFolder.view.Get());
        const int command = std::atoi(text);
        if (command == 1 || command == 2) {
            {
                std::lock_guard<std::mutex> guard(m_commandsLock);
                m_commands.emplace_back(text, ::strnlen(text, kCommandSize));
            }
            std::strcpy(text, "0\n");
        }
        ::ReleaseMutex(m_logFolderMutex.Get());
    }
}

void FakeGnssPublisher::StartPolling() {
    if (m_polling.exchange(true))
        return;
    m_poller = std::thread([this] {
        while (m_polling) {
            Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
}

void FakeGnssPublisher::StopPolling() {
    if (m_polling.exchange(false) && m_poller.joinable())
        m_poller.join();
}

std::vector<std::string> FakeGnssPublisher::LogCommands() {
    std::lock_guard<std::mutex> guard(m_commandsLock);
    return m_commands;
}

}  // namespace gps_test
