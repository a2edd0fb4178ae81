// A small XML document for the fuzz targets of the configuration loaders:
// elements and their attributes parsed from arbitrary text (UTF-8), read and
// changed through handles, and written back as text, so that a target can
// load, save and load again the way the services do with "Tuvarnex.xml".
//
// It takes what a configuration file holds (a prolog, comments, elements,
// attributes in either quotes, the five named entities and character
// references) and refuses the rest, as the Windows XML parser refuses a file
// that is not well-formed. Text between elements is ignored.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzz_xml {

struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<size_t> children;  // indices into Document::elements
};

class Document {
public:
    // Replaces the document by `text`; false (and no document) when the text
    // is not a well-formed document.
    bool Parse(std::string_view text) {
        elements.clear();
        m_text = text;
        m_at = 0;
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF")
            m_at = 3;
        std::vector<size_t> open;
        bool rootDone = false;
        while (m_at < m_text.size()) {
            if (m_text[m_at] != '<') {
                if (open.empty() && !IsSpace(m_text[m_at]))
                    return Fail();  // text outside the root
                ++m_at;
                continue;
            }
            if (Skip("<?", "?>") || Skip("<!--", "-->") || Skip("<![CDATA[", "]]>")) {
                if (m_at == std::string_view::npos)
                    return Fail();
                continue;
            }
            if (m_text.substr(m_at, 2) == "<!") {
                if (!open.empty() || rootDone || !SkipTo(">"))
                    return Fail();
                continue;
            }
            if (m_text.substr(m_at, 2) == "</") {
                m_at += 2;
                const std::string name = Name();
                SkipSpaces();
                if (open.empty() || name != elements[open.back()].name || !Take('>'))
                    return Fail();
                open.pop_back();
                if (open.empty())
                    rootDone = true;
                continue;
            }
            ++m_at;
            if (rootDone || open.size() >= kMaxDepth)
                return Fail();
            Element e;
            e.name = Name();
            if (e.name.empty())
                return Fail();
            bool selfClosing = false;
            for (;;) {
                SkipSpaces();
                if (Take('>'))
                    break;
                if (m_text.substr(m_at, 2) == "/>") {
                    m_at += 2;
                    selfClosing = true;
                    break;
                }
                std::string attribute = Name();
                SkipSpaces();
                if (attribute.empty() || !Take('='))
                    return Fail();
                SkipSpaces();
                std::string value;
                if (!QuotedValue(value))
                    return Fail();
                for (const auto& a : e.attributes)
                    if (a.first == attribute)
                        return Fail();  // an attribute given twice
                e.attributes.emplace_back(std::move(attribute), std::move(value));
            }
            const size_t index = elements.size();
            if (!open.empty())
                elements[open.back()].children.push_back(index);
            elements.push_back(std::move(e));
            if (selfClosing) {
                if (open.empty())
                    rootDone = true;
            } else {
                open.push_back(index);
            }
        }
        if (!rootDone || !open.empty())
            return Fail();
        return true;
    }

    bool Loaded() const { return !elements.empty(); }

    // The document as text: a prolog, then the elements, attributes escaped.
    std::string Write() const {
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        if (Loaded())
            WriteElement(0, out);
        return out;
    }

    // The first child of `parent` named `name`, or npos.
    size_t Find(size_t parent, std::string_view name) const {
        for (size_t child : elements[parent].children)
            if (elements[child].name == name)
                return child;
        return npos;
    }

    const std::string* Attribute(size_t element, std::string_view name) const {
        for (const auto& a : elements[element].attributes)
            if (a.first == name)
                return &a.second;
        return nullptr;
    }

    void SetAttribute(size_t element, std::string_view name, std::string value) {
        for (auto& a : elements[element].attributes)
            if (a.first == name) {
                a.second = std::move(value);
                return;
            }
        elements[element].attributes.emplace_back(std::string(name), std::move(value));
    }

    void AppendChild(size_t parent, std::string_view name) {
        Element e;
        e.name = std::string(name);
        elements[parent].children.push_back(elements.size());
        elements.push_back(std::move(e));
    }

