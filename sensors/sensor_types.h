// The sensor service's per-input configuration, live state and calibration.
//
// The four analogue inputs ai0..ai3 of the data acquisition device are
// indexed 0..3. Each input has a purpose (what it measures); the role
// indices say which input serves each purpose. Voltages are in volts,
// configured thresholds in millivolts, laser distances in metres, slope in
// per mille or degrees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr int kInputCount = 4;

// What an input measures; the stored value is a plain int32 and may hold
// any number (unknown values convert like a laser and keep their label).
enum class ChannelPurpose : int32_t {
    Way = 0,         // odometer pulse signal
    Slope = 1,       // inclinometer (cross slope)
    Voltage1 = 2,    // supply voltage, fixed range
    Voltage2 = 3,    // supply voltage, configured range
    LeftLaser = 4,   // left laser range sensor
    RightLaser = 5,  // right laser range sensor
};
inline constexpr int32_t kPurposeCount = 6;

inline constexpr int32_t PurposeValue(ChannelPurpose p) {
    return static_cast<int32_t>(p);
}
inline constexpr bool IsKnownPurpose(int32_t purpose) {
    return purpose >= 0 && purpose < kPurposeCount;
}
inline constexpr bool IsLaserPurpose(int32_t purpose) {
    return purpose == PurposeValue(ChannelPurpose::LeftLaser) ||
           purpose == PurposeValue(ChannelPurpose::RightLaser);
}

// How the service gets its samples; decided once at start.
enum class SourceMode : int32_t { None = 0, Daq = 1, SerialOdometer = 2 };

// The reference and last value every input restarts from, volts: far above
// any real reading, so the first sample always counts as a change.
inline constexpr float kRestartReference = 30000.0f;

// One input's configuration.
struct SensorChannel {
    bool enabled = false;  // shown and written to the session file
    int32_t type = 0;      // sensor model number; stored back, never computed with
    // Sensor brand for the session file (UTF-16, NUL-terminated); nothing fills it.
    std::array<char16_t, 17> brand{};
    int32_t purpose = 0;                    // ChannelPurpose value
    int32_t sensitivityMv = 1;              // change threshold, mV
    int32_t minDistanceMm = 0;              // lasers: distance at the minimum range, mm
    int32_t minDistanceVoltageMv = -20000;  // lasers: output at the minimum range, mV
};

// One input's live state, written by the sample path.
struct ChannelState {
    float voltage = 0.0f;                 // last measured voltage, V
    float value = 0.0f;                   // last converted value
    float reference = kRestartReference;  // voltage the next change is measured against, V
    float lastValue = kRestartReference;  // value at the last accepted change
    uint32_t count = 1;                   // change counter; odometer pulses for the Way input
    float threshold = 0.0f;               // sensitivityMv / 1000, V
    bool rising = false;                  // Way input: signal in its rising phase
};

struct SensorCalibration {
    int32_t zeroSlopeMv = 2500;         // inclinometer output at zero slope, mV
    int32_t slopeScaleMvPerDeg = 1000;  // inclinometer scale, mV per degree
    int32_t laserCoefMvPerM = 0;        // laser scale, mV per metre; 0 until a model supplies it
    int32_t laserMinDistanceMm = 0;     // laser minimum range, mm
    int32_t laserMinVoltageMv = 0;      // laser output at the minimum range, mV
    int32_t rightLaserExcessMm = 0;     // right laser mounted higher than the left, mm
    int32_t laserBaseMm = 0;            // distance between the lasers, mm
    bool slopeInDegrees = false;        // slope in degrees instead of per mille
    bool calibrationMode = false;       // conversions off: values are plain voltages
    bool laserCompensation = false;     // correct the slope by the two laser distances
};

// Which input serves each purpose; -1 when none does.
struct ChannelRoles {
    int32_t way = -1;
    int32_t slope = -1;
    int32_t voltage1 = -1;
    int32_t voltage2 = -1;
    int32_t leftLaser = -1;
    int32_t rightLaser = -1;

    void Reset() { *this = ChannelRoles{}; }
    // The role slot of a purpose; nullptr for an unknown purpose.
    int32_t* ForPurpose(int32_t purpose);
};

// True when `index` names an input (a role that is set).
inline constexpr bool IsInput(int32_t index) {
    return index >= 0 && index < kInputCount;
}

// Everything the per-sample path reads. Trivially copyable, so the window
// thread can hand a new set to the sample path without allocating.
struct SensorSetup {
    std::array<SensorChannel, kInputCount> channels = DefaultChannels();
    SensorCalibration calibration;
    ChannelRoles roles;

    // Inputs before any configuration: purpose = the input's own index.
    static std::array<SensorChannel, kInputCount> DefaultChannels();
};

// Options of the service kept in the configuration file.
struct SensorOptions {
    bool estimateWayThreshold = false;  // estimate the odometer threshold at start
    bool writeChannelFiles = false;     // write the per-input files during recordings
    bool recoverDaq = false;            // set the task up again when the device comes back
};
