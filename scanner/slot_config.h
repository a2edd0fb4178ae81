// The scanner slots and where they come from: the vehicle description in
// "Tuvarnex.xml", which the suite's configuration tool keeps, and the
// optional vehicle index on the command line.
//
//   <Работа индекс_автомобиля=".." базовое_расстояние_от_сканера_до_дороги_в_мм=".."/>
//   <Авто0>
//     <Изделие0 тип="сканер" IP=".." ID_модели=".." подключен=".." .../>
//   </Авто0>
//   <Модель0 ID=".." шаг_сканирования_в_град=".." инклинометр-шкала_в_мВ_на_градус=".."/>
//
// The file is reached through SlotXml so that the rules here are tested
// without the Windows XML store.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scanner {

inline constexpr int kScannerSlots = 2;

// One scanner slot: configuration and the state the bring-up keeps.
struct ScannerSlot {
    int32_t itemNumber = -1;  // k of "Изделие%d"; -1: none
    int32_t port = 2111;
    float rotationAngle = 0;   // start angle, clockwise from the horizontal pointing right, degrees
    float clearanceStart = 0;  // clearance sector, degrees
    float clearanceEnd = 0;
    int32_t connected = 0;   // 1 while the scanner is in use
    float scanStep = 0.25f;  // degrees between points, from the model
    int32_t pointCount = 0;  // points of the scan polled at bring-up
    int32_t inclinometerFitted = 1;
    int32_t inclinometerBaseAngle = 0;
    int32_t inclinometerScale = 400;  // mV per degree, from the model
    int32_t inclinometerZero = 1390;  // mV at zero slope
    int32_t modelIndex = -1;          // m of "Модель%d"; -1: no model matched
    std::u16string ipAddress;         // dotted IPv4
    // 1: a scanner that stops answering is brought up again in the background
    // (an installation option, off by default).
    int32_t recoverConnection = 0;
};

// Everything the service loads besides the slots' own fields.
struct AcquisitionSettings {
    ScannerSlot slots[kScannerSlots];
    int32_t vehicleIndex = 0;     // N of "Авто%d"
    int32_t baseDistance = 1500;  // mm, scanner to road
    int32_t triggerRate = 25;     // scan triggers per second
    int32_t alarmThreshold = 15;  // clearance alarm, in units of 10 mm
    int32_t scannerCount = 0;     // scanner items found
    // Entries of the main dialog's scanner choice ("Сканер%d") and the slot of each.
    std::vector<std::u16string> scannerList;
    std::vector<int> scannerListSlots;
};

// The command line: an optional decimal vehicle index. A service started
// with one runs in a crew and uses only slots that have an item; the vehicle
// itself is the configuration's "индекс_автомобиля" either way, so that every
// service of the suite reads and writes the same "Авто%d".
struct CommandLine {
    bool given = false;
    int32_t vehicleIndex = 0;
};
CommandLine ParseCommandLine(std::u16string_view text);

// --- Names in the configuration file (UTF-8) ---------------------------------------
namespace xml_name {
constexpr const char* kWork = "Работа";
constexpr const char* kVehicleIndex = "индекс_автомобиля";
constexpr const char* kBaseDistance = "базовое_расстояние_от_сканера_до_дороги_в_мм";
constexpr const char* kVehicleFormat = "Авто%d";
constexpr const char* kItemFormat = "Изделие%d";
constexpr const char* kModelFormat = "Модель%d";
constexpr const char* kType = "тип";
constexpr const char* kScannerType = "сканер";  // compared without regard to case
constexpr const char* kAddress = "IP";
constexpr const char* kRotationAngle = "угол_поворота_в_поперечной_плоскости_в_град";
constexpr const char* kInclinometerZero = "инклинометр___напряжение_нулевого_уклона_в_мВ";
constexpr const char* kConnected = "подключен";
constexpr const char* kClearanceStart = "начальный_угол_верхнего_габарита";
constexpr const char* kClearanceEnd = "конечный_угол_верхнего_габарита";
constexpr const char* kModelId = "ID_модели";
constexpr const char* kId = "ID";
constexpr const char* kInclinometerScale = "инклинометр-шкала_в_мВ_на_градус";
constexpr const char* kScanStep = "шаг_сканирования_в_град";
constexpr const char* kRecoverConnection = "восстанавливать_связь";
}  // namespace xml_name

// A node of the configuration document; 0 is no node. Handles are valid
// until the next Load.
using XmlNode = int32_t;

// The configuration document as the slots use it. Reads leave the value as
// it was when the node or attribute is missing or does not convert. Numbers
// are written with a point as the decimal separator.
class SlotXml {
public:
    virtual ~SlotXml() = default;
    // Reloads the file; false when it did not load (every Find then fails).
    virtual bool Load() = 0;
    virtual XmlNode Root() = 0;
    virtual XmlNode Find(XmlNode parent, const std::string& name) = 0;
    virtual void GetInt(XmlNode node, const char* name, int32_t& value) = 0;
    virtual void GetFloat(XmlNode node, const char* name, float& value) = 0;
    virtual void GetString(XmlNode node, const char* name, std::u16string& value) = 0;
    virtual void SetInt(XmlNode node, const char* name, int32_t value) = 0;
    virtual void SetFloat(XmlNode node, const char* name, float value) = 0;
    virtual void SetString(XmlNode node, const char* name, const std::u16string& value) = 0;
    virtual bool Save() = 0;
};

// "Авто%d", "Изделие%d", "Модель%d".
std::string NumberedName(const char* format, int32_t number);

// Resets `out` to the defaults and loads it. `xml` null: no configuration
// document (defaults, an empty scanner choice). "индекс_автомобиля" of
// "Работа" chooses the vehicle.
void LoadSlots(SlotXml* xml, const CommandLine& commandLine, AcquisitionSettings& out);

// Stores the connected slots that have an item (address, angles, zero
// voltage, "подключен", "восстанавливать_связь", the model's scale) and the
// base distance.
void SaveSlots(SlotXml* xml, const AcquisitionSettings& settings);

// Sets "подключен" of the item `itemNumber` of the vehicle (and saves).
void MarkItemConnected(SlotXml* xml, int32_t vehicleIndex, int32_t itemNumber, int32_t connected);

// Whether the bring-up tries a slot: it needs an item when the service runs
// in a crew, and an address of at least 7 characters.
bool ShouldBringUp(const ScannerSlot& slot, const CommandLine& commandLine);

// The slot's address as the client connects to it: at most 31 characters,
// ASCII only (anything else makes the address unusable: empty).
std::string ConnectAddress(const ScannerSlot& slot);

// Case-insensitive equality for ASCII and Cyrillic letters.
bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace scanner
