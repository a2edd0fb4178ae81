#include "sensors/display_model.h"

#include <cstdio>

namespace {

constexpr uint32_t kCounterWrap = 100000000;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string CounterText(uint32_t count) {
    return std::to_string(static_cast<int>(count % kCounterWrap));
}

std::string VoltageText(float voltage) {
    return Format("%6.3f B", voltage);  // a Latin B
}

std::string SlopeText(float value, bool inDegrees) {
    return inDegrees ? Format("%.1f °", value) : Format("%.0f ‰", value);
}

std::string LaserText(float metres) {
    return Format("%.3f м", metres);
}

std::string DistanceText(float metres) {
    return Format("%.1f м", metres);
}

std::string SpeedText(float metresPerSecond) {
    return Format("%.1f м/c", metresPerSecond);  // a Latin c
}

SensorDisplayModel::SensorDisplayModel(int periodMs)
    : m_periodMs(periodMs > 0 ? periodMs : kDefaultPeriodMs), m_idleLimit(5000 / m_periodMs) {}

void SensorDisplayModel::TakeSnapshot(const std::array<uint32_t, kInputCount>& counts,
                                      int32_t wayInput) {
    m_snapshot = counts;
    m_previousWayInput = wayInput;
    m_previousWayCount = IsInput(wayInput) ? counts[static_cast<size_t>(wayInput)] : 0;
}

DisplayTick SensorDisplayModel::Tick(const DisplayReadings& readings,
                                     const DisplaySettings& settings) {
    DisplayTick tick;
    const SensorSetup& setup = settings.setup;
    const ChannelRoles& roles = setup.roles;
    for (int& idle : m_idle)
        idle = (idle + 1) % kIdleWrap;

    for (int i = 0; i < kInputCount; ++i) {
        const size_t n = static_cast<size_t>(i);
        if (!setup.channels[n].enabled)
            continue;
        RowUpdate& row = tick.rows[n];
        row.refreshed = true;
        const uint32_t count = readings.counts[n];
        const float voltage = readings.voltages[n];
        const float value = readings.values[n];
        row.counter = CounterText(count);

        if (i == roles.way) {
            const float distance = static_cast<float>(count) * settings.pathPerPulse;
            // A new Way input starts its speed from its own counter.
            const uint32_t previous = m_previousWayInput == i ? m_previousWayCount : count;
            const float step = static_cast<float>(count - previous) * settings.pathPerPulse;
            tick.distance = DistanceText(distance);
            tick.speed = SpeedText(step * 1000.0f / static_cast<float>(m_periodMs));
            m_previousWayCount = count;
            m_previousWayInput = i;
            row.value = row.counter;
        }
        row.voltage = VoltageText(voltage);

        if (i == roles.voltage1) {
            row.colour = voltage > kVoltage1Min && voltage < kVoltage1Max ? kGreen : kRed;
        } else if (i == roles.voltage2) {
            row.colour =
                voltage > settings.supplyMinV && voltage < settings.supplyMaxV ? kGreen : kRed;
        } else if (count > m_snapshot[n]) {
            m_idle[n] = 0;
            row.colour = kGreen;
        } else if (m_idle[n] > m_idleLimit) {
            row.colour = kYellow;
        }
        if (settings.deviceLost)
            row.colour = kOrange;
        else if (m_deviceLost && !row.colour)
            row.colour = m_idle[n] > m_idleLimit ? kYellow : kGreen;  // the state before the loss

        if (i == roles.slope)
            row.value = SlopeText(value, setup.calibration.slopeInDegrees);
        else if (i == roles.leftLaser || i == roles.rightLaser)
            row.value = LaserText(value);
    }
    m_snapshot = readings.counts;
    m_deviceLost = settings.deviceLost;
    return tick;
}
