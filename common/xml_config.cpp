#include "common/xml_config.h"

#include <atomic>
#include <cstdio>
#include <cwchar>

#include "platform/notifier.h"
#include "platform/text.h"

namespace {

// MSXML 6.0's document class; the MinGW headers do not carry it.
const CLSID kClsidDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID kIidXmlDomDocument = {
    0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIidXmlDomElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// Numbers in the file follow US English conventions.
constexpr LCID kNumberLocale = 1033;

constexpr const char* kDefaultContent =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CONFIGURATION>\n</CONFIGURATION>\n";

// Owns one BSTR.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : m_value(::SysAllocString(text ? text : L"")) {}
    Bstr() = default;
    ~Bstr() { ::SysFreeString(m_value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return m_value; }
    BSTR* Put() {
        ::SysFreeString(m_value);
        m_value = nullptr;
        return &m_value;
    }
    std::wstring Text() const {
        return m_value ? std::wstring(m_value, ::SysStringLen(m_value)) : L"";
    }

private:
    BSTR m_value = nullptr;
};

// Owns one VARIANT.
class Variant {
public:
    Variant() { ::VariantInit(&m_value); }
    ~Variant() { ::VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT& Get() { return m_value; }
    VARIANT* Put() {
        ::VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

// "<target>.<process id>.<save number>.saving", beside the target.
std::wstring SaveFilePath(const std::wstring& target) {
    static std::atomic<uint32_t> s_saves{0};
    return target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
           std::to_wstring(++s_saves) + L".saving";
}

// Another program of the suite loading the file holds it open for a few
// milliseconds, and the file can't be replaced meanwhile: the replacement is
// tried again for up to half a second before the file is written in place.
constexpr int kReplaceAttempts = 50;
constexpr DWORD kReplaceRetryMs = 10;
// Loads that fail are tried again for up to 100 ms (see Load).
constexpr int kLoadAttempts = 6;
constexpr DWORD kLoadRetryMs = 20;

bool ReplaceFile(const std::wstring& source, const std::wstring& target) {
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                          error == ERROR_LOCK_VIOLATION;
        if (!busy || attempt == kReplaceAttempts)
            return false;
        ::Sleep(kReplaceRetryMs);
    }
}

XmlElement AsElement(IXMLDOMNode* node) {
    XmlElement element;
    if (node)
        node->QueryInterface(kIidXmlDomElement, element.PutVoid());
    return element;
}

// The attribute's value, converted to `type` with the file's number
// conventions; false when absent or not convertible.
bool ReadAttribute(IXMLDOMElement* element, const wchar_t* name, VARTYPE type, Variant& out) {
    if (!element || !name)
        return false;
    Bstr attribute(name);
    if (element->getAttribute(attribute.Get(), out.Put()) != S_OK)
        return false;
    VARIANT& v = out.Get();
    if (v.vt == VT_NULL || v.vt == VT_EMPTY)
        return false;
    // Under US English rules a comma is a thousands separator, so "12,5"
    // would convert to 125: a decimal comma is refused, never misread.
    if (type != VT_BSTR && v.vt == VT_BSTR && v.bstrVal && std::wcschr(v.bstrVal, L','))
        return false;
    return SUCCEEDED(::VariantChangeTypeEx(&v, &v, kNumberLocale, 0, type)) && v.vt == type;
}

}  // namespace

XmlConfig::XmlConfig(std::wstring path) : m_path(std::move(path)) {}

XmlConfig::~XmlConfig() = default;

std::wstring XmlConfig::DefaultPath() {
    wchar_t module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, n);
    const size_t slash = path.find_last_of(L'\\');
    path.erase(slash == std::wstring::npos ? 0 : slash);
    return path + L"\\" + kFileName;
}

long XmlConfig::Open() {
    m_document.Reset();
    if (FAILED(::CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidXmlDomDocument, m_document.PutVoid())) ||
        !m_document) {
        m_document.Reset();
        return 0;
    }
    m_document->put_async(VARIANT_FALSE);
    m_document->put_validateOnParse(VARIANT_FALSE);
    m_document->put_resolveExternals(VARIANT_FALSE);
    // The file is edited by hand and by the suite's configuration tool too:
    // keep its line breaks and indentation through every load and save.
    m_document->put_preserveWhiteSpace(VARIANT_TRUE);

    // Only a file that is not there gets the default content. One that is
    // there but can't be opened just now (another program holds it) or does
    // not parse keeps what the other programs of the suite stored in it.
    platform::UniqueFile probe(::CreateFileW(
        m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            CreateDefaultFile();
    }
    probe.Reset();
    return Load();
}

long XmlConfig::Load() {
    if (!m_document)
        return 0;
    Variant source;
    source.Get().vt = VT_BSTR;
    source.Get().bstrVal = ::SysAllocString(m_path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = S_OK;
    // While another program of the suite replaces the file, opening it fails
    // for a moment (the DOM opens it without delete sharing) and the DOM
    // reports that as a failed parse: the load is tried again before the
    // failure counts. A file that really does not parse fails every time.
    for (int attempt = 1;; ++attempt) {
        hr = m_document->load(source.Get(), &loaded);
        if (hr == S_OK && loaded == VARIANT_TRUE)
            return 0;
        if (attempt == kLoadAttempts)
            break;
        ::Sleep(kLoadRetryMs);
    }

    platform::ComPtr<IXMLDOMParseError> error;
    long code = 0;
    if (SUCCEEDED(m_document->get_parseError(error.Put())) && error &&
        SUCCEEDED(error->get_errorCode(&code)) && code != 0) {
        Bstr reason;
        error->get_reason(reason.Put());
        platform::ShowMessage("Failed to load DOM from .xml. " +
                              platform::WideToUtf8(reason.Text()) + "\n");
    }
    return FAILED(hr) ? hr : 1;
}

long XmlConfig::Save() {
    if (!m_document)
        return 1;
    // A document that did not load has no root; saving it would replace the
    // file other programs share with an empty one.
    platform::ComPtr<IXMLDOMElement> root;
    if (m_document->get_documentElement(root.Put()) != S_OK || !root)
        return 1;
    // The document goes to a file of its own beside the target first and then
    // replaces the target in one step, so a program of the suite that loads
    // the file meanwhile sees the old or the new content, never half of it,
    // and a save cut short leaves the old file whole. When the target can't
    // be replaced (a program holds it without sharing) it is written in place.
    // The file's name belongs to this save of this process: programs saving
    // at the same moment never write into or rename each other's file.
    const std::wstring temp = SaveFilePath(m_path);
    Variant tempTarget;
    tempTarget.Get().vt = VT_BSTR;
    tempTarget.Get().bstrVal = ::SysAllocString(temp.c_str());
    if (SUCCEEDED(m_document->save(tempTarget.Get())) && ReplaceFile(temp, m_path))
        return 0;
    ::DeleteFileW(temp.c_str());
    Variant target;
    target.Get().vt = VT_BSTR;
    target.Get().bstrVal = ::SysAllocString(m_path.c_str());
    return m_document->save(target.Get());
}

XmlElement XmlConfig::GetRoot() {
    XmlElement root;
    if (m_document && m_document->get_documentElement(root.Put()) != S_OK)
        root.Reset();
    return root;
}

XmlElement XmlConfig::FindElement(IXMLDOMElement* parent, const wchar_t* name) {
    if (!parent || !name)
        return {};
    Bstr query(name);
    platform::ComPtr<IXMLDOMNode> node;
    if (parent->selectSingleNode(query.Get(), node.Put()) != S_OK || !node)
        return {};
    return AsElement(node.Get());
}

long XmlConfig::EnsureChildElement(IXMLDOMElement* parent, const wchar_t* name) {
    if (!parent || !name || !m_document)
        return 1;
    if (FindElement(parent, name))
        return 1;
    Bstr elementName(name);
    platform::ComPtr<IXMLDOMElement> element;
    HRESULT hr = m_document->createElement(elementName.Get(), element.Put());
    if (FAILED(hr) || !element)
        return FAILED(hr) ? hr : E_FAIL;

    // Line break, tab, the element, line break: one element per indented line.
    auto textNode = [&](const wchar_t* text) {
        Bstr content(text);
        platform::ComPtr<IXMLDOMText> node;
        m_document->createTextNode(content.Get(), node.Put());
        return node;
    };
    platform::ComPtr<IXMLDOMText> breakBefore = textNode(L"\n");
    platform::ComPtr<IXMLDOMText> tab = textNode(L"\t");
    platform::ComPtr<IXMLDOMText> breakAfter = textNode(L"\n");
    IXMLDOMNode* children[] = {breakBefore.Get(), tab.Get(), element.Get(), breakAfter.Get()};
    for (IXMLDOMNode* child : children) {
        if (!child)
            return E_OUTOFMEMORY;
        platform::ComPtr<IXMLDOMNode> appended;
        hr = parent->appendChild(child, appended.Put());
    }
    return hr;
}

void XmlConfig::GetIntAttribute(IXMLDOMElement* element, const wchar_t* name, int32_t& value) {
    Variant v;
    if (ReadAttribute(element, name, VT_I4, v))
        value = v.Get().lVal;
}

void XmlConfig::GetFloatAttribute(IXMLDOMElement* element, const wchar_t* name, float& value) {
    Variant v;
    if (ReadAttribute(element, name, VT_R4, v))
        value = v.Get().fltVal;
}

void XmlConfig::GetStringAttribute(IXMLDOMElement* element, const wchar_t* name,
                                   std::wstring& value) {
    Variant v;
    if (ReadAttribute(element, name, VT_BSTR, v))
        value = v.Get().bstrVal ? std::wstring(v.Get().bstrVal, ::SysStringLen(v.Get().bstrVal))
                                : std::wstring();
}

long XmlConfig::SetVariantAttribute(IXMLDOMElement* element, const wchar_t* name, VARIANT& value) {
    if (!element || !name)
        return 1;
    // Numbers become text here, under the file's conventions, rather than
    // in the DOM under the user's locale (a decimal comma on Russian systems).
    if (value.vt != VT_BSTR) {
        const HRESULT hr = ::VariantChangeTypeEx(&value, &value, kNumberLocale, 0, VT_BSTR);
        if (FAILED(hr))
            return hr;
    }
    Bstr attribute(name);
    return element->setAttribute(attribute.Get(), value);
}

long XmlConfig::SetAttribute(IXMLDOMElement* element, const wchar_t* name, int32_t value) {
    Variant v;
    v.Get().vt = VT_I4;
    v.Get().lVal = value;
    return SetVariantAttribute(element, name, v.Get());
}

long XmlConfig::SetAttribute(IXMLDOMElement* element, const wchar_t* name, uint32_t value) {
    Variant v;
    v.Get().vt = VT_UI4;
    v.Get().ulVal = value;
    return SetVariantAttribute(element, name, v.Get());
}

long XmlConfig::SetAttribute(IXMLDOMElement* element, const wchar_t* name, double value) {
    Variant v;
    v.Get().vt = VT_R8;
    v.Get().dblVal = value;
    return SetVariantAttribute(element, name, v.Get());
}

long XmlConfig::SetAttribute(IXMLDOMElement* element, const wchar_t* name,
                             const std::wstring& value) {
    Variant v;
    v.Get().vt = VT_BSTR;
    v.Get().bstrVal = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return SetVariantAttribute(element, name, v.Get());
}

void XmlConfig::CreateDefaultFile() {
    // Text mode: each line ends with CR LF, as the suite's other writers do.
    FILE* f = ::_wfopen(m_path.c_str(), L"wt");
    if (!f)
        return;
    std::fputs(kDefaultContent, f);
    std::fclose(f);
}
