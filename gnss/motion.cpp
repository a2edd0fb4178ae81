#include "gnss/motion.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegToRad = 0.017453292519943295;
// Squared eccentricity of the survey ellipsoid as used by the suite's
// distance formula (kept as is: existing logs and path totals rely on it).
constexpr double kE2 = 0.006739496742337;
constexpr double kSemiMajorAxis = 6378137.0;              // m
constexpr double kMeridianNumerator = 6335151.566466321;  // a (1 - e2), m

constexpr double kSamePosition = 1e-9;  // degrees
constexpr double kMinLongitude = 0.1;   // degrees; below this no fix has been seen
constexpr double kMinElapsed = 0.001;   // s (also hhmmss.ss units for the ordering test)

// asin of a value that rounding may have pushed just past +-1.
double ClampedAsin(double x) {
    return std::asin(std::clamp(x, -1.0, 1.0));
}

}  // namespace

double EllipsoidStep(double longitude, double latitude, double prevLongitude, double prevLatitude) {
    const double phiM = (prevLatitude + latitude) / 2.0;
    const double sinPhiM = std::sin(phiM * kDegToRad);
    const double w2 = 1.0 - kE2 * sinPhiM * sinPhiM;
    const double w = std::sqrt(w2);
    const double w3 = std::pow(w2, 1.5);
    const double m = kMeridianNumerator / w3;
    const double n = kSemiMajorAxis / w;
    const double dPhi = (latitude - prevLatitude) * kDegToRad;
    const double dLambda = (longitude - prevLongitude) * kDegToRad;

    const double sinHalfLambda = std::sin(dLambda / 2.0);
    const double sinHalfPhi = std::sin(dPhi / 2.0);
    const double haversine = std::cos(latitude * kDegToRad) * std::cos(prevLatitude * kDegToRad) *
                                 sinHalfLambda * sinHalfLambda +
                             sinHalfPhi * sinHalfPhi;
    const double sigma = 2.0 * ClampedAsin(std::sqrt(haversine));
    const double sinSigma = std::sin(sigma);
    if (!(sinSigma > 0.0))
        return 0.0;  // identical (or antipodal) positions, or a NaN input
    // The azimuth of the step. For a pure east-west step the ratio is 1 in
    // exact arithmetic and lands just above it about once in twenty-five
    // steps; unclamped, asin would make the whole step NaN and thus 0.
    const double alpha =
        ClampedAsin(std::sin(dLambda) * std::cos(prevLatitude * kDegToRad) / sinSigma);
    const double cosA = std::cos(alpha), sinA = std::sin(alpha);
    const double r = n * m / (n * cosA * cosA + m * sinA * sinA);
    const double step = r * sigma;
    return std::isfinite(step) ? step : 0.0;
}

FixTimeParts SplitFixTime(double t) {
    FixTimeParts p;
    if (!(t >= 0.0 && t < 1e7))
        return p;  // not a time of day
    const double h = std::trunc(t / 10000.0);
    const double m = std::trunc((t - 10000.0 * h) / 100.0);
    p.hour = static_cast<int32_t>(h);
    p.minute = static_cast<int32_t>(m);
    p.second = t - 10000.0 * h - 100.0 * m;
    return p;
}

int32_t UpdateMotion(GnssState& s) {
    double elapsed = 0.0;
    if (std::fabs(s.prevLongitude) < kMinLongitude) {
        // First fix: it becomes the reference; both totals start here.
        s.prevLatitude = s.latitude;
        s.prevFixTime = s.fixTime;
        s.prevLongitude = s.longitude;
        s.tripDistance = 0;
        s.totalDistance = 0;
    } else {
        if (std::fabs(s.longitude) > kMinLongitude) {
            if (std::fabs(s.latitude - s.prevLatitude) < kSamePosition &&
                std::fabs(s.longitude - s.prevLongitude) < kSamePosition) {
                s.stepDistance = 0;
            } else {
                s.stepDistance =
                    EllipsoidStep(s.longitude, s.latitude, s.prevLongitude, s.prevLatitude);
            }
            s.deltaLat = s.latitude - s.prevLatitude;
            s.deltaLon = s.longitude - s.prevLongitude;
            s.prevLatitude = s.latitude;
            s.prevLongitude = s.longitude;
        } else {
            s.stepDistance = 0;
            s.deltaLat = 0;
            s.deltaLon = 0;
        }
        // A repeated time, or the step over UTC midnight (negative), gives no speed.
        if (s.fixTime - s.prevFixTime < kMinElapsed) {
            s.speed = 0;
        } else {
            const FixTimeParts now = SplitFixTime(s.fixTime);
            const FixTimeParts prev = SplitFixTime(s.prevFixTime);
            elapsed = (now.hour - prev.hour) * 3600.0 + (now.minute - prev.minute) * 60.0 +
                      (now.second - prev.second);
            s.speed = elapsed > 0.0 ? s.stepDistance / elapsed : 0.0;
        }
    }
    if (!std::isfinite(s.stepDistance))
        s.stepDistance = 0;
    if (s.ggaCount > kGgaCountBeforePath) {
        s.tripDistance += s.stepDistance;
        s.totalDistance += s.stepDistance;
    }
    s.acceleration = elapsed < kMinElapsed
                         ? 0.0f
                         : static_cast<float>((s.stepDistance - s.prevStepDistance) / elapsed);
    s.prevStepDistance = s.stepDistance;
    s.prevFixTime = s.fixTime;
    s.freshFix = 2;
    return s.satellites;
}
