// Portable text conversions: UTF-8, UTF-16 and Windows-1251.
// Malformed input never throws: invalid UTF-8 sequences and lone surrogates
// become U+FFFD; characters Windows-1251 cannot hold become '?'.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

std::u16string Cp1251ToUtf16(std::string_view cp1251);
std::string Utf16ToCp1251(std::u16string_view utf16);

inline std::string Cp1251ToUtf8(std::string_view cp1251) {
    return Utf16ToUtf8(Cp1251ToUtf16(cp1251));
}
inline std::string Utf8ToCp1251(std::string_view utf8) {
    return Utf16ToCp1251(Utf8ToUtf16(utf8));
}

}  // namespace platform
