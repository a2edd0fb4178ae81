#include "gnss/receiver_watch.h"

uint32_t ReceiverWatch::WaitMs(uint64_t tickMs) const {
    const uint64_t deadline = m_lastData + m_silenceMs;
    if (tickMs >= deadline)
        return 0;
    return static_cast<uint32_t>(deadline - tickMs);
}

namespace {

bool Listed(const std::vector<int32_t>& ports, int32_t port) {
    for (auto it = ports.rbegin(); it != ports.rend(); ++it) {
        if (*it == port)
            return true;
    }
    return false;
}

}  // namespace

PortSearchResult SearchReceiver(GnssState& s, const std::vector<int32_t>& portList,
                                const PortProbe& probe, platform::Clock& clock) {
    PortSearchResult result;
    if (s.port > 0 && Listed(portList, s.port)) {
        // The configured port, first at its configured speed.
        const uint64_t t0 = clock.TickMs();
        if (probe(s)) {
            result.port = s.port;
            return result;
        }
        if (clock.TickMs() - t0 > kConfiguredPortBudgetMs)
            return result;
        const uint64_t t1 = clock.TickMs();
        for (int32_t speed : kSpeedList) {
            if (clock.TickMs() - t1 > kConfiguredPortBudgetMs)
                return result;
            s.serialSpeed = speed;
            if (probe(s)) {
                result.port = s.port;
                return result;
            }
        }
    }
    // Every enumerated port, highest first, at every speed.
    const uint64_t t2 = clock.TickMs();
    for (auto it = portList.rbegin(); it != portList.rend(); ++it) {
        for (int32_t speed : kSpeedList) {
            s.port = *it;
            s.serialSpeed = speed;
            if (clock.TickMs() - t2 > kScanBudgetMs) {
                result.closePort = true;
                return result;
            }
            if (probe(s)) {
                result.port = s.port;
                return result;
            }
        }
    }
    return result;
}
