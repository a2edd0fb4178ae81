#include "sensors/sensor_lines.h"

#include <cstdio>

#include "platform/text_codec.h"
#include "sensors/text_writer.h"

namespace {

constexpr std::string_view kDataSeparator = "   ";
// UTF-8 header of the calibration file; written in Windows-1251.
constexpr const char* kCalibrationHeaderUtf8 = "по датчику;фактически\n";

}  // namespace

size_t FormatDaqDataLine(char* out, size_t capacity,
                         const std::array<uint32_t, kInputCount>& counts, double slope,
                         double leftLaser, double rightLaser) {
    TextWriter w(out, capacity);
    for (uint32_t count : counts)
        w.Unsigned(count).Put(kDataSeparator);
    for (double voltage : {slope, leftLaser, rightLaser})
        w.Fixed(voltage, 6).Put(kDataSeparator);
    w.Put('\n');
    return w.Length();
}

size_t FormatSerialDataLine(char* out, size_t capacity,
                            const std::array<uint32_t, kInputCount>& counts) {
    TextWriter w(out, capacity);
    for (uint32_t count : counts)
        w.Unsigned(count).Put(kDataSeparator);
    w.Put('\n');
    return w.Length();
}

SampleStamp MakeSampleStamp(const platform::CivilTime& utc) {
    SampleStamp stamp;
    TextWriter w(stamp.text, sizeof stamp.text);
    w.Padded(utc.hour, 2).Padded(utc.minute, 2).Padded(utc.second, 2).Put('.');
    w.Padded(utc.milliseconds, 3).Put(',');
    w.Padded(utc.year % 100, 2).Padded(utc.month, 2).Padded(utc.day, 2).Put('\n');
    stamp.length = w.Length();
    return stamp;
}

size_t FormatChannelFileLine(char* out, size_t capacity, uint32_t count, float difference,
                             float voltage, const SampleStamp& stamp) {
    TextWriter w(out, capacity);
    w.Unsigned(count).Put(',').Fixed(difference, 3).Put(',').Fixed(voltage, 3).Put(',');
    w.Put(std::string_view(stamp.text, stamp.length));
    return w.Length();
}

const char* ChannelFileName(int32_t purpose) {
    switch (purpose) {
        case PurposeValue(ChannelPurpose::Way):
            return "sensWay.txt";
        case PurposeValue(ChannelPurpose::Slope):
            return "sensSlope.txt";
        case PurposeValue(ChannelPurpose::LeftLaser):
            return "leftLazer.txt";
        case PurposeValue(ChannelPurpose::RightLaser):
            return "rightLazer.txt";
        default:
            return nullptr;
    }
}

std::string SensorNodeName(int input) {
    return "Датчик" + std::to_string(input);
}

std::vector<ProfileEntry> SessionEntries(const SensorSetup& setup) {
    std::vector<ProfileEntry> entries;
    for (int i = 0; i < kInputCount; ++i) {
        const SensorChannel& channel = setup.channels[static_cast<size_t>(i)];
        if (!channel.enabled)
            continue;
        const std::string section = SensorNodeName(i);
        std::u16string brand;
        for (char16_t c : channel.brand) {
            if (c == u'\0')
                break;
            brand.push_back(c);
        }
        entries.push_back({section, "Марка", platform::Utf16ToUtf8(brand)});
        entries.push_back({section, "Чувствительность", std::to_string(channel.sensitivityMv)});
        entries.push_back({section, "Назначение", std::to_string(channel.purpose)});
    }
    return entries;
}

std::string FormatSnapshotLine(const SensorSetup& setup,
                               const std::array<float, kInputCount>& voltages,
                               const platform::CivilTime& utc) {
    std::string line;
    char field[96];
    for (int i = 0; i < kInputCount; ++i) {
        const double v = voltages[static_cast<size_t>(i)];
        switch (setup.channels[static_cast<size_t>(i)].purpose) {
            case PurposeValue(ChannelPurpose::Way):
                std::snprintf(field, sizeof field, "dpp = %.3f ", v);
                break;
            case PurposeValue(ChannelPurpose::Slope):
                std::snprintf(field, sizeof field, "slope = %.5f ", v);
                break;
            case PurposeValue(ChannelPurpose::LeftLaser):
                std::snprintf(field, sizeof field, "left_laser = %.5f ", v);
                break;
            case PurposeValue(ChannelPurpose::RightLaser):
                std::snprintf(field, sizeof field, "right_laser = %.5f ", v);
                break;
            default:
                std::snprintf(field, sizeof field, " = %.3f ", v);
                break;
        }
        line += field;
    }
    std::snprintf(field, sizeof field, "time = %02d%02d%02d%02d%02d%02d.%03d\n", utc.year % 100,
                  utc.month, utc.day, utc.hour, utc.minute, utc.second, utc.milliseconds);
    line += field;
    return line;
}

std::string CalibrationFileHeader() {
    return platform::Utf8ToCp1251(kCalibrationHeaderUtf8);
}
