// The seam behind every use of system time. Programs use the system clock;
// tests use FakeClock. Nothing in a test ever sets the host's clock.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

// Field layout of the Win32 SYSTEMTIME (day of week 0 = Sunday).
struct CivilTime {
    uint16_t year = 1601, month = 1, dayOfWeek = 1, day = 1;
    uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
    bool operator==(const CivilTime&) const = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual CivilTime UtcNow() = 0;
    virtual CivilTime LocalNow() = 0;
    // Minutes to add to local time to get UTC (the Win32 bias; Moscow is -180).
    virtual int32_t TimeZoneBiasMinutes() = 0;
    // 100-ns intervals since 1601-01-01 UTC, at the best resolution available.
    virtual uint64_t PreciseFileTime() = 0;
    virtual int64_t PerformanceCounter() = 0;
    virtual int64_t PerformanceFrequency() = 0;
    // Monotonic milliseconds, for time-outs.
    virtual uint64_t TickMs() = 0;
    // Sets the system clock to the given UTC time (acquiring the privilege
    // first). Returns false when the system refused.
    virtual bool SetUtc(const CivilTime& utc) = 0;
};

// A clock that only moves when told to; records what would have been set.
class FakeClock : public Clock {
public:
    explicit FakeClock(CivilTime utc = CivilTime{2026, 12, 1, 7, 9, 30, 0, 0},
                       int32_t biasMinutes = -180);

    CivilTime UtcNow() override;
    CivilTime LocalNow() override;
    int32_t TimeZoneBiasMinutes() override;
    uint64_t PreciseFileTime() override;
    int64_t PerformanceCounter() override;
    int64_t PerformanceFrequency() override { return 10'000'000; }
    uint64_t TickMs() override;
    bool SetUtc(const CivilTime& utc) override;

    void Advance(uint64_t milliseconds);
    void SetNow(const CivilTime& utc);
    void SetBias(int32_t biasMinutes);
    void RefuseSet(bool refuse);
    std::vector<CivilTime> SetRequests() const;

private:
    mutable std::mutex m_lock;
    uint64_t m_fileTime;  // 100-ns since 1601
    uint64_t m_tickMs = 1'000'000;
    int32_t m_bias;
    bool m_refuseSet = false;
    std::vector<CivilTime> m_setRequests;
};

// 100-ns intervals since 1601-01-01 for a civil time, and back (proleptic Gregorian).
uint64_t CivilToFileTime(const CivilTime& t);
CivilTime FileTimeToCivil(uint64_t fileTime);

// The process-wide clock: the system clock unless a test installed another.
Clock& CurrentClock();
Clock* SetClock(Clock* clock);

}  // namespace platform
