// An arbitrary "Tuvarnex.xml" through the sensor service's configuration
// loading and saving: every role names an input of its purpose, and what
// the service saved loads back to the same channel assignment.
#include <cstdint>
#include <string>

#include "platform/tests/fuzz_check.h"
#include "platform/tests/fuzz_xml_document.h"
#include "sensors/sensor_config.h"

namespace {

// The store over a document kept as text, as the file is.
class TextConfigStore : public ConfigStore {
public:
    explicit TextConfigStore(std::string text) : m_text(std::move(text)) { Reload(); }
    bool IsLoaded() const override { return m_doc.Loaded(); }
    void Reload() override { m_doc.Parse(m_text); }
    void Save() override {
        if (m_doc.Loaded())
            m_text = m_doc.Write();
    }
    Node Root() override { return Node{m_doc.Loaded() ? 1u : 0u}; }
    Node Find(Node parent, std::string_view name) override {
        if (!Valid(parent))
            return Node{};
        const size_t found = m_doc.Find(parent.id - 1, name);
        return Node{found == fuzz_xml::Document::npos ? 0u : found + 1};
    }
    void EnsureChild(Node parent, std::string_view name) override {
        if (Valid(parent) && m_doc.Find(parent.id - 1, name) == fuzz_xml::Document::npos)
            m_doc.AppendChild(parent.id - 1, name);
    }
    void GetInt(Node node, std::string_view attribute, int32_t& value) override {
        if (const std::string* t = Text(node, attribute))
            fuzz_xml::Document::ToInt(*t, value);
    }
    void GetFloat(Node node, std::string_view attribute, float& value) override {
        if (const std::string* t = Text(node, attribute))
            fuzz_xml::Document::ToFloat(*t, value);
    }
    void GetText(Node node, std::string_view attribute, std::string& value) override {
        if (const std::string* t = Text(node, attribute))
            value = *t;
    }
    void SetInt(Node node, std::string_view attribute, int32_t value) override {
        if (Valid(node))
            m_doc.SetAttribute(node.id - 1, attribute, std::to_string(value));
    }
    void SetText(Node node, std::string_view attribute, std::string_view value) override {
        if (Valid(node))
            m_doc.SetAttribute(node.id - 1, attribute, std::string(value));
    }

private:
    bool Valid(Node node) const { return node.id > 0 && node.id <= m_doc.elements.size(); }
    const std::string* Text(Node node, std::string_view attribute) const {
        return Valid(node) ? m_doc.Attribute(node.id - 1, attribute) : nullptr;
    }

    std::string m_text;
    fuzz_xml::Document m_doc;
};

void CheckRoles(SensorConfig& config) {
    ChannelRoles& roles = config.setup.roles;
    for (int32_t purpose = 0; purpose < kPurposeCount; ++purpose) {
        const int32_t* input = roles.ForPurpose(purpose);
        FUZZ_CHECK(input != nullptr);
        FUZZ_CHECK(*input == -1 || IsInput(*input));
        if (IsInput(*input))
            FUZZ_CHECK(config.setup.channels[*input].purpose == purpose);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextConfigStore store(std::string(reinterpret_cast<const char*>(data), size));
    SensorConfig first;
    LoadSensorConfig(&store, first);
    CheckRoles(first);

    SaveSensorConfig(&store, first);
    store.Reload();
    SensorConfig second;
    LoadSensorConfig(&store, second);
    CheckRoles(second);
    for (int i = 0; i < kInputCount; ++i)
        FUZZ_CHECK(second.setup.channels[i].purpose == first.setup.channels[i].purpose);
    return 0;
}
