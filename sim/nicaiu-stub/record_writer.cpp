#include "sim/nicaiu-stub/record_writer.h"

#include <algorithm>
#include <utility>

namespace daqsim {
namespace {

constexpr DWORD kWritePeriodMs = 50;
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ull;

// The writer's (and the driver's) threads run code of this DLL: a program
// that frees the library while they run would crash, so the library stays
// loaded for the life of the process once a thread has started.
void PinThisModule() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&PinThisModule), &self);
}

void WriteAll(HANDLE file, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
        if (!::WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0)
            return;
        done += written;
    }
}

}  // namespace

std::int64_t UtcMicroseconds() {
    FILETIME ft;
    ::GetSystemTimePreciseAsFileTime(&ft);
    const std::uint64_t t =
        (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<std::int64_t>((t - kUnixEpochFileTime) / 10);
}

RecordWriter::RecordWriter() {
    ::InitializeCriticalSection(&m_bufferLock);
    ::InitializeCriticalSection(&m_fileLock);
}

RecordWriter::~RecordWriter() {
    // Runs at process exit only (the module is pinned once a thread runs).
    FlushAtExit();
}

void RecordWriter::StartThread() {
    if (m_thread)
        return;
    PinThisModule();
    m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_thread.Reset(::CreateThread(nullptr, 0, &RecordWriter::ThreadMain, this, 0, nullptr));
}

DWORD WINAPI RecordWriter::ThreadMain(void* self) {
    auto* writer = static_cast<RecordWriter*>(self);
    while (::WaitForSingleObject(writer->m_stop.Get(), kWritePeriodMs) == WAIT_TIMEOUT)
        writer->Flush();
    return 0;
}

bool RecordWriter::Open(const std::wstring& path) {
    ::EnterCriticalSection(&m_fileLock);
    ::EnterCriticalSection(&m_bufferLock);
    if (m_file.Valid() && !m_pending.empty())
        WriteAll(m_file.Get(), m_pending);
    m_pending.clear();
    m_file.Reset();
    m_path.clear();
    if (!path.empty()) {
        m_file.Reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file.Valid())
            m_path = path;
    }
    const bool open = m_file.Valid();
    ::LeaveCriticalSection(&m_bufferLock);
    ::LeaveCriticalSection(&m_fileLock);
    if (open)
        StartThread();
    return open;
}

bool RecordWriter::IsOpen() const {
    return m_file.Valid();
}

void RecordWriter::Append(std::string_view text) {
    AppendWith([&](std::string& buffer) { buffer.append(text); });
}

void RecordWriter::Flush() {
    ::EnterCriticalSection(&m_fileLock);
    ::EnterCriticalSection(&m_bufferLock);
    std::swap(m_pending, m_writing);
    ::LeaveCriticalSection(&m_bufferLock);
    if (m_file.Valid() && !m_writing.empty())
        WriteAll(m_file.Get(), m_writing);
    m_writing.clear();
    ::LeaveCriticalSection(&m_fileLock);
}

void RecordWriter::FlushAtExit() {
    if (!::TryEnterCriticalSection(&m_fileLock))
        return;
    if (::TryEnterCriticalSection(&m_bufferLock)) {
        if (m_file.Valid()) {
            WriteAll(m_file.Get(), m_pending);
            ::FlushFileBuffers(m_file.Get());
        }
        m_pending.clear();
        ::LeaveCriticalSection(&m_bufferLock);
    }
    ::LeaveCriticalSection(&m_fileLock);
}

}  // namespace daqsim
