#include "scanner/clearance_check.h"

#include <cstdlib>
#include <cstring>

namespace scanner {
namespace {

// Truncates toward zero, held inside [lo, hi] (so that a huge quotient of a
// tiny step cannot overflow the index arithmetic).
int32_t TruncateClamped(double value, int32_t lo, int32_t hi) {
    if (!(value > lo))  // also NaN
        return lo;
    if (value >= hi)
        return hi;
    return static_cast<int32_t>(value);
}

}  // namespace

bool ClearanceMonitor::Check(const ClearanceSettings& s, const uint32_t* distances, int32_t count) {
    const float width = s.clearanceEnd - s.clearanceStart;
    if (!(width > kMinClearanceWidth) || s.alarmThreshold <= 0 || !(s.scanStep > 0))
        return false;
    // Points of the sector (single precision, as the angles are kept).
    const int32_t n = TruncateClamped(width / s.scanStep, 0, sopas::kMaxScanPoints);
    // Index of the sector's first point (double precision).
    const double firstExact =
        (static_cast<double>(s.rotationAngle) + (90.0 - static_cast<double>(s.clearanceEnd))) /
        static_cast<double>(s.scanStep);
    const int32_t first = TruncateClamped(firstExact, -1000000, 1000000);

    std::memset(m_window, 0, sizeof(int32_t) * static_cast<size_t>(n));
    if (distances != nullptr) {
        for (int32_t i = 0; i < n && first + i < count; ++i) {
            if (first + i >= 0)
                m_window[i] = static_cast<int32_t>(distances[first + i]);
        }
    }

    const int64_t limit = static_cast<int64_t>(s.alarmThreshold) * kThresholdUnit;
    bool alarm = false;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t now = m_window[i];
        const int32_t before = m_previousWindow[i];
        if (now > kMinAlarmDistance && before > kMinAlarmDistance &&
            std::llabs(static_cast<int64_t>(now) - before) > limit) {
            alarm = true;
            break;
        }
    }
    std::memcpy(m_previousWindow, m_window, sizeof(int32_t) * static_cast<size_t>(n));
    m_sectorPoints = n;
    return alarm;
}

void ClearanceMonitor::Reset() {
    std::memset(m_previousWindow, 0, sizeof m_previousWindow);
    m_sectorPoints = 0;
}

}  // namespace scanner