    // Whole-text conversions, as a typed read of an attribute: anything
    // else does not convert.
    static bool ToInt(const std::string& text, int32_t& value) {
        int32_t v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size())
            return false;
        value = v;
        return true;
    }
    static bool ToFloat(const std::string& text, float& value) {
        float v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size())
            return false;
        value = v;
        return true;
    }

    static constexpr size_t npos = static_cast<size_t>(-1);
    std::vector<Element> elements;  // elements[0] is the root

private:
    static constexpr size_t kMaxDepth = 64;

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    bool Fail() {
        elements.clear();
        return false;
    }
    void SkipSpaces() {
        while (m_at < m_text.size() && IsSpace(m_text[m_at]))
            ++m_at;
    }
    bool Take(char c) {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    // Skips a construct from `open` to `close`; m_at becomes npos when it
    // does not end. False when the text does not start with `open` here.
    bool Skip(std::string_view open, std::string_view close) {
        if (m_text.substr(m_at, open.size()) != open)
            return false;
        const size_t end = m_text.find(close, m_at + open.size());
        m_at = end == std::string_view::npos ? end : end + close.size();
        return true;
    }
    bool SkipTo(std::string_view close) {
        const size_t end = m_text.find(close, m_at);
        if (end == std::string_view::npos)
            return false;
        m_at = end + close.size();
        return true;
    }
    std::string Name() {
        const size_t start = m_at;
        while (m_at < m_text.size() && !IsSpace(m_text[m_at]) &&
               std::string_view("/>=<\"'&").find(m_text[m_at]) == std::string_view::npos)
            ++m_at;
        return std::string(m_text.substr(start, m_at - start));
    }
    bool QuotedValue(std::string& value) {
        if (m_at >= m_text.size() || (m_text[m_at] != '"' && m_text[m_at] != '\''))
            return false;
        const char quote = m_text[m_at++];
        while (m_at < m_text.size() && m_text[m_at] != quote) {
            const char c = m_text[m_at];
            if (c == '<')
                return false;
            if (c != '&') {
                value.push_back(c);
                ++m_at;
                continue;
            }
            const size_t end = m_text.find(';', m_at);
            if (end == std::string_view::npos || end - m_at > 10)
                return false;
            const std::string_view entity = m_text.substr(m_at + 1, end - m_at - 1);
            m_at = end + 1;
            if (entity == "amp")
                value.push_back('&');
            else if (entity == "lt")
                value.push_back('<');
            else if (entity == "gt")
                value.push_back('>');
            else if (entity == "quot")
                value.push_back('"');
            else if (entity == "apos")
                value.push_back('\'');
            else if (!CharacterReference(entity, value))
                return false;
        }
        return Take(quote);
    }
    static bool CharacterReference(std::string_view entity, std::string& out) {
        if (entity.size() < 2 || entity[0] != '#')
            return false;
        const bool hex = entity[1] == 'x';
        const std::string_view digits = entity.substr(hex ? 2 : 1);
        uint32_t code = 0;
        const auto r =
            std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
        if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || code == 0 ||
            code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        return true;
    }
    static void Escape(const std::string& text, std::string& out) {
        for (char c : text) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                default:
                    out.push_back(c);
            }
        }
    }
    void WriteElement(size_t index, std::string& out) const {
        // Iterative: the depth is bounded, but a deep stack is not needed.
        struct Step {
            size_t element;
            size_t next;
        };
        std::vector<Step> stack{{index, 0}};
        while (!stack.empty()) {
            Step& s = stack.back();
            const Element& e = elements[s.element];
            if (s.next == 0) {
                out += '<' + e.name;
                for (const auto& a : e.attributes) {
                    out += ' ' + a.first + "=\"";
                    Escape(a.second, out);
                    out += '"';
                }
                if (e.children.empty()) {
                    out += "/>";
                    stack.pop_back();
                    continue;
                }
                out += '>';
            }
            if (s.next < e.children.size()) {
                const size_t child = e.children[s.next++];
                stack.push_back({child, 0});
                continue;
            }
            out += "</" + e.name + '>';
            stack.pop_back();
        }
    }

    std::string_view m_text;
    size_t m_at = 0;
};

}  // namespace fuzz_xml
