// The texts the sensor service publishes and writes: the data line of the
// shared data block, the per-input file lines and their names, the session
// description, the snapshot line and the calibration file header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sensors/sensor_types.h"

// --- Data line ("MySensorFileMappingObject") ---------------------------------
// Built in a buffer of the block's size.
inline constexpr size_t kDataLineCapacity = 1024;
// Published for an absent slope input and for an absent laser input, V.
inline constexpr double kNoSlopeVoltage = 1000.0;
inline constexpr double kNoLaserVoltage = -1000.0;

// Acquisition: "%lu   " for the four counters, "%.6f   " for the raw
// voltages of the slope, left laser and right laser inputs, then "\n".
size_t FormatDaqDataLine(char* out, size_t capacity,
                         const std::array<uint32_t, kInputCount>& counts, double slope,
                         double leftLaser, double rightLaser);
// Serial odometer: the four counters only, then "\n".
size_t FormatSerialDataLine(char* out, size_t capacity,
                            const std::array<uint32_t, kInputCount>& counts);

// --- Per-input files ------------------------------------------------------------
inline constexpr const char* kChannelFileHeader = "num,LastDif,LastValue,time,date\n";
// Longest file line the sample path builds (room for any float).
inline constexpr size_t kFileLineCapacity = 160;

// The UTC time of one callback as the lines' tail "hhmmss.mmm,yymmdd\n",
// formatted once per callback.
struct SampleStamp {
    char text[24] = {};
    size_t length = 0;
};
SampleStamp MakeSampleStamp(const platform::CivilTime& utc);

// "%lu,%.3f,%.3f,%02d%02d%02d.%003d,%02d%02d%02d\n": counter, difference to
// the reference, voltage, then the stamp.
size_t FormatChannelFileLine(char* out, size_t capacity, uint32_t count, float difference,
                             float voltage, const SampleStamp& stamp);

// The file an input of this purpose writes ("sensWay.txt", "sensSlope.txt",
// "leftLazer.txt", "rightLazer.txt"); nullptr for the other purposes.
const char* ChannelFileName(int32_t purpose);

// --- Session description ("session.ini") -----------------------------------------
inline constexpr const char* kSessionFileName = "session.ini";
struct ProfileEntry {
    std::string section;  // UTF-8
    std::string key;      // UTF-8
    std::string value;    // UTF-8
};
// For each enabled input, section "Датчик<i>" with "Марка", "Чувствительность"
// and "Назначение", in input order.
std::vector<ProfileEntry> SessionEntries(const SensorSetup& setup);
// "Датчик%-d": the sensor node and session section of input i.
std::string SensorNodeName(int input);

// --- Snapshot ("acp.dmp") -----------------------------------------------------
inline constexpr const char* kSnapshotFileName = "acp.dmp";
// The four voltages with their purposes' prefixes and the UTC time.
std::string FormatSnapshotLine(const SensorSetup& setup,
                               const std::array<float, kInputCount>& voltages,
                               const platform::CivilTime& utc);

// --- Calibration file ("tar.txt") ------------------------------------------------
inline constexpr const char* kCalibrationFileName = "tar.txt";
// Its header in Windows-1251 bytes.
std::string CalibrationFileHeader();
