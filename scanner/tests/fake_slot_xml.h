// An in-memory configuration document for the slot rules: elements with
// attributes kept as text, as the file keeps them.
#pragma once

#include <charconv>
#include <map>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "scanner/slot_config.h"

namespace scan_test {

class FakeSlotXml : public scanner::SlotXml {
public:
    struct Element {
        std::string name;
        int parent = 0;
        std::map<std::string, std::string> attributes;  // UTF-8
    };

    FakeSlotXml() {
        m_elements.push_back({"", -1, {}});  // node 0: none
        m_elements.push_back({"CONFIGURATION", 0, {}});
    }

    // Adds an element under `parent` (1 = the root) and returns its node.
    int Add(int parent, const std::string& name,
            std::map<std::string, std::string> attributes = {}) {
        m_elements.push_back({name, parent, std::move(attributes)});
        return static_cast<int>(m_elements.size()) - 1;
    }
    Element& At(int node) { return m_elements.at(node); }
    std::string Attribute(int node, const std::string& name) {
        auto& a = m_elements.at(node).attributes;
        auto it = a.find(name);
        return it == a.end() ? "<absent>" : it->second;
    }

    int loads = 0, saves = 0;
    bool loadable = true;

    bool Load() override {
        ++loads;
        return loadable;
    }
    scanner::XmlNode Root() override { return loadable ? 1 : 0; }
    scanner::XmlNode Find(scanner::XmlNode parent, const std::string& name) override {
        if (parent <= 0)
            return 0;
        for (size_t i = 1; i < m_elements.size(); ++i) {
            if (m_elements[i].parent == parent && m_elements[i].name == name)
                return static_cast<int>(i);
        }
        return 0;
    }
    void GetInt(scanner::XmlNode node, const char* name, int32_t& value) override {
        const std::string* text = Text(node, name);
        int32_t v = 0;
        if (text && std::from_chars(text->data(), text->data() + text->size(), v).ptr ==
                        text->data() + text->size())
            value = v;
    }
    void GetFloat(scanner::XmlNode node, const char* name, float& value) override {
        const std::string* text = Text(node, name);
        float v = 0;
        if (text && std::from_chars(text->data(), text->data() + text->size(), v).ptr ==
                        text->data() + text->size())
            value = v;
    }
    void GetString(scanner::XmlNode node, const char* name, std::u16string& value) override {
        if (const std::string* text = Text(node, name))
            value = platform::Utf8ToUtf16(*text);
    }
    void SetInt(scanner::XmlNode node, const char* name, int32_t value) override {
        Set(node, name, std::to_string(value));
    }
    void SetFloat(scanner::XmlNode node, const char* name, float value) override {
        char text[64];
        Set(node, name, std::string(text, std::to_chars(text, text + 64, value).ptr));
    }
    void SetString(scanner::XmlNode node, const char* name, const std::u16string& value) override {
        Set(node, name, platform::Utf16ToUtf8(value));
    }
    bool Save() override {
        ++saves;
        return true;
    }

private:
    const std::string* Text(int node, const char* name) {
        if (node <= 0 || node >= static_cast<int>(m_elements.size()))
            return nullptr;
        auto& a = m_elements[node].attributes;
        auto it = a.find(name);
        return it == a.end() ? nullptr : &it->second;
    }
    void Set(int node, const char* name, std::string value) {
        if (node > 0 && node < static_cast<int>(m_elements.size()))
            m_elements[node].attributes[name] = std::move(value);
    }

    std::vector<Element> m_elements;
};

}  // namespace scan_test
