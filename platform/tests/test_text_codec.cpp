#include <gtest/gtest.h>

#include "platform/text_codec.h"

using namespace platform;

TEST(TextCodec, CyrillicRoundTripsThroughAllEncodings) {
    const std::string utf8 = "Приёмник ГНСС: ok, №5";
    const std::u16string u16 = Utf8ToUtf16(utf8);
    EXPECT_EQ(u16.size(), 21u);
    EXPECT_EQ(Utf16ToUtf8(u16), utf8);
    const std::string cp = Utf16ToCp1251(u16);
    ASSERT_EQ(cp.size(), u16.size());
    EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xCF);   // П
    EXPECT_EQ(static_cast<unsigned char>(cp[3]), 0xB8);   // ё
    EXPECT_EQ(static_cast<unsigned char>(cp[19]), 0xB9);  // №
    EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
}

TEST(TextCodec, MalformedInputIsReplacedNotDropped) {
    // Truncated two-byte sequence, stray continuation, overlong form, surrogate.
    EXPECT_EQ(Utf8ToUtf16("a\xD0"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\x80z"), u"\uFFFDz");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80!"), u"\uFFFD!");
    EXPECT_EQ(Utf8ToUtf16("\xD0\x41"),
              u"\uFFFD"
              u"A");
    const std::u16string lone = {0xD800, u'x'};
    EXPECT_EQ(Utf16ToUtf8(lone), "\xEF\xBF\xBDx");
}

TEST(TextCodec, SupplementaryCharactersUseSurrogatePairs) {
    const std::string utf8 = "\xF0\x9F\x9B\xB0";  // U+1F6F0
    const std::u16string u16 = Utf8ToUtf16(utf8);
    ASSERT_EQ(u16.size(), 2u);
    EXPECT_EQ(Utf16ToUtf8(u16), utf8);
    EXPECT_EQ(Utf16ToCp1251(u16), "?");
}

TEST(TextCodec, Cp1251CoversEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string u16 = Cp1251ToUtf16(all);
    ASSERT_EQ(u16.size(), 255u);
    const std::string back = Utf16ToCp1251(u16);
    for (int b = 1; b < 256; ++b) {
        if (b == 0x98) {
            EXPECT_EQ(back[b - 1], '?');  // unassigned in Windows-1251
        } else {
            EXPECT_EQ(static_cast<unsigned char>(back[b - 1]), b) << "byte " << b;
        }
    }
}
