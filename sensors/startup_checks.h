// The two checks the service runs once at start while the acquisition is
// already sampling: the supply voltage, and the estimate of the odometer
// threshold from the signal's swing. Both look at the live values every
// 100 ms through callbacks, so tests drive them without waiting.
#pragma once

#include <cstdint>
#include <functional>

// Reads one live value (V); waits the given milliseconds between looks.
using LiveValue = std::function<float()>;
using Pause = std::function<void(int milliseconds)>;

inline constexpr int kSupplyLooks = 20;
inline constexpr int kEstimateRounds = 100;
inline constexpr int kLookPeriodMs = 100;

// Up to 20 looks, 100 ms apart, until the Voltage1 input lies strictly
// between 6 and 25 V. False when it never did.
bool CheckSupplyVoltage(const LiveValue& voltage, const Pause& pause);

// 100 rounds of 100 ms: 80 % of the Way input's swing, in mV, at least 1.
int32_t EstimateWayThreshold(const LiveValue& wayValue, const Pause& pause);
