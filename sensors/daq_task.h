// How the sensor service addresses the data acquisition device and sets up
// its one continuous task: four differential inputs, 0..20 V, 1000 samples
// a second, one sample per callback.
#pragma once

#include <string_view>

namespace daq_task {

// The device is found by its description among the present devices.
inline constexpr std::u16string_view kDescriptionMark = u"USB-6008";
inline constexpr const char* kDeviceName = "Dev1";
inline constexpr const char* kPhysicalChannels = "Dev1/ai0:3";
inline constexpr double kMinVolts = 0.0;
inline constexpr double kMaxVolts = 20.0;
inline constexpr double kSamplesPerSecond = 1000.0;
inline constexpr unsigned long long kBufferSamplesPerChannel = 1;
inline constexpr unsigned kSamplesPerEvent = 1;
// One read per callback: one sample of each input, within 10 s.
inline constexpr int kReadSamplesPerChannel = 1;
inline constexpr double kReadTimeoutS = 10.0;
// The driver's extended error text.
inline constexpr unsigned kErrorTextSize = 2048;

// True when a device description names the acquisition device
// (case-sensitive substring).
inline bool IsDaqDescription(std::u16string_view description) {
    return description.find(kDescriptionMark) != std::u16string_view::npos;
}

}  // namespace daq_task
