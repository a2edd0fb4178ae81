// The record file of a stand-in driver, written from a thread of its own so
// that the threads that append (the driver's, 1000 samples a second)
// never wait on the disk. Appends go into a memory buffer under a short
// lock; the writer thread moves the buffer to the file every 50 ms, and
// Flush() does so at once (task stop and clear, process exit).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/handles.h"

namespace daqsim {

// Set once the library is being unloaded: every thread of the stand-in then
// parks (counted in ParkedThreads) at its next safe point, holding no lock,
// so that the unload can end it without leaving a lock held in the process.
bool Unloading();
void BeginUnload();
long ParkedThreads();
// Parks the calling thread for good.
[[noreturn]] void Park();
// Every thread of the stand-in notes its last step here; an unload does not
// count a thread that has only its return left as one still running.
void NoteThreadEnd();
bool ThreadEnding(DWORD threadId);

// Microseconds since 1970-01-01 UTC, from the precise system time.
std::int64_t UtcMicroseconds();

class RecordWriter {
public:
    RecordWriter();
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Opens `path` for appending (closing a file opened before, after writing
    // what is pending for it). An empty path closes. False when it cannot open.
    bool Open(const std::wstring& path);
    bool IsOpen() const;
    const std::wstring& Path() const { return m_path; }

    void Append(std::string_view text);
    // Appends under the lock without building a temporary: `fill` gets the buffer.
    template <typename Fill>
    void AppendWith(Fill&& fill) {
        ::EnterCriticalSection(&m_bufferLock);
        if (m_file.Valid())
            fill(m_pending);
        ::LeaveCriticalSection(&m_bufferLock);
    }

    // Writes everything appended so far to the file before returning.
    void Flush();
    // At process exit other threads are gone, possibly holding a lock: write
    // what can be written without waiting.
    void FlushAtExit();
    // The library is being unloaded (the writer thread has parked or is
    // stuck): writes what is pending, ends the writer thread and closes the file.
    void CloseAtUnload();
    // The writer thread while it exists (it holds no lock once parked).
    HANDLE Thread() const { return m_thread.Get(); }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void StartThread();

    CRITICAL_SECTION m_bufferLock;  // m_pending
    CRITICAL_SECTION m_fileLock;    // m_file and the order of writes
    std::string m_pending;
    std::string m_writing;  // swapped with m_pending, written outside the buffer lock
    platform::UniqueFile m_file;
    std::wstring m_path;
    platform::UniqueHandle m_thread;
    platform::UniqueHandle m_stop;
};

}  // namespace daqsim
