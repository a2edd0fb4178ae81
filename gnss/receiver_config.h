// The receiver's options in the configuration file (element "ГНСС") and the
// rules by which the attributes found there replace the defaults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ReceiverConfig {
    int32_t speed = 115200;  // bit/s
    int32_t port = 1;
    double latitude = 56;  // degrees, last known
    double longitude = 37;
    std::string runLogPath;        // ANSI code page, at most 259 bytes
    bool gnTalkerGga = false;      // option: GGA with talker GN counts as GGA with talker GP
    bool recoverReceiver = false;  // option: a lost receiver is reopened in the background
};

// The option's attribute; 1 turns it on, anything else leaves it off.
inline constexpr const char* kGnTalkerAttribute = "принимать_сообщения_GN";
// The recovery option's attribute; 1 turns it on, anything else leaves it off.
inline constexpr const char* kRecoverAttribute = "восстанавливать_связь";

// The attributes of "ГНСС" as read: each one that was there and converted.
struct ReceiverAttributes {
    std::optional<int32_t> speed;           // "скорость"
    std::optional<int32_t> port;            // "порт"
    std::optional<float> latitude;          // "широта", degrees
    std::optional<float> longitude;         // "долгота", degrees
    std::optional<std::string> runLogPath;  // "локальный_файл", ANSI code page
    std::optional<int32_t> gnTalker;        // kGnTalkerAttribute
    std::optional<int32_t> recover;         // kRecoverAttribute
};

// Speed and port are used when positive, a position when its magnitude is
// above 1e-6 degrees (closer to zero counts as unset) and it is a number; the
// run-log path, when the attribute is there, is cut to 259 bytes; the GN
// talker and recovery options are on only for the value 1.
void ApplyReceiverAttributes(const ReceiverAttributes& attributes, ReceiverConfig& config);
