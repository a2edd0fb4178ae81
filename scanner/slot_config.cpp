#include "scanner/slot_config.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/text_codec.h"
#include "scanner/scanner_texts.h"

namespace scanner {
namespace {

// Shortest dotted IPv4 text ("1.2.3.4"), and the characters of an address used at most.
constexpr size_t kMinAddressLength = 7;
constexpr size_t kMaxAddressLength = 31;
// Model values that are not positive are replaced by these.
constexpr int32_t kDefaultScale = 400;
constexpr float kDefaultStep = 0.25f;

char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c - u'A' + u'a');
    if (c >= 0x0410 && c <= 0x042F)  // А..Я
        return static_cast<char16_t>(c + 0x20);
    if (c >= 0x0400 && c <= 0x040F)  // Ѐ..Џ, Ё among them
        return static_cast<char16_t>(c + 0x50);
    return c;
}

std::u16string Utf16(const char* utf8) {
    return platform::Utf8ToUtf16(utf8);
}

XmlNode FindVehicle(SlotXml& xml, int32_t vehicleIndex) {
    return xml.Find(xml.Root(), NumberedName(xml_name::kVehicleFormat, vehicleIndex));
}

// Reads the model's scale and step into the slot when a model element has
// the item's model id.
void LoadModel(SlotXml& xml, int32_t modelId, ScannerSlot& slot) {
    const XmlNode root = xml.Root();
    for (int32_t m = 0; m < INT_MAX; ++m) {
        const XmlNode model = xml.Find(root, NumberedName(xml_name::kModelFormat, m));
        if (model == 0)
            return;
        int32_t id = INT_MIN;
        xml.GetInt(model, xml_name::kId, id);
        if (id != modelId)
            continue;
        slot.modelIndex = m;
        int32_t scale = 0;
        xml.GetInt(model, xml_name::kInclinometerScale, scale);
        slot.inclinometerScale = scale > 0 ? scale : kDefaultScale;
        float step = 0;
        xml.GetFloat(model, xml_name::kScanStep, step);
        slot.scanStep = step > 0 ? step : kDefaultStep;
        return;
    }
}

void LoadItem(SlotXml& xml, XmlNode item, int32_t k, ScannerSlot& slot) {
    slot.itemNumber = k;
    xml.GetString(item, xml_name::kAddress, slot.ipAddress);
    xml.GetFloat(item, xml_name::kRotationAngle, slot.rotationAngle);
    xml.GetInt(item, xml_name::kInclinometerZero, slot.inclinometerZero);
    xml.GetInt(item, xml_name::kConnected, slot.connected);
    xml.GetFloat(item, xml_name::kClearanceStart, slot.clearanceStart);
    xml.GetFloat(item, xml_name::kClearanceEnd, slot.clearanceEnd);
    xml.GetInt(item, xml_name::kRecoverConnection, slot.recoverConnection);
    slot.recoverConnection = slot.recoverConnection != 0 ? 1 : 0;
    int32_t modelId = INT_MIN;
    xml.GetInt(item, xml_name::kModelId, modelId);
    LoadModel(xml, modelId, slot);
}

std::u16string ScannerEntry(int slot) {
    char text[32];
    std::snprintf(text, sizeof text, scanner_text::kScannerEntryFormat, slot + 1);
    return platform::Utf8ToUtf16(text);
}

}  // namespace

