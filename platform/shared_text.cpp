#include "platform/shared_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace platform {
namespace {

// Runs `attempt` up to `attempts` times (at least once), pausing between tries.
template <typename Attempt>
bool Retry(int attempts, DWORD delayMs, Attempt&& attempt) {
    const int tries = std::max(attempts, 1);
    for (int i = 0; i < tries; ++i) {
        if (i > 0)
            ::Sleep(delayMs);
        if (attempt())
            return true;
    }
    return false;
}

void* MapWholeView(HANDLE mapping, size_t size) {
    return ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
}

size_t CopyOut(const char* view, size_t size, char* buffer, size_t capacity) noexcept {
    if (buffer == nullptr || capacity == 0)
        return 0;
    size_t n = view ? BoundedTextLength(view, size) : 0;
    n = std::min(n, capacity - 1);
    if (n > 0)
        std::memcpy(buffer, view, n);
    buffer[n] = '\0';
    return n;
}

}  // namespace

size_t BoundedTextLength(const char* block, size_t size) noexcept {
    if (block == nullptr || size == 0)
        return 0;
    const void* nul = std::memchr(block, '\0', size - 1);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - block) : size - 1;
}

// ---------------------------------------------------------------- lock

SharedTextLock::SharedTextLock(HANDLE mutex, char* view, size_t size, bool abandoned) noexcept
    : m_mutex(mutex),
      m_view(view),
      m_size(size),
      m_abandoned(abandoned),
      m_result(SharedTextAccess::Ok) {}

SharedTextLock::SharedTextLock(SharedTextLock&& other) noexcept
    : m_mutex(std::exchange(other.m_mutex, nullptr)),
      m_view(std::exchange(other.m_view, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_abandoned(other.m_abandoned),
      m_result(other.m_result) {}

SharedTextLock& SharedTextLock::operator=(SharedTextLock&& other) noexcept {
    if (this != &other) {
        Unlock();
        m_mutex = std::exchange(other.m_mutex, nullptr);
        m_view = std::exchange(other.m_view, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_abandoned = other.m_abandoned;
        m_result = other.m_result;
    }
    return *this;
}

void SharedTextLock::Unlock() noexcept {
    if (HANDLE mutex = std::exchange(m_mutex, nullptr))
        ::ReleaseMutex(mutex);
    m_view = nullptr;
    m_size = 0;
}

std::string SharedTextLock::Read() const {
    if (!m_mutex || !m_view)
        return {};
    return std::string(m_view, BoundedTextLength(m_view, m_size));
}

size_t SharedTextLock::ReadInto(char* buffer, size_t capacity) const {
    return CopyOut(m_mutex ? m_view : nullptr, m_size, buffer, capacity);
}

bool SharedTextLock::Write(std::string_view text) {
    if (!m_mutex || !m_view || m_size == 0)
        return false;
    const size_t n = std::min(text.size(), m_size - 1);
    if (n > 0)
        std::memmove(m_view, text.data(), n);
    m_view[n] = '\0';
    return true;
}

// ---------------------------------------------------------------- block

SharedTextBlock::SharedTextBlock(size_t size, DWORD waitMs) : m_size(size), m_waitMs(waitMs) {}

SharedTextBlock SharedTextBlock::Failed(SharedTextStep step, DWORD error) {
    m_failedStep = step;
    m_lastError = error != 0 ? error : ::GetLastError();
    return std::move(*this);
}

bool SharedTextBlock::MapView(int attempts, DWORD retryDelayMs) {
    return Retry(attempts, retryDelayMs, [&] {
        m_view.Reset(MapWholeView(m_mapping.Get(), m_size));
        return m_view.Valid();
    });
}

SharedTextBlock SharedTextBlock::Create(const wchar_t* mappingName, const wchar_t* mutexName,
                                        size_t size, const SharedTextCreateOptions& options) {
    SharedTextBlock block(size, options.waitMs);
    if (size == 0)
        return block.Failed(SharedTextStep::Mapping, ERROR_INVALID_PARAMETER);

    const auto bytes = static_cast<unsigned long long>(size);
    block.m_mapping.Reset(::CreateFileMappingW(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
        static_cast<DWORD>(bytes & 0xFFFFFFFFull), mappingName));
    if (!block.m_mapping)
        return block.Failed(SharedTextStep::Mapping);
    block.m_mappingExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;

    if (!block.MapView(options.viewAttempts, options.retryDelayMs))
        return block.Failed(SharedTextStep::View);

    const bool owned = options.ownership == MutexOwnership::InitiallyOwned;
    block.m_mutex.Reset(::CreateMutexW(nullptr, owned ? TRUE : FALSE, mutexName));
    if (!block.m_mutex)
        return block.Failed(SharedTextStep::Mutex);
    const bool mutexExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;

    if (owned && !mutexExisted) {
        // Nobody else can have the mutex yet: write the first text, then let others in.
        SharedTextLock lock(block.m_mutex.Get(), static_cast<char*>(block.m_view.Get()), size,
                            false);
        if (options.initialText)
            lock.Write(*options.initialText);
    } else if (options.initialText) {
        // Initial ownership is ignored for a mutex that a reader kept alive:
        // take it like any other access so the first text is not torn.
        block.Write(*options.initialText);
    }
    return block;
}

SharedTextBlock SharedTextBlock::Open(const wchar_t* mappingName, const wchar_t* mutexName,
                                      size_t size, const SharedTextOpenOptions& options) {
    SharedTextBlock block(size, options.waitMs);
    if (size == 0)
        return block.Failed(SharedTextStep::Mapping, ERROR_INVALID_PARAMETER);

    const bool opened = Retry(options.mappingAttempts, options.retryDelayMs, [&] {
        block.m_mapping.Reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, mappingName));
        return block.m_mapping.Valid();
    });
    if (!opened)
        return block.Failed(SharedTextStep::Mapping);

    if (!block.MapView(options.viewAttempts, options.retryDelayMs))
        return block.Failed(SharedTextStep::View);

    const bool mutexOpened = Retry(options.mutexAttempts, options.retryDelayMs, [&] {
        block.m_mutex.Reset(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, mutexName));
        return block.m_mutex.Valid();
    });
    if (!mutexOpened && options.mutexRequired)
        return block.Failed(SharedTextStep::Mutex);
    return block;
}

