#include "sim/nicaiu-stub/record_writer.h"

#include <algorithm>
#include <utility>

#include "platform/thread_name.h"

namespace daqsim {
namespace {

constexpr DWORD kWritePeriodMs = 50;
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ull;

std::atomic<bool> g_unloading{false};
std::atomic<long> g_parked{0};
// The ids of the threads that ended last (a ring; a thread that ends just
// before an unload is among the last few).
constexpr unsigned kEndedRing = 64;
std::atomic<DWORD> g_ended[kEndedRing];
std::atomic<unsigned> g_endedNext{0};

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

bool Unloading() {
    return g_unloading.load();
}

void BeginUnload() {
    g_unloading = true;
}

long ParkedThreads() {
    return g_parked.load();
}

void Park() {
    ++g_parked;
    for (;;)
        ::Sleep(INFINITE);
}

void NoteThreadEnd() {
    g_ended[g_endedNext++ % kEndedRing] = ::GetCurrentThreadId();
}

bool ThreadEnding(DWORD threadId) {
    for (const auto& id : g_ended)
        if (id.load() == threadId)
            return true;
    return false;
}

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
    // At process exit; after an unload CloseAtUnload has written everything.
    FlushAtExit();
}

void RecordWriter::StartThread() {
    // The thread holds no reference on the library: a program that frees it
    // while the driver runs must be seen doing so (DllMain), not kept safe.
    if (m_thread)
        return;
    m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_thread.Reset(::CreateThread(nullptr, 0, &RecordWriter::ThreadMain, this, 0, nullptr));
}

DWORD WINAPI RecordWriter::ThreadMain(void* self) {
    platform::NameThisThread(L"daq record");
    auto* writer = static_cast<RecordWriter*>(self);
    while (::WaitForSingleObject(writer->m_stop.Get(), kWritePeriodMs) == WAIT_TIMEOUT &&
           !Unloading())
        writer->Flush();
    if (Unloading())
        Park();
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

void RecordWriter::CloseAtUnload() {
    // Holding the file lock, the writer thread is not in a write when it ends.
    bool locked = false;
    for (int i = 0; i < 100 && !(locked = ::TryEnterCriticalSection(&m_fileLock)); ++i)
        ::Sleep(5);
    if (m_thread) {
        ::TerminateThread(m_thread.Get(), 0);
        ::WaitForSingleObject(m_thread.Get(), 1000);
        m_thread.Reset();
    }
    if (!locked)
        return;
    if (::TryEnterCriticalSection(&m_bufferLock)) {
        if (m_file.Valid()) {
            WriteAll(m_file.Get(), m_pending);
            ::FlushFileBuffers(m_file.Get());
        }
        m_pending.clear();
        ::LeaveCriticalSection(&m_bufferLock);
    }
    m_file.Reset();
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
