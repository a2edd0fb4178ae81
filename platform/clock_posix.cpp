// Host clock for the portable core's tests and tools. Setting the clock is
// never done from the host build.
#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

class PosixClock : public Clock {
public:
    CivilTime UtcNow() override { return FileTimeToCivil(PreciseFileTime() / 10'000 * 10'000); }
    CivilTime LocalNow() override {
        const int64_t shift = -static_cast<int64_t>(TimeZoneBiasMinutes()) * 600'000'000;
        return FileTimeToCivil(
            static_cast<uint64_t>(static_cast<int64_t>(PreciseFileTime()) + shift) / 10'000 *
            10'000);
    }
    int32_t TimeZoneBiasMinutes() override {
        const time_t now = time(nullptr);
        struct tm local {};
        localtime_r(&now, &local);
        return static_cast<int32_t>(-local.tm_gmtoff / 60);
    }
    uint64_t PreciseFileTime() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return kUnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * 10'000'000 +
               static_cast<uint64_t>(ts.tv_nsec) / 100;
    }
    int64_t PerformanceCounter() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }
    int64_t PerformanceFrequency() override { return 1'000'000'000; }
    uint64_t TickMs() override { return static_cast<uint64_t>(PerformanceCounter() / 1'000'000); }
    bool SetUtc(const CivilTime&) override { return false; }
};

}  // namespace

Clock& DefaultClock() {
    static PosixClock clock;
    return clock;
}

}  // namespace platform
