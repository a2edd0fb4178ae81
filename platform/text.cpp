#include "platform/text.h"

#include <windows.h>

namespace platform {

std::wstring CodePageToWide(unsigned codePage, std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string WideToCodePage(unsigned codePage, std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int n = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    return CodePageToWide(CP_UTF8, utf8);
}
std::string WideToUtf8(std::wstring_view wide) {
    return WideToCodePage(CP_UTF8, wide);
}
std::wstring AnsiToWide(std::string_view ansi) {
    return CodePageToWide(CP_ACP, ansi);
}
std::string WideToAnsi(std::wstring_view wide) {
    return WideToCodePage(CP_ACP, wide);
}

}  // namespace platform
