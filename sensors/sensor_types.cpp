#include "sensors/sensor_types.h"

int32_t* ChannelRoles::ForPurpose(int32_t purpose) {
    switch (static_cast<ChannelPurpose>(purpose)) {
        case ChannelPurpose::Way:
            return &way;
        case ChannelPurpose::Slope:
            return &slope;
        case ChannelPurpose::Voltage1:
            return &voltage1;
        case ChannelPurpose::Voltage2:
            return &voltage2;
        case ChannelPurpose::LeftLaser:
            return &leftLaser;
        case ChannelPurpose::RightLaser:
            return &rightLaser;
    }
    return nullptr;
}

std::array<SensorChannel, kInputCount> SensorSetup::DefaultChannels() {
    std::array<SensorChannel, kInputCount> channels{};
    for (int i = 0; i < kInputCount; ++i)
        channels[static_cast<size_t>(i)].purpose = i;
    return channels;
}
