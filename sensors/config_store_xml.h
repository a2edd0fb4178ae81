// The suite's XML configuration file as the sensor service's ConfigStore.
#pragma once

#include <vector>

#include "common/xml_config.h"
#include "sensors/sensor_config.h"

class XmlConfigStore : public ConfigStore {
public:
    // `config`: the program's store (not owned); null: nothing is loaded.
    explicit XmlConfigStore(XmlConfig* config) : m_config(config) {}

    bool IsLoaded() const override;
    void Reload() override;
    void Save() override;
    Node Root() override;
    Node Find(Node parent, std::string_view name) override;
    void EnsureChild(Node parent, std::string_view name) override;
    void GetInt(Node node, std::string_view attribute, int32_t& value) override;
    void GetFloat(Node node, std::string_view attribute, float& value) override;
    void GetText(Node node, std::string_view attribute, std::string& value) override;
    void SetInt(Node node, std::string_view attribute, int32_t value) override;
    void SetText(Node node, std::string_view attribute, std::string_view value) override;

private:
    Node Keep(XmlElement element);
    IXMLDOMElement* Get(Node node) const;

    XmlConfig* m_config;
    // The elements handed out since the last reload; a node is its index + 1.
    std::vector<XmlElement> m_elements;
};
