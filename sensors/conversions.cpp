#include "sensors/conversions.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Laser bases closer to zero than this give no compensation, mm.
constexpr double kMinLaserBaseMm = 1e-5;

}  // namespace

float ConvertSlope(float voltage, const SensorCalibration& calibration) {
    const double degrees = (static_cast<double>(voltage) - calibration.zeroSlopeMv * 0.001) *
                           1000.0 / calibration.slopeScaleMvPerDeg;
    if (calibration.slopeInDegrees)
        return static_cast<float>(degrees);
    return static_cast<float>(std::tan(degrees * kPi / 180.0) * 1000.0);
}

float ConvertLaser(float voltage, const SensorChannel& channel,
                   const SensorCalibration& calibration) {
    const int32_t coefficient =
        calibration.laserCoefMvPerM != 0 ? calibration.laserCoefMvPerM : kDefaultLaserCoefMvPerM;
    const float quotient = (voltage * 1000.0f - static_cast<float>(channel.minDistanceVoltageMv)) /
                           static_cast<float>(coefficient);
    return static_cast<float>(static_cast<double>(quotient) + channel.minDistanceMm / 1000.0);
}

float ConvertValue(float voltage, const SensorChannel& channel,
                   const SensorCalibration& calibration) {
    if (channel.purpose == PurposeValue(ChannelPurpose::Way) || calibration.calibrationMode)
        return voltage;
    if (channel.purpose == PurposeValue(ChannelPurpose::Slope))
        return ConvertSlope(voltage, calibration);
    return ConvertLaser(voltage, channel, calibration);
}

double LaserCompensationTerm(const std::array<ChannelState, kInputCount>& states,
                             const ChannelRoles& roles, const SensorCalibration& calibration) {
    if (!IsInput(roles.leftLaser) || !IsInput(roles.rightLaser) ||
        std::fabs(static_cast<double>(calibration.laserBaseMm)) <= kMinLaserBaseMm)
        return 0.0;
    const double right = states[static_cast<size_t>(roles.rightLaser)].value;
    const double left = states[static_cast<size_t>(roles.leftLaser)].value;
    return ((right - left) - calibration.rightLaserExcessMm * 0.001) * 1000000.0 /
           calibration.laserBaseMm;
}

void ApplyLaserCompensation(std::array<ChannelState, kInputCount>& states,
                            const ChannelRoles& roles, const SensorCalibration& calibration) {
    if (!calibration.laserCompensation || !IsInput(roles.slope))
        return;
    const double term = LaserCompensationTerm(states, roles, calibration);
    ChannelState& slope = states[static_cast<size_t>(roles.slope)];
    if (calibration.slopeInDegrees)
        slope.value = static_cast<float>(slope.value - std::atan(term / 1000.0) * 180.0 / kPi);
    else
        slope.value = static_cast<float>(slope.value - term);
}
