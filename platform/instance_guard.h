// Single-instance guard: a named mutex created owned at start-up and held for
// the whole run, so a second start of the same program finds it existing.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace platform {

class InstanceGuard {
public:
    InstanceGuard() = default;
    // Creates the mutex `name` asking for initial ownership.
    explicit InstanceGuard(const wchar_t* name);
    InstanceGuard(InstanceGuard&& other) noexcept;
    InstanceGuard& operator=(InstanceGuard&& other) noexcept;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;
    ~InstanceGuard() { Reset(); }

    // Another holder (normally another copy of the program) had created the
    // mutex before: this copy must not run.
    bool AlreadyExisted() const noexcept { return m_alreadyExisted; }
    // The mutex was created and is owned by this guard: the program may run.
    bool Acquired() const noexcept { return m_owned; }
    bool Valid() const noexcept { return m_mutex.Valid(); }
    // GetLastError() when the mutex could not be created at all.
    DWORD LastError() const noexcept { return m_lastError; }

    // Releases the mutex (only when this guard owns it) and closes it. Must
    // run on the thread that created the guard: mutex ownership is per thread.
    void Reset() noexcept;

private:
    UniqueHandle m_mutex;
    bool m_owned = false;
    bool m_alreadyExisted = false;
    DWORD m_lastError = 0;
};

}  // namespace platform
