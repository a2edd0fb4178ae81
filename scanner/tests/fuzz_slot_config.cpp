// An arbitrary "Tuvarnex.xml" through the scanner service's slot loading and
// saving: whatever the file holds, the slots stay within their bounds, and a
// file the service saved loads back to the same slots.
#include <cstdint>
#include <string>

#include "platform/tests/fuzz_check.h"
#include "platform/tests/fuzz_xml_document.h"
#include "platform/text_codec.h"
#include "scanner/slot_config.h"

namespace {

// The slot store over a document kept as text, as the file is.
class TextSlotXml : public scanner::SlotXml {
public:
    explicit TextSlotXml(std::string text) : m_text(std::move(text)) {}
    bool Load() override { return m_doc.Parse(m_text); }
    scanner::XmlNode Root() override { return m_doc.Loaded() ? 1 : 0; }
    scanner::XmlNode Find(scanner::XmlNode parent, const std::string& name) override {
        if (!Valid(parent))
            return 0;
        const size_t found = m_doc.Find(static_cast<size_t>(parent - 1), name);
        return found == fuzz_xml::Document::npos ? 0 : static_cast<scanner::XmlNode>(found + 1);
    }
    void GetInt(scanner::XmlNode node, const char* name, int32_t& value) override {
        if (const std::string* t = Text(node, name))
            fuzz_xml::Document::ToInt(*t, value);
    }
    void GetFloat(scanner::XmlNode node, const char* name, float& value) override {
        if (const std::string* t = Text(node, name))
            fuzz_xml::Document::ToFloat(*t, value);
    }
    void GetString(scanner::XmlNode node, const char* name, std::u16string& value) override {
        if (const std::string* t = Text(node, name))
            value = platform::Utf8ToUtf16(*t);
    }
    void SetInt(scanner::XmlNode node, const char* name, int32_t value) override {
        Set(node, name, std::to_string(value));
    }
    void SetFloat(scanner::XmlNode node, const char* name, float value) override {
        char text[64];
        Set(node, name, std::string(text, std::to_chars(text, text + sizeof text, value).ptr));
    }
    void SetString(scanner::XmlNode node, const char* name, const std::u16string& value) override {
        Set(node, name, platform::Utf16ToUtf8(value));
    }
    bool Save() override {
        if (!m_doc.Loaded())
            return false;
        m_text = m_doc.Write();
        return true;
    }

private:
    bool Valid(scanner::XmlNode node) const {
        return node > 0 && static_cast<size_t>(node) <= m_doc.elements.size();
    }
    const std::string* Text(scanner::XmlNode node, const char* name) const {
        return Valid(node) ? m_doc.Attribute(static_cast<size_t>(node - 1), name) : nullptr;
    }
    void Set(scanner::XmlNode node, const char* name, std::string value) {
        if (Valid(node))
            m_doc.SetAttribute(static_cast<size_t>(node - 1), name, std::move(value));
    }

    std::string m_text;
    fuzz_xml::Document m_doc;
};

void CheckBounds(const scanner::AcquisitionSettings& s) {
    FUZZ_CHECK(s.scannerList.size() == s.scannerListSlots.size());
    FUZZ_CHECK(s.scannerList.size() <= static_cast<size_t>(scanner::kScannerSlots));
    for (int slot : s.scannerListSlots)
        FUZZ_CHECK(slot >= 0 && slot < scanner::kScannerSlots);
    FUZZ_CHECK(s.scannerCount >= 0);
    for (const scanner::ScannerSlot& slot : s.slots)
        FUZZ_CHECK(slot.itemNumber >= -1 && slot.modelIndex >= -1);
}

bool SameSlots(const scanner::AcquisitionSettings& a, const scanner::AcquisitionSettings& b) {
    for (int i = 0; i < scanner::kScannerSlots; ++i) {
        const scanner::ScannerSlot &x = a.slots[i], &y = b.slots[i];
        if (x.itemNumber != y.itemNumber || x.ipAddress != y.ipAddress ||
            x.modelIndex != y.modelIndex)
            return false;
    }
    return a.vehicleIndex == b.vehicleIndex && a.scannerList == b.scannerList;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte: the command line (none, or a vehicle index).
    scanner::CommandLine commandLine;
    commandLine.given = (data[0] & 1) != 0;
    commandLine.vehicleIndex = data[0] >> 1;
    TextSlotXml xml(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    scanner::AcquisitionSettings first;
    scanner::LoadSlots(&xml, commandLine, first);
    CheckBounds(first);

    // Saved as the service saves at close, the file loads to the same slots.
    scanner::SaveSlots(&xml, first);
    scanner::AcquisitionSettings second;
    scanner::LoadSlots(&xml, commandLine, second);
    CheckBounds(second);
    FUZZ_CHECK(SameSlots(first, second));

    scanner::AcquisitionSettings none;
    scanner::LoadSlots(nullptr, commandLine, none);
    CheckBounds(none);
    return 0;
}
