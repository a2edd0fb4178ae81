// Win32 text conversions between UTF-16 (wide), UTF-8 and the ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
// The system's ANSI code page (1251 on the target systems).
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);
// Explicit code page, whatever the system's is.
std::wstring CodePageToWide(unsigned codePage, std::string_view bytes);
std::string WideToCodePage(unsigned codePage, std::wstring_view wide);

inline std::string Utf8ToAnsi(std::string_view utf8) {
    return WideToAnsi(Utf8ToWide(utf8));
}
inline std::string AnsiToUtf8(std::string_view ansi) {
    return WideToUtf8(AnsiToWide(ansi));
}

// The portable core's char16_t texts are the same code units as wchar_t here.
inline std::wstring ToWide(std::u16string_view s) {
    return std::wstring(s.begin(), s.end());
}
inline std::u16string ToU16(std::wstring_view s) {
    return std::u16string(s.begin(), s.end());
}

}  // namespace platform
