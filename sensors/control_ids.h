// The per-input control identifiers of both windows as tables.
#pragma once

#include <array>

#include "sensors/resource.h"
#include "sensors/sensor_types.h"

namespace control_ids {

inline constexpr int Indicator(int input) {
    return IDC_INDICATOR_0 + input;
}
inline constexpr int Counter(int input) {
    return IDC_COUNTER_0 + input;
}
inline constexpr int Voltage(int input) {
    return IDC_VOLTAGE_0 + input;
}
inline constexpr int Value(int input) {
    return IDC_VALUE_0 + input;
}

inline constexpr std::array<int, kInputCount> kSensitivity = {IDC_SENSITIVITY_0, IDC_SENSITIVITY_1,
                                                              IDC_SENSITIVITY_2, IDC_SENSITIVITY_3};
inline constexpr std::array<int, kInputCount> kEnabled = {IDC_ENABLED_0, IDC_ENABLED_1,
                                                          IDC_ENABLED_2, IDC_ENABLED_3};
inline constexpr std::array<int, kInputCount> kPurpose = {IDC_PURPOSE_0, IDC_PURPOSE_1,
                                                          IDC_PURPOSE_2, IDC_PURPOSE_3};
inline constexpr int SensorType(int input) {
    return IDC_SENSOR_TYPE_0 + input;
}

}  // namespace control_ids
