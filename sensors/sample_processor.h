// The per-sample path of the sensor service: one scan of the four inputs
// (conversion, change detection, pulse counting, laser compensation), the
// per-input file lines and the data line; and the serial odometer's values.
//
// Not thread-safe by itself: the acquisition (sensors/sensor_hub.h) runs it
// under its lock. No allocation on any path.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sensors/sensor_lines.h"
#include "sensors/sensor_types.h"

// What one scan produces for the files and the data block.
struct ScanLines {
    std::array<std::array<char, kFileLineCapacity>, kInputCount> file{};
    std::array<size_t, kInputCount> fileLength{};  // 0: no line for that input
    std::array<char, kDataLineCapacity> data{};
    size_t dataLength = 0;
};

class SampleProcessor {
public:
    SampleProcessor();

    // Takes a new configuration; each input's threshold follows its
    // sensitivity (mV / 1000). The live state stays.
    void SetSetup(const SensorSetup& setup);
    const SensorSetup& Setup() const { return m_setup; }
    const std::array<ChannelState, kInputCount>& States() const { return m_states; }

    // Every counter back to 1 (configuration load).
    void ResetCounters();
    // Every reference and last value back to 30000 (after the configuration load).
    void ResetReferences();

    // One scan of raw readings (V, inputs 0..3). Builds the file line of
    // every input whose bit is set in `fileMask` and the data line.
    void ProcessScan(const double (&raw)[kInputCount], const SampleStamp& stamp, unsigned fileMask,
                     ScanLines& lines);

    // One value (V) from the serial odometer's lines; ignored without a Way input.
    void SerialValue(double v);
    // The serial odometer's data line (counters only).
    size_t FormatSerialLine(char* out, size_t capacity) const;

    std::array<uint32_t, kInputCount> Counts() const;

private:
    SensorSetup m_setup;
    std::array<ChannelState, kInputCount> m_states{};
};
