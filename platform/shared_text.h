// Named shared text block: a page-file-backed file mapping that holds one
// NUL-terminated 8-bit text (ANSI code page), guarded by a named mutex of its
// own. Every text that passes between the suite's processes goes through one.
//
// The creating service creates the mapping, maps the whole size and creates
// the mutex (initially owned with an initial text written while owned, or
// unowned). Other processes open both by name. Every access waits for the
// mutex (5000 ms by default); a wait that fails skips that one access and
// reports it by result: nothing is queued or retried.
//
// Every copy out of the mapping is bounded by the mapping size and yields a
// terminated text even when another process left the block without a
// terminator; every write is cut to size - 1 characters and terminated.
//
// A mutex whose owner ended without releasing it (WAIT_ABANDONED) counts as
// acquired: the text the owner left is still there and the mutex is now ours.
//
// The mutex belongs to the thread that took it: a lock must be released on
// the thread that acquired it (SharedTextLock's destructor does so).
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handles.h"

namespace platform {

// Longest wait for a block's mutex around one access, ms.
inline constexpr DWORD kSharedTextWaitMs = 5000;

enum class MutexOwnership { Unowned, InitiallyOwned };

struct SharedTextCreateOptions {
    MutexOwnership ownership = MutexOwnership::InitiallyOwned;
    // Written into the block before the creator lets others at it; none: the
    // block stays all zero bytes (reads as the empty text).
    std::optional<std::string_view> initialText;
    // Tries at mapping the view, retryDelayMs apart.
    int viewAttempts = 1;
    DWORD retryDelayMs = 100;
    // Mutex wait of every later access through this object.
    DWORD waitMs = kSharedTextWaitMs;
};

struct SharedTextOpenOptions {
    // Tries at each step, retryDelayMs apart (the creator may not run yet).
    int mappingAttempts = 1;
    int viewAttempts = 1;
    int mutexAttempts = 1;
    DWORD retryDelayMs = 100;
    // false: a missing mutex is tolerated (FailedStep() stays None, HasMutex()
    // is false and every access is skipped with SharedTextAccess::NoMutex).
    // true: Open fails at SharedTextStep::Mutex.
    bool mutexRequired = false;
    DWORD waitMs = kSharedTextWaitMs;
};

// The set-up step that failed (None when set-up went through).
enum class SharedTextStep { None, Mapping, View, Mutex };

enum class SharedTextAccess {
    Ok,          // done under the mutex (also after an abandoned mutex)
    TimedOut,    // the mutex was not obtained in time: access skipped
    WaitFailed,  // the wait itself failed: access skipped
    NoMutex,     // the block has no mutex: access skipped
    NoView,      // the block has no view: access skipped
};

// The mutex of one block, held. Move-only; releases on destruction. It uses
// the block's handles: a lock must not outlive its block.
class SharedTextLock {
public:
    SharedTextLock() = default;
    SharedTextLock(SharedTextLock&& other) noexcept;
    SharedTextLock& operator=(SharedTextLock&& other) noexcept;
    SharedTextLock(const SharedTextLock&) = delete;
    SharedTextLock& operator=(const SharedTextLock&) = delete;
    ~SharedTextLock() { Unlock(); }

    SharedTextAccess Result() const noexcept { return m_result; }
    bool Held() const noexcept { return m_mutex != nullptr; }
    explicit operator bool() const noexcept { return Held(); }
    // The previous owner ended without releasing the mutex.
    bool Abandoned() const noexcept { return m_abandoned; }

    // The block's text, at most size - 1 characters; empty without a view.
    std::string Read() const;
    // Copies the text into buffer (at most capacity - 1 characters and the
    // terminator) and returns its length; no allocation.
    size_t ReadInto(char* buffer, size_t capacity) const;
    // Replaces the text, cut to size - 1 characters. False without a view or lock.
    bool Write(std::string_view text);

    void Unlock() noexcept;

private:
    friend class SharedTextBlock;
    SharedTextLock(HANDLE mutex, char* view, size_t size, bool abandoned) noexcept;
    explicit SharedTextLock(SharedTextAccess failure) noexcept : m_result(failure) {}

