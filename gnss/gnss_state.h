// The receiver state of the GNSS service: written by the reader thread (one
// read cycle at a time), read by the window's timers. Portable: the Win32
// pieces of a connection (port handle, overlapped, events, cycle lock) live
// beside it in the dialog, not here.
#pragma once

#include <cstdint>
#include <mutex>

// Clock-check states (`SyncState`).
constexpr int32_t kSyncIdle = 1;        // no check pending (initial value)
constexpr int32_t kSyncRequested = -1;  // a client asked for a check; fixes are not logged
constexpr int32_t kSyncChanged = 0;     // the clock was set; checking goes on

struct GnssState {
    // Connection.
    int32_t valid = 0;        // 1 while a receiver is connected; first field of the record
    int32_t port = 0;         // COM port number; 0 until the first connection attempt
    int32_t serialSpeed = 0;  // bit/s

    // Last GGA fix. Until the first position these hold the configured values.
    double latitude = 0;   // degrees, hemisphere letters are never read
    double longitude = 0;  // degrees
    double fixTime = 0;    // UTC time of day as the number hhmmss.ss
    double prevFixTime = 0;
    int32_t satellites = 0;                          // GGA field 7
    int32_t usedSatellites = 0;                      // non-empty slots of the last GSA
    uint16_t rmcDay = 0, rmcMonth = 0, rmcYear = 0;  // last RMC date; 0 until one arrives

    // Motion (metres, degrees, m/s).
    double stepDistance = 0;
    double prevStepDistance = 0;
    double deltaLat = 0, deltaLon = 0;
    double speed = 0;
    float acceleration = 0;  // m/s^2 figure: change of step distance per elapsed second
    double prevLatitude = 0, prevLongitude = 0;  // prevLongitude 0 means "no fix yet"
    double tripDistance = 0;                     // since the last reset
    double totalDistance = 0;                    // since the first fix
    int32_t ggaCount = 0;                        // GGA lines seen, saturating at kGgaCountLimit
    int32_t freshFix = 0;  // 2 after every accepted fix; the display clears it

    // Clock check.
    int32_t SyncState = kSyncIdle;
    int32_t checkCounter = 0;
    int32_t clockOffset = 0;  // s, GNSS time of day minus system UTC; 1000 when dates differ
    uint16_t gnssHour = 0, gnssMinute = 0;
    float gnssSecond = 0;
    char dateStamp[7] = "000000";  // UTC yymmdd appended to every logged fix
    // Installation option: a GGA with talker GN counts as one with talker GP.
    bool gnTalkerGga = false;
    // Installation option: after the receiver is lost, its port is reopened
    // in the background until sentences arrive again.
    bool recoverReceiver = false;
    double acceptedFixTime = -1;  // time of the last fix that went to motion; -1 before one
};

constexpr int32_t kGgaCountLimit = 7;
// Distances accumulate only once more GGA lines than this have been seen.
constexpr int32_t kGgaCountBeforePath = 6;

// The state and the lock that orders the reader thread's cycle against the
// timers' reads and resets, so no reset of the trip is lost to a concurrent
// accumulation and no field is read half-written.
class GnssStateBox {
public:
    template <class F>
    auto With(F&& f) {
        std::lock_guard<std::mutex> g(m_lock);
        return f(m_state);
    }
    GnssState Snapshot() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_state;
    }

private:
    mutable std::mutex m_lock;
    GnssState m_state;
};