SharedTextLock SharedTextBlock::Lock(DWORD waitMs) const {
    if (!m_mutex)
        return SharedTextLock(SharedTextAccess::NoMutex);
    switch (::WaitForSingleObject(m_mutex.Get(), waitMs)) {
        case WAIT_OBJECT_0:
            return SharedTextLock(m_mutex.Get(), static_cast<char*>(m_view.Get()), m_size, false);
        case WAIT_ABANDONED:
            // The owner ended without releasing; its text is still in the block.
            return SharedTextLock(m_mutex.Get(), static_cast<char*>(m_view.Get()), m_size, true);
        case WAIT_TIMEOUT:
            return SharedTextLock(SharedTextAccess::TimedOut);
        default:
            return SharedTextLock(SharedTextAccess::WaitFailed);
    }
}

SharedTextAccess SharedTextBlock::Read(std::string& text) const {
    if (!m_view)
        return SharedTextAccess::NoView;
    SharedTextLock lock = Lock();
    if (lock)
        text = lock.Read();
    return lock.Result();
}

SharedTextAccess SharedTextBlock::ReadInto(char* buffer, size_t capacity, size_t* length) const {
    if (!m_view)
        return SharedTextAccess::NoView;
    SharedTextLock lock = Lock();
    if (lock) {
        const size_t n = lock.ReadInto(buffer, capacity);
        if (length)
            *length = n;
    }
    return lock.Result();
}

SharedTextAccess SharedTextBlock::Write(std::string_view text) {
    if (!m_view)
        return SharedTextAccess::NoView;
    SharedTextLock lock = Lock();
    if (lock)
        lock.Write(text);
    return lock.Result();
}

SharedTextAccess SharedTextBlock::Update(
    const std::function<std::optional<std::string>(std::string_view current)>& edit) {
    if (!m_view)
        return SharedTextAccess::NoView;
    SharedTextLock lock = Lock();
    if (lock) {
        const std::string current = lock.Read();
        if (std::optional<std::string> replacement = edit(current))
            lock.Write(*replacement);
    }
    return lock.Result();
}

void SharedTextBlock::CloseMapping() noexcept {
    m_view.Reset();
    m_mapping.Reset();
}

void SharedTextBlock::Close() noexcept {
    CloseMapping();
    m_mutex.Reset();
}

}  // namespace platform
