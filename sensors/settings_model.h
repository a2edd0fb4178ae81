// The settings dialog "Настройки АЦП" as pure logic: its values, the
// purpose swapping that keeps the inputs' purposes distinct, the texts of
// its toggles, and how a confirmed dialog changes the configuration.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "sensors/sensor_config.h"

struct SensSettingsValues {
    std::array<int32_t, kInputCount> sensitivities{};  // mV
    std::array<int32_t, kInputCount> purposes{};
    std::array<int32_t, kInputCount> enabled{};
    int32_t calibration = 0;  // always starts off
    int32_t slopeInDegrees = 0;
};

// The values the dialog opens with.
SensSettingsValues InitialSettingsValues(const SensorConfig& config);

// Input `input` takes `purpose`; an input that had it takes `input`'s
// previous purpose. Returns that other input, or -1 when none had it.
int SelectPurpose(SensSettingsValues& values, int input, int32_t purpose);

// The leading decimal integer of an edit's text, as the C library reads it
// ("12.7" gives 12, "abc" gives 0).
int32_t LeadingInteger(std::u16string_view text);

// Texts of the toggles' labels (UTF-8).
const char* CalibrationLabel(bool on);     // "Тарировка" / "Обычный"
const char* SlopeUnitLabel(bool degrees);  // "Градусы" / "Промилле"
const char* FilesLabel(bool on);           // "Записывать" / "Не записывать"
const char* EstimateLabel(bool on);        // "Включена" / "Отключена"
const char* CompensationLabel(bool on);    // "Включён" / "Отключен"
const char* RecoveryLabel(bool on);        // "Включено" / "Отключено"

// Applies a confirmed dialog: calibration mode, enabled inputs,
// sensitivities and thresholds, purposes with their roles and labels, slope
// unit. The options toggled at once are already in `config`.
void ApplySettings(const SensSettingsValues& values, SensorConfig& config);
