// The sensor service's window as pure logic: what each input's row, the
// distance and the speed show after each one-second display tick, and the
// indicator colours.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "sensors/sensor_types.h"

// Indicator face colours (COLORREF, 0x00BBGGRR).
using Colour = uint32_t;
inline constexpr Colour kGreen = 0x00FF00;
inline constexpr Colour kRed = 0x0000FF;
inline constexpr Colour kYellow = 0x00FFFF;
inline constexpr Colour kGrey = 0xEEEEEE;    // a disabled input
inline constexpr Colour kOrange = 0x0080FF;  // the acquisition device is gone, awaited back

// Start texts of the row and odometer fields.
inline constexpr const char* kZeroCounterText = "0";
inline constexpr const char* kZeroValueText = "0.00";

// Fixed supply range of the Voltage1 input, V (exclusive bounds).
inline constexpr float kVoltage1Min = 6.0f;
inline constexpr float kVoltage1Max = 25.0f;

// What the window shows of the acquisition, read under the acquisition's lock.
struct DisplayReadings {
    std::array<uint32_t, kInputCount> counts{};
    std::array<float, kInputCount> voltages{};
    std::array<float, kInputCount> values{};
};

// The configuration the display follows.
struct DisplaySettings {
    SensorSetup setup;
    float pathPerPulse = 0.1f;  // distance per odometer pulse
    float supplyMinV = 0.0f;    // Voltage2 range, V (exclusive)
    float supplyMaxV = 20.0f;
    bool deviceLost = false;  // every enabled input shows kOrange until the device is back
};

struct RowUpdate {
    bool refreshed = false;  // false: a disabled input, nothing changes
    std::string counter;     // UTF-8
    std::string voltage;
    std::optional<std::string> value;  // the Way, slope and laser inputs only
    std::optional<Colour> colour;      // unchanged when empty
};

struct DisplayTick {
    std::array<RowUpdate, kInputCount> rows;
    std::optional<std::string> distance;  // only with an enabled Way input
    std::optional<std::string> speed;
};

class SensorDisplayModel {
public:
    static constexpr int kDefaultPeriodMs = 1000;
    static constexpr int kIdleWrap = 10000;  // idle counters count modulo this

    explicit SensorDisplayModel(int periodMs = kDefaultPeriodMs);

    // The counters the first tick compares with (start of the display);
    // `wayInput` is the Way input, whose counter the first speed starts from.
    void TakeSnapshot(const std::array<uint32_t, kInputCount>& counts, int32_t wayInput);
    // One display tick.
    DisplayTick Tick(const DisplayReadings& readings, const DisplaySettings& settings);

    int PeriodMs() const { return m_periodMs; }
    // Ticks without a counter change before an input turns yellow.
    int IdleLimit() const { return m_idleLimit; }
    const std::array<int, kInputCount>& IdleTicks() const { return m_idle; }

private:
    int m_periodMs;
    int m_idleLimit;
    std::array<int, kInputCount> m_idle{};
    std::array<uint32_t, kInputCount> m_snapshot{};
    // The Way counter at the previous tick, for the speed, and its input.
    uint32_t m_previousWayCount = 0;
    int32_t m_previousWayInput = -1;
    bool m_deviceLost = false;  // at the previous tick
};

// Field texts.
std::string CounterText(uint32_t count);             // count modulo 100000000, "%d"
std::string VoltageText(float voltage);              // "%6.3f B"
std::string SlopeText(float value, bool inDegrees);  // "%.0f ‰" or "%.1f °"
std::string LaserText(float metres);                 // "%.3f м"
std::string DistanceText(float metres);              // "%.1f м"
std::string SpeedText(float metresPerSecond);        // "%.1f м/c"
