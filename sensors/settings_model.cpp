#include "sensors/settings_model.h"

#include "sensors/sensor_texts.h"

SensSettingsValues InitialSettingsValues(const SensorConfig& config) {
    SensSettingsValues values;
    for (size_t i = 0; i < kInputCount; ++i) {
        const SensorChannel& channel = config.setup.channels[i];
        values.sensitivities[i] = channel.sensitivityMv;
        values.purposes[i] = channel.purpose;
        values.enabled[i] = channel.enabled ? 1 : 0;
    }
    values.calibration = 0;
    values.slopeInDegrees = config.setup.calibration.slopeInDegrees ? 1 : 0;
    return values;
}

int SelectPurpose(SensSettingsValues& values, int input, int32_t purpose) {
    if (input < 0 || input >= kInputCount)
        return -1;
    const int32_t previous = values.purposes[static_cast<size_t>(input)];
    int other = -1;
    for (int j = 0; j < kInputCount; ++j) {
        if (j != input && values.purposes[static_cast<size_t>(j)] == purpose) {
            values.purposes[static_cast<size_t>(j)] = previous;
            other = j;
            break;
        }
    }
    values.purposes[static_cast<size_t>(input)] = purpose;
    return other;
}

int32_t LeadingInteger(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' ||
                               text[i] == u'\r' || text[i] == u'\v' || text[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    int64_t value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i++] - u'0');
        if (value > INT32_MAX)
            value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

const char* CalibrationLabel(bool on) {
    return on ? sensor_text::kCalibrationOn : sensor_text::kCalibrationOff;
}
const char* SlopeUnitLabel(bool degrees) {
    return degrees ? sensor_text::kSlopeDegrees : sensor_text::kSlopePerMille;
}
const char* FilesLabel(bool on) {
    return on ? sensor_text::kFilesOn : sensor_text::kFilesOff;
}
const char* EstimateLabel(bool on) {
    return on ? sensor_text::kEstimateOn : sensor_text::kEstimateOff;
}
const char* CompensationLabel(bool on) {
    return on ? sensor_text::kCompensationOn : sensor_text::kCompensationOff;
}
const char* RecoveryLabel(bool on) {
    return on ? sensor_text::kRecoveryOn : sensor_text::kRecoveryOff;
}

void ApplySettings(const SensSettingsValues& values, SensorConfig& config) {
    SensorSetup& setup = config.setup;
    setup.calibration.calibrationMode = values.calibration != 0;
    for (size_t i = 0; i < kInputCount; ++i) {
        SensorChannel& channel = setup.channels[i];
        channel.enabled = values.enabled[i] > 0;
        channel.sensitivityMv = values.sensitivities[i];
        channel.purpose = values.purposes[i];
    }
    AssignRoles(config);
    setup.calibration.slopeInDegrees = values.slopeInDegrees != 0;
}