    HANDLE m_mutex = nullptr;  // not owned: the block's handle; non-null while held
    char* m_view = nullptr;
    size_t m_size = 0;
    bool m_abandoned = false;
    SharedTextAccess m_result = SharedTextAccess::NoMutex;
};

class SharedTextBlock {
public:
    SharedTextBlock() = default;
    SharedTextBlock(SharedTextBlock&&) noexcept = default;
    SharedTextBlock& operator=(SharedTextBlock&&) noexcept = default;
    SharedTextBlock(const SharedTextBlock&) = delete;
    SharedTextBlock& operator=(const SharedTextBlock&) = delete;
    ~SharedTextBlock() { Close(); }

    // Creates (or joins, when it already exists) the mapping of `size` bytes,
    // maps all of it and creates the mutex. Check Ready()/FailedStep() after.
    // Objects obtained before a failing step stay in the returned block.
    static SharedTextBlock Create(const wchar_t* mappingName, const wchar_t* mutexName, size_t size,
                                  const SharedTextCreateOptions& options = {});
    // Opens an existing mapping and mutex by name and maps `size` bytes.
    static SharedTextBlock Open(const wchar_t* mappingName, const wchar_t* mutexName, size_t size,
                                const SharedTextOpenOptions& options = {});

    bool HasMapping() const noexcept { return m_mapping.Valid(); }
    bool HasView() const noexcept { return m_view.Valid(); }
    bool HasMutex() const noexcept { return m_mutex.Valid(); }
    bool Ready() const noexcept { return HasView() && HasMutex(); }
    SharedTextStep FailedStep() const noexcept { return m_failedStep; }
    // GetLastError() of the failed step (0 when none failed).
    DWORD LastError() const noexcept { return m_lastError; }
    // Create only: the mapping existed before (another process kept it open).
    bool MappingExisted() const noexcept { return m_mappingExisted; }
    size_t Size() const noexcept { return m_size; }

    DWORD WaitMs() const noexcept { return m_waitMs; }
    void SetWaitMs(DWORD waitMs) noexcept { m_waitMs = waitMs; }

    // Takes the mutex (WaitMs() or the given wait). Works without a view, so
    // the mutex can also guard work outside the block.
    SharedTextLock Lock() const { return Lock(m_waitMs); }
    SharedTextLock Lock(DWORD waitMs) const;

    // One access under the mutex each.
    SharedTextAccess Read(std::string& text) const;
    // No allocation: at most capacity - 1 characters and the terminator.
    SharedTextAccess ReadInto(char* buffer, size_t capacity, size_t* length = nullptr) const;
    SharedTextAccess Write(std::string_view text);
    // Read-modify-write under one lock: `edit` gets the current text and
    // returns the replacement, or nothing to leave the text as it is.
    SharedTextAccess Update(
        const std::function<std::optional<std::string>(std::string_view current)>& edit);

    // Unmaps the view and closes the mapping; the mutex stays open.
    void CloseMapping() noexcept;
    // Unmaps, closes the mapping and the mutex.
    void Close() noexcept;

private:
    SharedTextBlock(size_t size, DWORD waitMs);
    // Records the step that failed and its error (the system's last error when
    // none is given); keeps what was obtained.
    SharedTextBlock Failed(SharedTextStep step, DWORD error = 0);
    // Maps the whole block, retrying as the options say.
    bool MapView(int attempts, DWORD retryDelayMs);

    UniqueHandle m_mapping;
    UniqueView m_view;
    UniqueHandle m_mutex;
    size_t m_size = 0;
    DWORD m_waitMs = kSharedTextWaitMs;
    SharedTextStep m_failedStep = SharedTextStep::None;
    DWORD m_lastError = 0;
    bool m_mappingExisted = false;
};

// Length of the text in a block of `size` bytes that another process may have
// left without a terminator: up to the first NUL, at most size - 1.
size_t BoundedTextLength(const char* block, size_t size) noexcept;

}  // namespace platform
