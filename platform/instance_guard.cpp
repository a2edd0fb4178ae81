#include "platform/instance_guard.h"

#include <utility>

namespace platform {

InstanceGuard::InstanceGuard(const wchar_t* name) {
    m_mutex.Reset(::CreateMutexW(nullptr, TRUE, name));
    if (!m_mutex) {
        m_lastError = ::GetLastError();
        return;
    }
    // An existing mutex ignores the ownership request: this handle owns nothing.
    m_alreadyExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
    m_owned = !m_alreadyExisted;
}

InstanceGuard::InstanceGuard(InstanceGuard&& other) noexcept
    : m_mutex(std::move(other.m_mutex)),
      m_owned(std::exchange(other.m_owned, false)),
      m_alreadyExisted(std::exchange(other.m_alreadyExisted, false)),
      m_lastError(std::exchange(other.m_lastError, 0)) {}

InstanceGuard& InstanceGuard::operator=(InstanceGuard&& other) noexcept {
    if (this != &other) {
        Reset();
        m_mutex = std::move(other.m_mutex);
        m_owned = std::exchange(other.m_owned, false);
        m_alreadyExisted = std::exchange(other.m_alreadyExisted, false);
        m_lastError = std::exchange(other.m_lastError, 0);
    }
    return *this;
}

void InstanceGuard::Reset() noexcept {
    // Releasing through a handle that never owned the mutex would release the
    // first guard's ownership when both live on one thread.
    if (m_owned && m_mutex)
        ::ReleaseMutex(m_mutex.Get());
    m_owned = false;
    m_mutex.Reset();
}

}  // namespace platform
