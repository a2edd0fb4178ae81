#include "platform/clock.h"

#include <atomic>

namespace platform {

Clock& DefaultClock();  // clock_win.cpp or clock_posix.cpp

namespace {

std::atomic<Clock*> g_clock{nullptr};

constexpr uint64_t kTicksPerMs = 10'000;
constexpr uint64_t kTicksPerDay = 86'400ull * 1000 * kTicksPerMs;

// Days from 1601-01-01 to the given date (Howard Hinnant's days_from_civil, shifted).
int64_t DaysFrom1601(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysFrom1970 = era * 146097 + static_cast<int64_t>(doe) - 719468;
    return daysFrom1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

}  // namespace

uint64_t CivilToFileTime(const CivilTime& t) {
    const int64_t days = DaysFrom1601(t.year, t.month, t.day);
    const uint64_t ms =
        ((static_cast<uint64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.milliseconds;
    return static_cast<uint64_t>(days) * kTicksPerDay + ms * kTicksPerMs;
}

CivilTime FileTimeToCivil(uint64_t ft) {
    const int64_t days1601 = static_cast<int64_t>(ft / kTicksPerDay);
    uint64_t msOfDay = (ft % kTicksPerDay) / kTicksPerMs;
    const int64_t z = days1601 - 134774 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    CivilTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(m);
    t.day = static_cast<uint16_t>(d);
    t.dayOfWeek = static_cast<uint16_t>((days1601 + 1) % 7);  // 1601-01-01 was a Monday
    t.milliseconds = static_cast<uint16_t>(msOfDay % 1000);
    msOfDay /= 1000;
    t.second = static_cast<uint16_t>(msOfDay % 60);
    msOfDay /= 60;
    t.minute = static_cast<uint16_t>(msOfDay % 60);
    t.hour = static_cast<uint16_t>(msOfDay / 60);
    return t;
}

FakeClock::FakeClock(CivilTime utc, int32_t biasMinutes)
    : m_fileTime(CivilToFileTime(utc)), m_bias(biasMinutes) {}

CivilTime FakeClock::UtcNow() {
    std::lock_guard<std::mutex> g(m_lock);
    return FileTimeToCivil(m_fileTime);
}

CivilTime FakeClock::LocalNow() {
    std::lock_guard<std::mutex> g(m_lock);
    const int64_t shift = -static_cast<int64_t>(m_bias) * 60 * 1000 * 10'000;
    return FileTimeToCivil(static_cast<uint64_t>(static_cast<int64_t>(m_fileTime) + shift));
}

int32_t FakeClock::TimeZoneBiasMinutes() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_bias;
}

uint64_t FakeClock::PreciseFileTime() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_fileTime;
}

int64_t FakeClock::PerformanceCounter() {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<int64_t>(m_tickMs * 10'000);
}

uint64_t FakeClock::TickMs() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_tickMs;
}

bool FakeClock::SetUtc(const CivilTime& utc) {
    std::lock_guard<std::mutex> g(m_lock);
    m_setRequests.push_back(utc);
    if (m_refuseSet)
        return false;
    m_fileTime = CivilToFileTime(utc);
    return true;
}

void FakeClock::Advance(uint64_t ms) {
    std::lock_guard<std::mutex> g(m_lock);
    m_fileTime += ms * kTicksPerMs;
    m_tickMs += ms;
}

void FakeClock::SetNow(const CivilTime& utc) {
    std::lock_guard<std::mutex> g(m_lock);
    m_fileTime = CivilToFileTime(utc);
}

void FakeClock::SetBias(int32_t bias) {
    std::lock_guard<std::mutex> g(m_lock);
    m_bias = bias;
}

void FakeClock::RefuseSet(bool refuse) {
    std::lock_guard<std::mutex> g(m_lock);
    m_refuseSet = refuse;
}

std::vector<CivilTime> FakeClock::SetRequests() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_setRequests;
}

Clock& CurrentClock() {
    Clock* c = g_clock.load();
    return c ? *c : DefaultClock();
}

Clock* SetClock(Clock* clock) {
    return g_clock.exchange(clock);
}

}  // namespace platform
