// The sensor service's configuration: the channel assignment, calibration and
// options it reads from the suite's XML configuration file (and writes back
// at shutdown), and its command line.
//
// The file is reached through ConfigStore, so the rules are tested with a
// fake store; the program's store is the suite's XmlConfig.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "sensors/sensor_types.h"

// The XML store as the configuration rules see it. Names and texts are
// UTF-8; a node handle stays valid until the next Reload.
class ConfigStore {
public:
    struct Node {
        std::uintptr_t id = 0;
        explicit operator bool() const { return id != 0; }
    };

    virtual ~ConfigStore() = default;
    // The store has a document (its file could be opened).
    virtual bool IsLoaded() const = 0;
    // Re-reads the file: other programs of the suite may have changed it.
    virtual void Reload() = 0;
    virtual void Save() = 0;
    virtual Node Root() = 0;
    // The first child element `name` of `parent`; empty when none.
    virtual Node Find(Node parent, std::string_view name) = 0;
    // Appends element `name` to `parent` when it has none.
    virtual void EnsureChild(Node parent, std::string_view name) = 0;
    // Reads keep `value` when the node or attribute is missing or not a number.
    virtual void GetInt(Node node, std::string_view attribute, int32_t& value) = 0;
    virtual void GetFloat(Node node, std::string_view attribute, float& value) = 0;
    virtual void GetText(Node node, std::string_view attribute, std::string& value) = 0;
    virtual void SetInt(Node node, std::string_view attribute, int32_t value) = 0;
    virtual void SetText(Node node, std::string_view attribute, std::string_view value) = 0;
};

// Up to two decimal numbers: the odometer threshold in mV, then a vehicle index.
struct SensorCommandLine {
    bool empty = true;           // started by hand: the settings may change sensitivities
    int32_t wayThresholdMv = 0;  // replaces the Way input's sensitivity when > 0
    int32_t vehicle = 0;         // vehicle node that receives an estimated threshold
};
SensorCommandLine ParseSensorCommandLine(std::u16string_view text);

// Everything the service takes from its configuration.
struct SensorConfig {
    SensorSetup setup;
    SensorOptions options;
    int32_t vehicleIndex = -1;
    float pathPerPulse = 0.1f;  // distance per odometer pulse
    int32_t slopeQueueSize = 20;
    float supplyMinV = 0.0f;  // range of the Voltage2 input, V
    float supplyMaxV = 20.0f;
    // The label each input's indicator shows (UTF-8).
    std::array<std::string, kInputCount> labels;
    SensorCommandLine commandLine;

    SensorConfig();
};

// Reads the configuration (the store may be null or not loaded: the
// defaults stay, with the Way role on input 0 and the Slope role on input 1),
// creates missing sensor nodes, writes the slope queue size back and saves.
void LoadSensorConfig(ConfigStore* store, SensorConfig& config);

// Stores an estimated odometer threshold in the vehicle node that the
// command line named, when that node exists.
void StoreWayThreshold(ConfigStore* store, const SensorConfig& config, int32_t thresholdMv);

// Writes the channel configuration and the options back (the recovery
// option into the vehicle node, when there is one).
void SaveSensorConfig(ConfigStore* store, const SensorConfig& config);

// Gives every input the role and label of its purpose (the higher input wins
// a purpose two inputs share); lasers take the calibration's minimum range.
// Roles of purposes no input has stay as they were.
void AssignRoles(SensorConfig& config);

namespace config_names {
// Node names with a number: "Авто%d", "Изделие%d", "Модель%d"; the sensor
// nodes are "Датчик%-d" (sensor_lines.h: SensorNodeName).
std::string Vehicle(int32_t n);
std::string Product(int32_t k);
std::string Model(int32_t m);
}  // namespace config_names
