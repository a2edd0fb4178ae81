#include "sensors/startup_checks.h"

#include "sensors/display_model.h"

bool CheckSupplyVoltage(const LiveValue& voltage, const Pause& pause) {
    for (int i = 0; i < kSupplyLooks; ++i) {
        pause(kLookPeriodMs);
        const float v = voltage();
        if (v > kVoltage1Min && v < kVoltage1Max)
            return true;
    }
    return false;
}

int32_t EstimateWayThreshold(const LiveValue& wayValue, const Pause& pause) {
    float highest = -1000.0f;
    float lowest = 1000.0f;
    for (int i = 0; i < kEstimateRounds; ++i) {
        pause(kLookPeriodMs);
        const float v = wayValue();
        if (v > highest)
            highest = v;
        if (v < lowest)
            lowest = v;
    }
    const int32_t mv = static_cast<int32_t>((highest - lowest) * 800.0f);
    return mv < 1 ? 1 : mv;
}
