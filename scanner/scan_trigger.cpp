#include "scanner/scan_trigger.h"

#include <mmsystem.h>
#include <process.h>

#include "platform/thread_name.h"

namespace {

// Waits end within this of their deadline while the trigger runs, ms.
constexpr UINT kTimerResolutionMs = 1;

// Milliseconds of the performance counter (the tick count moves in 15.6 ms steps).
uint64_t NowMs() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    return static_cast<uint64_t>(c.QuadPart / frequency * 1000 +
                                 c.QuadPart % frequency * 1000 / frequency);
}

}  // namespace

bool ScanTrigger::Start(UINT periodMs) {
    if (m_thread)
        return true;
    m_periodMs = periodMs > 0 ? periodMs : 40;
    m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return false;
    m_finePeriod = ::timeBeginPeriod(kTimerResolutionMs) == TIMERR_NOERROR;
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &ScanTrigger::Run, this, 0, nullptr);
    if (thread == 0) {
        if (m_finePeriod)
            ::timeEndPeriod(kTimerResolutionMs);
        m_finePeriod = false;
        return false;
    }
    m_thread.Reset(reinterpret_cast<HANDLE>(thread));
    // Triggers must come on time even while the machine is busy.
    ::SetThreadPriority(m_thread.Get(), THREAD_PRIORITY_ABOVE_NORMAL);
    return true;
}

void ScanTrigger::Stop() {
    if (m_thread) {
        ::SetEvent(m_stop.Get());
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }
    if (m_finePeriod) {
        ::timeEndPeriod(kTimerResolutionMs);
        m_finePeriod = false;
    }
    m_stop.Reset();
}

void ScanTrigger::SetTarget(int slot, HANDLE triggerEvent) {
    if (slot < 0 || slot >= scanner::kScannerSlots)
        return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_targets[slot] = triggerEvent;
}

unsigned __stdcall ScanTrigger::Run(void* self) {
    platform::NameThisThread(L"scan trigger");
    static_cast<ScanTrigger*>(self)->Loop();
    return 0;
}

void ScanTrigger::Loop() {
    uint64_t next = NowMs() + m_periodMs;
    for (;;) {
        const uint64_t now = NowMs();
        const DWORD wait = next > now ? static_cast<DWORD>(next - now) : 0;
        if (::WaitForSingleObject(m_stop.Get(), wait) != WAIT_TIMEOUT)
            return;
        Fire();
        next += m_periodMs;
        // After a stall longer than a period start afresh rather than fire a burst.
        const uint64_t after = NowMs();
        if (after > next + m_periodMs)
            next = after + m_periodMs;
    }
}

void ScanTrigger::Fire() {
    std::lock_guard<std::mutex> guard(m_lock);
    for (HANDLE target : m_targets) {
        if (target != nullptr)
            ::SetEvent(target);
    }
    ++m_ticks;
}
