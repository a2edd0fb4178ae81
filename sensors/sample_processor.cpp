#include "sensors/sample_processor.h"

#include "sensors/conversions.h"
#include "sensors/pulse_detectors.h"

namespace {

double RawOr(const double (&raw)[kInputCount], int32_t role, double absent) {
    return IsInput(role) ? raw[role] : absent;
}

}  // namespace

SampleProcessor::SampleProcessor() {
    SetSetup(SensorSetup{});
}

void SampleProcessor::SetSetup(const SensorSetup& setup) {
    m_setup = setup;
    for (size_t i = 0; i < kInputCount; ++i)
        m_states[i].threshold = static_cast<float>(m_setup.channels[i].sensitivityMv / 1000.0);
}

void SampleProcessor::ResetCounters() {
    for (ChannelState& s : m_states)
        s.count = 1;
}

void SampleProcessor::ResetReferences() {
    for (ChannelState& s : m_states) {
        s.reference = kRestartReference;
        s.lastValue = kRestartReference;
    }
}

std::array<uint32_t, kInputCount> SampleProcessor::Counts() const {
    std::array<uint32_t, kInputCount> counts{};
    for (size_t i = 0; i < kInputCount; ++i)
        counts[i] = m_states[i].count;
    return counts;
}

void SampleProcessor::ProcessScan(const double (&raw)[kInputCount], const SampleStamp& stamp,
                                  unsigned fileMask, ScanLines& lines) {
    const SensorCalibration& calibration = m_setup.calibration;
    for (size_t i = 0; i < kInputCount; ++i) {
        const SensorChannel& channel = m_setup.channels[i];
        ChannelState& state = m_states[i];
        state.voltage = static_cast<float>(raw[i]);
        state.value = ConvertValue(state.voltage, channel, calibration);
        const float d = channel.purpose == PurposeValue(ChannelPurpose::Way) ? DetectWayPulse(state)
                                                                             : DetectChange(state);
        lines.fileLength[i] =
            (fileMask & (1u << i)) != 0
                ? FormatChannelFileLine(lines.file[i].data(), lines.file[i].size(), state.count, d,
                                        state.voltage, stamp)
                : 0;
    }
    ApplyLaserCompensation(m_states, m_setup.roles, calibration);
    const ChannelRoles& roles = m_setup.roles;
    lines.dataLength = FormatDaqDataLine(lines.data.data(), lines.data.size(), Counts(),
                                         RawOr(raw, roles.slope, kNoSlopeVoltage),
                                         RawOr(raw, roles.leftLaser, kNoLaserVoltage),
                                         RawOr(raw, roles.rightLaser, kNoLaserVoltage));
}

void SampleProcessor::SerialValue(double v) {
    const int32_t way = m_setup.roles.way;
    if (!IsInput(way))
        return;
    DetectSerialPulse(m_states[static_cast<size_t>(way)], static_cast<float>(v));
}

size_t SampleProcessor::FormatSerialLine(char* out, size_t capacity) const {
    return FormatSerialDataLine(out, capacity, Counts());
}
