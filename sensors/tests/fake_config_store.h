// An in-memory configuration store with a separate "file": Save copies the
// document to the file, Reload copies it back, so tests can change the file
// behind the service's back as another program of the suite would.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sensors/sensor_config.h"

class FakeConfigStore : public ConfigStore {
public:
    struct Element {
        std::string name;
        std::map<std::string, std::string> attributes;
        std::vector<std::unique_ptr<Element>> children;

        Element* Child(const std::string& childName) {
            for (auto& c : children)
                if (c->name == childName)
                    return c.get();
            return nullptr;
        }
        Element& Add(const std::string& childName) {
            children.push_back(std::make_unique<Element>());
            children.back()->name = childName;
            return *children.back();
        }
        std::unique_ptr<Element> Clone() const {
            auto e = std::make_unique<Element>();
            e->name = name;
            e->attributes = attributes;
            for (const auto& c : children)
                e->children.push_back(c->Clone());
            return e;
        }
    };

    FakeConfigStore() {
        m_file = std::make_unique<Element>();
        m_file->name = "CONFIGURATION";
        Reload();
    }

    // The file's root, for tests to fill and inspect.
    Element& File() { return *m_file; }
    int Saves() const { return m_saves; }
    int Reloads() const { return m_reloads; }
    void SetLoaded(bool loaded) { m_loaded = loaded; }

    bool IsLoaded() const override { return m_loaded; }
    void Reload() override {
        ++m_reloads;
        m_doc = m_file->Clone();
        m_nodes.clear();
    }
    void Save() override {
        ++m_saves;
        m_file = m_doc->Clone();
    }
    Node Root() override { return Handle(m_doc.get()); }
    Node Find(Node parent, std::string_view name) override {
        Element* p = Get(parent);
        return p ? Handle(p->Child(std::string(name))) : Node{};
    }
    void EnsureChild(Node parent, std::string_view name) override {
        if (Element* p = Get(parent); p && !p->Child(std::string(name)))
            p->Add(std::string(name));
    }
    void GetInt(Node node, std::string_view attribute, int32_t& value) override {
        if (const std::string* text = Attribute(node, attribute)) {
            char* end = nullptr;
            const long v = std::strtol(text->c_str(), &end, 10);
            if (!text->empty() && *end == '\0')
                value = static_cast<int32_t>(v);
        }
    }
    void GetFloat(Node node, std::string_view attribute, float& value) override {
        if (const std::string* text = Attribute(node, attribute)) {
            char* end = nullptr;
            const float v = std::strtof(text->c_str(), &end);
            if (!text->empty() && *end == '\0')
                value = v;
        }
    }
    void GetText(Node node, std::string_view attribute, std::string& value) override {
        if (const std::string* text = Attribute(node, attribute))
            value = *text;
    }
    void SetInt(Node node, std::string_view attribute, int32_t value) override {
        if (Element* e = Get(node))
            e->attributes[std::string(attribute)] = std::to_string(value);
    }
    void SetText(Node node, std::string_view attribute, std::string_view value) override {
        if (Element* e = Get(node))
            e->attributes[std::string(attribute)] = std::string(value);
    }

private:
    Node Handle(Element* e) {
        if (e == nullptr)
            return {};
        m_nodes.push_back(e);
        return Node{m_nodes.size()};
    }
    Element* Get(Node node) {
        return node && node.id <= m_nodes.size() ? m_nodes[node.id - 1] : nullptr;
    }
    const std::string* Attribute(Node node, std::string_view attribute) {
        Element* e = Get(node);
        if (e == nullptr)
            return nullptr;
        auto it = e->attributes.find(std::string(attribute));
        return it == e->attributes.end() ? nullptr : &it->second;
    }

    std::unique_ptr<Element> m_file;
    std::unique_ptr<Element> m_doc;
    std::vector<Element*> m_nodes;  // handles since the last Reload
    bool m_loaded = true;
    int m_saves = 0;
    int m_reloads = 0;
};
