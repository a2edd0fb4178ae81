// Per-sample conversions of an input's voltage into its physical value, and
// the slope correction by the two laser distances. Values are float32; the
// arithmetic is double unless noted, converted back to float32.
#pragma once

#include <array>

#include "sensors/sensor_types.h"

// The laser scale used while no model supplies one (the configured
// coefficient is 0): the same 1000 mV per metre a configured value of 0 is
// clamped to, so the distances stay finite instead of dividing by zero.
inline constexpr int32_t kDefaultLaserCoefMvPerM = 1000;

// Inclinometer: degrees, or per mille (tan of the angle x 1000).
float ConvertSlope(float voltage, const SensorCalibration& calibration);
// Lasers, supply voltages and unknown purposes: distance in metres. The
// quotient is float32, the sum double.
float ConvertLaser(float voltage, const SensorChannel& channel,
                   const SensorCalibration& calibration);
// The value of an input for its purpose: the plain voltage for the Way
// input and in calibration mode.
float ConvertValue(float voltage, const SensorChannel& channel,
                   const SensorCalibration& calibration);

// The cross-slope difference of the two lasers in per mille; 0 without both
// laser inputs or with a base within 1e-5 mm of zero.
double LaserCompensationTerm(const std::array<ChannelState, kInputCount>& states,
                             const ChannelRoles& roles, const SensorCalibration& calibration);
// Subtracts the compensation from the slope input's value (as an angle when
// the slope is in degrees). Does nothing without a slope input or when
// compensation is off.
void ApplyLaserCompensation(std::array<ChannelState, kInputCount>& states,
                            const ChannelRoles& roles, const SensorCalibration& calibration);