CommandLine ParseCommandLine(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    CommandLine line;
    if (text.empty())
        return line;
    line.given = true;
    std::string narrow;
    for (char16_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    long value = std::strtol(narrow.c_str(), nullptr, 10);
    if (value > INT_MAX)
        value = INT_MAX;
    if (value < INT_MIN)
        value = INT_MIN;
    line.vehicleIndex = static_cast<int32_t>(value);
    return line;
}

std::string NumberedName(const char* format, int32_t number) {
    char name[64];
    std::snprintf(name, sizeof name, format, static_cast<int>(number));
    return name;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

void LoadSlots(SlotXml* xml, const CommandLine& commandLine, AcquisitionSettings& out) {
    (void)commandLine;  // crew mode matters to the bring-up, not to what is loaded
    for (ScannerSlot& slot : out.slots)
        slot = ScannerSlot{};
    out.scannerCount = 0;
    out.scannerList.clear();
    out.scannerListSlots.clear();
    out.baseDistance = 1500;
    // The vehicle is the configuration's, as for every service of the suite
    // that shares the file; the command line only says the service runs in a crew.
    out.vehicleIndex = 0;
    out.triggerRate = 25;
    out.alarmThreshold = 15;
    if (xml == nullptr)
        return;

    xml->Load();
    const XmlNode root = xml->Root();
    const XmlNode work = xml->Find(root, xml_name::kWork);
    xml->GetInt(work, xml_name::kBaseDistance, out.baseDistance);
    xml->GetInt(work, xml_name::kVehicleIndex, out.vehicleIndex);
    const XmlNode vehicle = FindVehicle(*xml, out.vehicleIndex);
    if (work == 0 || vehicle == 0)
        return;

    const std::u16string scannerType = Utf16(xml_name::kScannerType);
    int32_t k = 0;
    for (int j = 0; j < kScannerSlots; ++j) {
        for (;; ++k) {
            const XmlNode item = xml->Find(vehicle, NumberedName(xml_name::kItemFormat, k));
            if (item == 0) {
                ++k;  // this slot stays unconfigured; the next one looks further on
                break;
            }
            std::u16string type;
            xml->GetString(item, xml_name::kType, type);
            if (!EqualsIgnoringCase(type, scannerType))
                continue;
            LoadItem(*xml, item, k, out.slots[j]);
            ++out.scannerCount;
            out.scannerList.push_back(ScannerEntry(j));
            out.scannerListSlots.push_back(j);
            ++k;
            break;
        }
    }
}

void SaveSlots(SlotXml* xml, const AcquisitionSettings& s) {
    if (xml == nullptr)
        return;
    xml->Load();
    const XmlNode root = xml->Root();
    const XmlNode vehicle = FindVehicle(*xml, s.vehicleIndex);
    for (const ScannerSlot& slot : s.slots) {
        if (slot.connected == 0 || slot.itemNumber < 0 || vehicle == 0)
            continue;
        const XmlNode item =
            xml->Find(vehicle, NumberedName(xml_name::kItemFormat, slot.itemNumber));
        if (item != 0) {
            xml->SetString(item, xml_name::kAddress, slot.ipAddress);
            xml->SetFloat(item, xml_name::kRotationAngle, slot.rotationAngle);
            xml->SetInt(item, xml_name::kInclinometerZero, slot.inclinometerZero);
            xml->SetInt(item, xml_name::kConnected, slot.connected);
            xml->SetFloat(item, xml_name::kClearanceStart, slot.clearanceStart);
            xml->SetFloat(item, xml_name::kClearanceEnd, slot.clearanceEnd);
            xml->SetInt(item, xml_name::kRecoverConnection, slot.recoverConnection);
        }
        if (slot.modelIndex >= 0) {
            const XmlNode model =
                xml->Find(root, NumberedName(xml_name::kModelFormat, slot.modelIndex));
            if (model != 0)
                xml->SetInt(model, xml_name::kInclinometerScale, slot.inclinometerScale);
        }
    }
    const XmlNode work = xml->Find(root, xml_name::kWork);
    if (work != 0)
        xml->SetInt(work, xml_name::kBaseDistance, s.baseDistance);
    xml->Save();
}

void MarkItemConnected(SlotXml* xml, int32_t vehicleIndex, int32_t itemNumber, int32_t connected) {
    if (xml == nullptr || itemNumber < 0)
        return;
    xml->Load();
    const XmlNode vehicle = FindVehicle(*xml, vehicleIndex);
    const XmlNode item =
        vehicle != 0 ? xml->Find(vehicle, NumberedName(xml_name::kItemFormat, itemNumber)) : 0;
    if (item == 0)
        return;
    xml->SetInt(item, xml_name::kConnected, connected);
    xml->Save();
}

bool ShouldBringUp(const ScannerSlot& slot, const CommandLine& commandLine) {
    if (slot.itemNumber < 0 && commandLine.given)
        return false;
    return ConnectAddress(slot).size() >= kMinAddressLength;
}

std::string ConnectAddress(const ScannerSlot& slot) {
    std::string address;
    for (char16_t c : slot.ipAddress) {
        if (address.size() == kMaxAddressLength)
            break;
        if (c == 0)
            break;
        if (c >= 0x80)
            return {};
        address += static_cast<char>(c);
    }
    return address;
}

}  // namespace scanner
