// Timed decisions of the receiver connection, on an injected clock:
// the reader's silence watch and the port search of a connection attempt.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "gnss/gnss_state.h"
#include "platform/clock.h"

// The receiver counts as lost after this long without received bytes.
constexpr uint32_t kReceiverSilenceMs = 5000;

// Measures silence from the last chunk that carried bytes. Comm events
// without data (a modem-line change, an aborted wait) do not count as life,
// so a port that keeps waking the reader without data still ends it.
class ReceiverWatch {
public:
    explicit ReceiverWatch(uint32_t silenceMs = kReceiverSilenceMs) : m_silenceMs(silenceMs) {}

    void Start(uint64_t tickMs) { m_lastData = tickMs; }
    void NoteData(uint64_t tickMs) { m_lastData = tickMs; }
    // How long the next event wait may last (0 when the silence is over).
    uint32_t WaitMs(uint64_t tickMs) const;
    bool Lost(uint64_t tickMs) const { return WaitMs(tickMs) == 0; }
    uint64_t LastData() const { return m_lastData; }

private:
    uint32_t m_silenceMs;
    uint64_t m_lastData = 0;
};

// Serial speeds tried, in this order (bit/s).
constexpr int32_t kSpeedList[3] = {115200, 57600, 9600};
// Budgets of a connection attempt: on the configured port, then for the scan.
constexpr uint64_t kConfiguredPortBudgetMs = 15000;
constexpr uint64_t kScanBudgetMs = 5000;

// Probes state.port at state.serialSpeed; true when a receiver with a
// position answered (the port then stays open).
using PortProbe = std::function<bool(GnssState&)>;

struct PortSearchResult {
    int32_t port = 0;        // the receiver's port, 0 when none was found
    bool closePort = false;  // the scan ran out of time: close whatever is open
};

// The choice of port and speed of a connection attempt: the configured port
// (when it was enumerated) at its speed, then at every speed, each stage
// within its budget; then every enumerated port from the highest down at
// every speed within the scan budget. Leaves state.port/serialSpeed at the
// last pair tried.
PortSearchResult SearchReceiver(GnssState& state, const std::vector<int32_t>& portList,
                                const PortProbe& probe, platform::Clock& clock);
