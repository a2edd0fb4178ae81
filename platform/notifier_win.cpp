// Message boxes on Windows. When SURVEY_MESSAGE_LOG names a file, a headless
// run (tests, the demo) appends each message there as one UTF-8 line
// "caption<TAB>icon<TAB>text" (line breaks in the text written as \n)
// instead of showing a box.
#include <windows.h>

#include <cstdio>
#include <mutex>

#include "platform/notifier.h"

namespace platform {
namespace {

UINT IconFlags(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return MB_ICONINFORMATION;
        case MessageIcon::Warning:
            return MB_ICONWARNING;
        case MessageIcon::Error:
            return MB_ICONERROR;
        case MessageIcon::Question:
            return MB_ICONQUESTION;
        default:
            return 0;
    }
}

// Local conversion: this file is part of the portable core's Windows build,
// which does not link the rest of the platform layer.
std::wstring Utf8ToWide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                              n);
    }
    return out;
}

const char* IconName(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return "information";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Error:
            return "error";
        case MessageIcon::Question:
            return "question";
        default:
            return "none";
    }
}

std::wstring ModuleBaseName() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    return name;
}

class FileLogNotifier : public Notifier {
public:
    explicit FileLogNotifier(std::wstring path) : m_path(std::move(path)) {}
    int Show(const Message& m) override {
        std::string text;
        for (char c : m.text) {
            if (c == '\n')
                text += "\\n";
            else if (c != '\r')
                text += c;
        }
        std::string line = m.caption + "\t" + IconName(m.icon) + "\t" + text + "\n";
        std::lock_guard<std::mutex> guard(m_lock);
        if (FILE* f = _wfopen(m_path.c_str(), L"ab")) {
            std::fwrite(line.data(), 1, line.size(), f);
            std::fclose(f);
        }
        return IDOK;
    }

private:
    std::wstring m_path;
    std::mutex m_lock;
};

class MessageBoxNotifier : public Notifier {
public:
    int Show(const Message& m) override {
        const std::wstring caption = m.caption.empty() ? ModuleBaseName() : Utf8ToWide(m.caption);
        return ::MessageBoxW(reinterpret_cast<HWND>(m.owner), Utf8ToWide(m.text).c_str(),
                             caption.c_str(), MB_OK | IconFlags(m.icon));
    }
};

Notifier* MakeDefault() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return new FileLogNotifier(path);
    return new MessageBoxNotifier;
}

}  // namespace

Notifier& DefaultNotifier() {
    static Notifier* notifier = MakeDefault();  // lives for the whole process
    return *notifier;
}

}  // namespace platform
