// The suite's XML configuration file "Tuvarnex.xml" beside the programs,
// through an MSXML 6.0 DOM document.
//
// Each program keeps its device options as attributes of its own element
// under the root CONFIGURATION. Programs of the suite (and the configuration
// tool) share the file without a lock, so every read or update cycle starts
// with Load and an update ends with Save:
//   Load, GetRoot, FindElement (EnsureChildElement + FindElement when
//   missing), the reads or SetAttribute calls, Save.
// Numbers are read and written with the US English conventions (locale
// 1033): a point as the decimal separator. COM must be initialised on the
// calling thread.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <cstdint>
#include <string>

#include "platform/handles.h"

using XmlElement = platform::ComPtr<IXMLDOMElement>;

class XmlConfig {
public:
    // The configuration file's name beside the programs.
    static constexpr const wchar_t* kFileName = L"Tuvarnex.xml";

    explicit XmlConfig(std::wstring path);
    ~XmlConfig();
    XmlConfig(const XmlConfig&) = delete;
    XmlConfig& operator=(const XmlConfig&) = delete;

    // "<folder of the program file>\Tuvarnex.xml".
    static std::wstring DefaultPath();

    // Creates the document and loads the file, creating it with the default
    // content first when it does not exist. Without MSXML 6.0 the document
    // stays null and the program runs on its defaults. Returns Load's result
    // (0 also when there is no document, as Load gives).
    long Open();

    // 0 when the file was loaded (or there is no document); non-zero when not.
    // A file that does not parse is reported with the parser's reason.
    long Load();
    // The DOM's save result (0 on success); 1 when there is no document.
    long Save();

    XmlElement GetRoot();
    // The first node `name` (an XPath relative to `parent`) selects, as an
    // element; null when none or when `parent` is null.
    XmlElement FindElement(IXMLDOMElement* parent, const wchar_t* name);
    // 1 when `parent` is null or `name` already selects a node; otherwise
    // appends the new element on its own indented line and returns the last
    // append's result (0 on success).
    long EnsureChildElement(IXMLDOMElement* parent, const wchar_t* name);

    // Typed reads: on success `value` is replaced; on any failure (no element,
    // no attribute, not convertible) it keeps the caller's default.
    void GetIntAttribute(IXMLDOMElement* element, const wchar_t* name, int32_t& value);
    void GetFloatAttribute(IXMLDOMElement* element, const wchar_t* name, float& value);
    void GetStringAttribute(IXMLDOMElement* element, const wchar_t* name, std::wstring& value);

    // Typed writes onto the element (numbers as locale 1033 text). 0 on success.
    long SetAttribute(IXMLDOMElement* element, const wchar_t* name, int32_t value);
    long SetAttribute(IXMLDOMElement* element, const wchar_t* name, uint32_t value);
    long SetAttribute(IXMLDOMElement* element, const wchar_t* name, double value);
    long SetAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& value);

    // Writes the declaration and an empty CONFIGURATION root, replacing the
    // file. Failure is silent.
    void CreateDefaultFile();

    const std::wstring& Path() const { return m_path; }
    bool HasDocument() const { return static_cast<bool>(m_document); }

private:
    long SetVariantAttribute(IXMLDOMElement* element, const wchar_t* name, VARIANT& value);

    std::wstring m_path;
    platform::ComPtr<IXMLDOMDocument> m_document;
};
