// The slots' view of the suite's XML configuration store ("Tuvarnex.xml").
// Angles are written as text with a decimal point, whatever the user's
// locale, and in their shortest exact form ("-45", "12.7").
#pragma once

#include <vector>

#include "common/xml_config.h"
#include "scanner/slot_config.h"

class XmlSlotStore : public scanner::SlotXml {
public:
    // `config` may be null: no configuration document.
    explicit XmlSlotStore(XmlConfig* config) : m_config(config) {}

    // The store to hand to the slot rules: null when there is no document.
    scanner::SlotXml* IfAvailable() {
        return m_config != nullptr && m_config->HasDocument() ? this : nullptr;
    }

    bool Load() override;
    scanner::XmlNode Root() override;
    scanner::XmlNode Find(scanner::XmlNode parent, const std::string& name) override;
    void GetInt(scanner::XmlNode node, const char* name, int32_t& value) override;
    void GetFloat(scanner::XmlNode node, const char* name, float& value) override;
    void GetString(scanner::XmlNode node, const char* name, std::u16string& value) override;
    void SetInt(scanner::XmlNode node, const char* name, int32_t value) override;
    void SetFloat(scanner::XmlNode node, const char* name, float value) override;
    void SetString(scanner::XmlNode node, const char* name, const std::u16string& value) override;
    bool Save() override;

    // "%g"-like shortest text of a float with a point (exposed for tests).
    static std::wstring FloatText(float value);

private:
    IXMLDOMElement* Element(scanner::XmlNode node) const;
    scanner::XmlNode Keep(XmlElement element);

    XmlConfig* m_config;
    // Elements handed out since the last Load; a node is an index here.
    std::vector<XmlElement> m_nodes;
};
