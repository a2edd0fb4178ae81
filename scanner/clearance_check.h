// The clearance alarm: the sector of a scan between the two clearance angles
// (the overhead clearance of the road) is compared with the same sector of
// the previous scan; a sudden change at any point raises the alarm.
#pragma once

#include <cstdint>

#include "scanner/sopas_protocol.h"

namespace scanner {

struct ClearanceSettings {
    float rotationAngle = 0;      // scanner start angle, degrees
    float clearanceStart = 0;     // sector start, degrees
    float clearanceEnd = 0;       // sector end, degrees
    float scanStep = 0.25f;       // degrees between points
    int32_t alarmThreshold = 15;  // in units of 10 distance units (mm)
};

// Narrower sectors are not watched, degrees.
inline constexpr float kMinClearanceWidth = 0.1f;
// A point counts only where both scans see something farther than this.
inline constexpr int32_t kMinAlarmDistance = 1;
// The threshold is given in units of this many distance units.
inline constexpr int32_t kThresholdUnit = 10;

// One per scanner: remembers the previous scan's sector.
class ClearanceMonitor {
public:
    // Checks one scan (its `count` distances) and remembers its sector.
    // Returns true when, at some point of the sector, both this and the
    // previous scan exceed kMinAlarmDistance and differ by more than
    // alarmThreshold x kThresholdUnit. A sector of kMinClearanceWidth or
    // less, a threshold of 0 or less, or a step of 0 or less checks nothing
    // and leaves the remembered sector as it was.
    bool Check(const ClearanceSettings& settings, const uint32_t* distances, int32_t count);

    // Forgets the previous sector (it reads as all zero: no alarm on the next scan).
    void Reset();

    // The sector of the last checked scan (points of it), for tests.
    int32_t SectorPoints() const { return m_sectorPoints; }
    const int32_t* PreviousWindow() const { return m_previousWindow; }

private:
    int32_t m_previousWindow[sopas::kMaxScanPoints] = {};
    int32_t m_window[sopas::kMaxScanPoints] = {};
    int32_t m_sectorPoints = 0;
};

}  // namespace scanner
