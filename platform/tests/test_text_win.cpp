// Conversions through the Win32 code pages, in the test prefix's Russian locale.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/text_codec.h"

using namespace platform;

TEST(TextWin, AnsiCodePageIs1251InTheTestPrefix) {
    EXPECT_EQ(GetACP(), 1251u);
}

TEST(TextWin, AnsiAgreesWithThePortableCp1251Table) {
    const std::wstring wide = L"GPS-приёмник отключен №1";
    const std::string ansi = WideToAnsi(wide);
    EXPECT_EQ(ansi, Utf16ToCp1251(ToU16(wide)));
    EXPECT_EQ(AnsiToWide(ansi), wide);
    EXPECT_EQ(CodePageToWide(1251, ansi), wide);
    EXPECT_EQ(Utf8ToWide(WideToUtf8(wide)), wide);
    EXPECT_EQ(WideToUtf8(wide), Utf16ToUtf8(ToU16(wide)));
}

TEST(TextWin, EmptyTextsStayEmpty) {
    EXPECT_TRUE(Utf8ToWide("").empty());
    EXPECT_TRUE(WideToAnsi(L"").empty());
}
