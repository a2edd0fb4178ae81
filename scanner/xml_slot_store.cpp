#include "scanner/xml_slot_store.h"

#include <charconv>

#include "platform/text.h"

bool XmlSlotStore::Load() {
    m_nodes.clear();
    m_nodes.emplace_back();  // node 0: none
    return m_config != nullptr && m_config->Load() == 0;
}

scanner::XmlNode XmlSlotStore::Root() {
    return m_config != nullptr ? Keep(m_config->GetRoot()) : 0;
}

scanner::XmlNode XmlSlotStore::Find(scanner::XmlNode parent, const std::string& name) {
    IXMLDOMElement* element = Element(parent);
    if (m_config == nullptr || element == nullptr)
        return 0;
    return Keep(m_config->FindElement(element, platform::Utf8ToWide(name).c_str()));
}

void XmlSlotStore::GetInt(scanner::XmlNode node, const char* name, int32_t& value) {
    if (IXMLDOMElement* e = Element(node))
        m_config->GetIntAttribute(e, platform::Utf8ToWide(name).c_str(), value);
}

void XmlSlotStore::GetFloat(scanner::XmlNode node, const char* name, float& value) {
    if (IXMLDOMElement* e = Element(node))
        m_config->GetFloatAttribute(e, platform::Utf8ToWide(name).c_str(), value);
}

void XmlSlotStore::GetString(scanner::XmlNode node, const char* name, std::u16string& value) {
    IXMLDOMElement* e = Element(node);
    if (e == nullptr)
        return;
    std::wstring text = platform::ToWide(value);
    m_config->GetStringAttribute(e, platform::Utf8ToWide(name).c_str(), text);
    value = platform::ToU16(text);
}

void XmlSlotStore::SetInt(scanner::XmlNode node, const char* name, int32_t value) {
    if (IXMLDOMElement* e = Element(node))
        m_config->SetAttribute(e, platform::Utf8ToWide(name).c_str(), value);
}

void XmlSlotStore::SetFloat(scanner::XmlNode node, const char* name, float value) {
    if (IXMLDOMElement* e = Element(node))
        m_config->SetAttribute(e, platform::Utf8ToWide(name).c_str(), FloatText(value));
}

void XmlSlotStore::SetString(scanner::XmlNode node, const char* name, const std::u16string& value) {
    if (IXMLDOMElement* e = Element(node))
        m_config->SetAttribute(e, platform::Utf8ToWide(name).c_str(), platform::ToWide(value));
}

bool XmlSlotStore::Save() {
    return m_config != nullptr && m_config->Save() == 0;
}

std::wstring XmlSlotStore::FloatText(float value) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::wstring(text, r.ptr);
}

IXMLDOMElement* XmlSlotStore::Element(scanner::XmlNode node) const {
    if (node <= 0 || static_cast<size_t>(node) >= m_nodes.size())
        return nullptr;
    return m_nodes[static_cast<size_t>(node)].Get();
}

scanner::XmlNode XmlSlotStore::Keep(XmlElement element) {
    if (!element)
        return 0;
    if (m_nodes.empty())
        m_nodes.emplace_back();
    m_nodes.push_back(std::move(element));
    return static_cast<scanner::XmlNode>(m_nodes.size() - 1);
}
