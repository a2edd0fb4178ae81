// Motion values from consecutive GGA fixes: step distance, deltas, speed,
// acceleration figure and the two path totals.
#pragma once

#include <cstdint>

#include "gnss/gnss_state.h"

// Distance in metres between two positions (degrees) on the survey
// ellipsoid (semi-major axis 6378137 m). Identical positions give 0; a
// result that is not a number is returned as 0.
double EllipsoidStep(double longitude, double latitude, double prevLongitude, double prevLatitude);

// Processes the fix in state.latitude/longitude/fixTime. Returns satellites.
int32_t UpdateMotion(GnssState& state);

// hhmmss.ss split into hours, minutes and seconds with fraction.
struct FixTimeParts {
    int32_t hour = 0, minute = 0;
    double second = 0;
};
FixTimeParts SplitFixTime(double hhmmss);
