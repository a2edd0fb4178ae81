#include "sensors/config_store_xml.h"

#include "platform/text.h"

namespace {

std::wstring Wide(std::string_view utf8) {
    return platform::Utf8ToWide(utf8);
}

}  // namespace

bool XmlConfigStore::IsLoaded() const {
    return m_config != nullptr && m_config->HasDocument();
}

void XmlConfigStore::Reload() {
    m_elements.clear();
    if (m_config != nullptr)
        m_config->Load();
}

void XmlConfigStore::Save() {
    if (m_config != nullptr)
        m_config->Save();
}

ConfigStore::Node XmlConfigStore::Keep(XmlElement element) {
    if (!element)
        return {};
    m_elements.push_back(std::move(element));
    return Node{m_elements.size()};
}

IXMLDOMElement* XmlConfigStore::Get(Node node) const {
    return node && node.id <= m_elements.size() ? m_elements[node.id - 1].Get() : nullptr;
}

ConfigStore::Node XmlConfigStore::Root() {
    return m_config != nullptr ? Keep(m_config->GetRoot()) : Node{};
}

ConfigStore::Node XmlConfigStore::Find(Node parent, std::string_view name) {
    IXMLDOMElement* p = Get(parent);
    if (p == nullptr)
        return {};
    return Keep(m_config->FindElement(p, Wide(name).c_str()));
}

void XmlConfigStore::EnsureChild(Node parent, std::string_view name) {
    if (IXMLDOMElement* p = Get(parent))
        m_config->EnsureChildElement(p, Wide(name).c_str());
}

void XmlConfigStore::GetInt(Node node, std::string_view attribute, int32_t& value) {
    if (IXMLDOMElement* e = Get(node))
        m_config->GetIntAttribute(e, Wide(attribute).c_str(), value);
}

void XmlConfigStore::GetFloat(Node node, std::string_view attribute, float& value) {
    if (IXMLDOMElement* e = Get(node))
        m_config->GetFloatAttribute(e, Wide(attribute).c_str(), value);
}

void XmlConfigStore::GetText(Node node, std::string_view attribute, std::string& value) {
    IXMLDOMElement* e = Get(node);
    if (e == nullptr)
        return;
    // The store keeps the text it is given when the attribute is missing.
    std::wstring text = Wide(value);
    m_config->GetStringAttribute(e, Wide(attribute).c_str(), text);
    value = platform::WideToUtf8(text);
}

void XmlConfigStore::SetInt(Node node, std::string_view attribute, int32_t value) {
    if (IXMLDOMElement* e = Get(node))
        m_config->SetAttribute(e, Wide(attribute).c_str(), value);
}

void XmlConfigStore::SetText(Node node, std::string_view attribute, std::string_view value) {
    if (IXMLDOMElement* e = Get(node))
        m_config->SetAttribute(e, Wide(attribute).c_str(), Wide(value));
}
