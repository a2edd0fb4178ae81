// Scrambled words: bit layout, encoder round trips, and the deployment texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "common/deployment.h"
#include "common/scrambled_text.h"

namespace {

TEST(ScrambledText, EachByteBitComesFromItsWordBit) {
    // Byte bits 7..0 are word bits 3, 8, 1, 14, 4, 11, 7, 9.
    const int carriers[8] = {3, 8, 1, 14, 4, 11, 7, 9};
    for (int i = 0; i < 8; ++i) {
        const uint16_t word = static_cast<uint16_t>(1u << carriers[i]);
        EXPECT_EQ(scrambled::DecodeWord(word), 0x80 >> i) << "word bit " << carriers[i];
    }
    EXPECT_EQ(scrambled::kCarrierMask, 0x4B9A);
}

TEST(ScrambledText, NoiseBitsCarryNothing) {
    for (int bit : {0, 2, 5, 6, 10, 12, 13, 15})
        EXPECT_EQ(scrambled::DecodeWord(static_cast<uint16_t>(1u << bit)), 0) << "bit " << bit;
    EXPECT_EQ(scrambled::DecodeWord(0xB465), 0);
    EXPECT_EQ(scrambled::DecodeWord(0xFFFF), 0xFF);
}

TEST(ScrambledText, EveryByteSurvivesAnyNoise) {
    for (int b = 0; b < 256; ++b) {
        for (uint16_t noise : {uint16_t{0}, uint16_t{0xFFFF}, uint16_t{0x1234}, uint16_t{0xB465}}) {
            const uint16_t w = scrambled::EncodeByte(static_cast<uint8_t>(b), noise);
            EXPECT_EQ(scrambled::DecodeWord(w), b);
            EXPECT_EQ(w & ~scrambled::kCarrierMask, noise & ~scrambled::kCarrierMask);
        }
    }
}

TEST(ScrambledText, DecodingStopsAtTheFirstZeroByte) {
    const uint16_t words[] = {scrambled::EncodeByte('a', 0x0401), scrambled::EncodeByte('b', 0),
                              0xB465 /* noise only: a zero byte */, scrambled::EncodeByte('c', 0)};
    EXPECT_EQ(DecodeScrambledText(words, 4), "ab");
    EXPECT_EQ(DecodeScrambledText(words, 1), "a");
    EXPECT_EQ(DecodeScrambledText(words, 0), "");
}

TEST(ScrambledText, CompileTimeTablesRoundTrip) {
    constexpr auto table = ScrambleText<17>("P@ss w0rd\xC6", 0x1234u);
    static_assert(table.size() == 17);
    EXPECT_EQ(DecodeScrambledText(table), "P@ss w0rd\xC6");
    // The same text under another salt gives other words but the same text.
    constexpr auto other = ScrambleText<17>("P@ss w0rd\xC6", 0x4321u);
    EXPECT_NE(table, other);
    EXPECT_EQ(DecodeScrambledText(other), DecodeScrambledText(table));
    // A text filling the table leaves exactly its terminator word.
    constexpr auto full = ScrambleText<5>("abcd", 7u);
    EXPECT_EQ(DecodeScrambledText(full), "abcd");
    EXPECT_EQ(scrambled::DecodeWord(full[4]), 0);
}

TEST(ScrambledText, RegistryBytesAreLittleEndianWords) {
    const uint16_t w1 = scrambled::EncodeByte('Q', 0xA421);
    const uint16_t w2 = scrambled::EncodeByte('z', 0x1004);
    const uint8_t bytes[] = {static_cast<uint8_t>(w1), static_cast<uint8_t>(w1 >> 8),
                             static_cast<uint8_t>(w2), static_cast<uint8_t>(w2 >> 8), 0xFF};
    EXPECT_EQ(DecodeScrambledBytes(bytes, 4), "Qz");
    // An odd trailing byte is not half a character.
    EXPECT_EQ(DecodeScrambledBytes(bytes, 5), "Qz");
    EXPECT_EQ(DecodeScrambledBytes(bytes, 3), "Q");
    EXPECT_EQ(DecodeScrambledBytes(bytes, 0), "");
}

TEST(Deployment, TextsHaveTheirForms) {
    const std::string password = BuiltInDbPassword();
    EXPECT_FALSE(password.empty());
    EXPECT_LE(password.size(), 16u);
    const std::string host = UpdateHostName();
    EXPECT_FALSE(host.empty());
    EXPECT_LE(host.size(), 22u);
    const std::string digest = ReferenceDigest();
    ASSERT_EQ(digest.size(), 40u);
    EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos);
    const std::string address = DirectModeAddress();
    int a, b, c, d;
    char tail;
    EXPECT_EQ(std::sscanf(address.c_str(), "%d.%d.%d.%d%c", &a, &b, &c, &d, &tail), 4);
}

// The build passes the configured texts to this test through the environment,
// so the test's own binary holds none of them either.
TEST(Deployment, ConfiguredTextsDecodeAndStayOutOfTheLibrary) {
    const char* password = std::getenv("SURVEY_EXPECT_DB_PASSWORD");
    const char* host = std::getenv("SURVEY_EXPECT_UPDATE_HOST");
    const char* library = std::getenv("SURVEY_SETTINGS_LIBRARY");
    if (!password || !host || !library)
        GTEST_SKIP() << "run through ctest";
    EXPECT_EQ(BuiltInDbPassword(), password);
    EXPECT_EQ(UpdateHostName(), host);

    std::ifstream in(library, std::ios::binary);
    ASSERT_TRUE(in) << library;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.find(password), std::string::npos) << "the password is in the library in plain";
    EXPECT_EQ(bytes.find(ReferenceDigest()), std::string::npos);
}

}  // namespace
