// Base64, SHA-1, the proxy text split of the HTTP client and the pinned
// certificate's value.
#include <gtest/gtest.h>

#include "common/base64.h"
#include "common/cert_pin.h"
#include "common/proxy_config.h"
#include "common/sha1.h"

namespace {

TEST(Base64Decode, DecodesFullAndPartialGroups) {
    EXPECT_EQ(Base64Decode("U0VMRUNUIDE7"), "SELECT 1;");
    EXPECT_EQ(Base64Decode("TWFu"), "Man");
    EXPECT_EQ(Base64Decode("TWE="), "Ma");
    EXPECT_EQ(Base64Decode("TQ=="), "M");
    EXPECT_EQ(Base64Decode("TWE"), "Ma");  // no padding: two bytes from three characters
    EXPECT_EQ(Base64Decode("TQ"), "M");
    EXPECT_EQ(Base64Decode("T"), "");  // a single leftover character yields nothing
    EXPECT_EQ(Base64Decode(""), "");
}

TEST(Base64Decode, StopsAtPaddingLineBreakAndOutsiders) {
    EXPECT_EQ(Base64Decode("TWFu\nTWFu"), "Man");
    EXPECT_EQ(Base64Decode("=TWFu"), "");
    EXPECT_EQ(Base64Decode("TWFu TWFu"), "Man");
    EXPECT_EQ(Base64Decode("TWE=TWFu"), "Ma");
    EXPECT_EQ(Base64Decode("TW-u"), "M");
}

TEST(Base64Decode, DecodesEveryByteValueAndCyrillicUtf8) {
    // "+/" map to 62 and 63.
    EXPECT_EQ(Base64Decode("++//"), std::string("\xfb\xef\xff", 3));
    // UTF-8 Cyrillic statement text: "INSERT ... 'Дорога'".
    EXPECT_EQ(Base64Decode("0JTQvtGA0L7Qs9Cw"), "Дорога");
    EXPECT_EQ(Base64Decode("AAEC"), std::string("\0\1\2", 3));
}

TEST(Base64DecodeWhole, TakesOnlyWholePaddedBase64) {
    EXPECT_EQ(Base64DecodeWhole("U0VMRUNUIDE7"), "SELECT 1;");
    EXPECT_EQ(Base64DecodeWhole("TWE="), "Ma");
    EXPECT_EQ(Base64DecodeWhole("TQ=="), "M");
    EXPECT_EQ(Base64DecodeWhole("++//"), std::string("\xfb\xef\xff", 3));
    EXPECT_EQ(Base64DecodeWhole(""), "");
    for (const char* text : {"TWE", "TQ", "T", "TWFu\nTWFu", "TWFu TWFu", "TWFu\r\n", "=TWF",
                             "TWE=TWFu", "TW=u", "T===", "====", "TW-u", "TQ==="})
        EXPECT_EQ(Base64DecodeWhole(text), std::nullopt) << text;
    EXPECT_EQ(Base64DecodeWhole(std::string_view("TWFu\0AAA", 8)), std::nullopt);
}

TEST(Sha1, MatchesKnownVectors) {
    EXPECT_EQ(Sha1HexText(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Sha1HexText("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Sha1HexText("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Sha1HexText(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, BlockBoundaryLengthsGiveFortyLowerCaseCharacters) {
    // 55, 56 and 64 bytes put the length field in the first or a second block.
    for (size_t n : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u}) {
        const std::string hex = Sha1HexText(std::string(n, 'x'));
        ASSERT_EQ(hex.size(), 40u) << n;
        for (char c : hex)
            EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << n;
    }
    EXPECT_EQ(Sha1HexText(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(ProxyText, SplitsAtTheLastColon) {
    const ProxyEndpoint a = SplitProxyText("proxy.corp.local:3128");
    EXPECT_EQ(a.host, "proxy.corp.local");
    EXPECT_EQ(a.port, 3128);
    const ProxyEndpoint b = SplitProxyText("proxy.corp.local");
    EXPECT_EQ(b.host, "proxy.corp.local");
    EXPECT_EQ(b.port, 0);
    // Several proxies: still the last colon.
    const ProxyEndpoint c = SplitProxyText("http=a.local:8080;https=b.local:8443");
    EXPECT_EQ(c.host, "http=a.local:8080;https=b.local");
    EXPECT_EQ(c.port, 8443);
    const ProxyEndpoint d = SplitProxyText("host:");
    EXPECT_EQ(d.host, "host");
    EXPECT_EQ(d.port, 0);
    EXPECT_EQ(SplitProxyText("host:80x").port, 80);
}

TEST(ProxyText, FormsTheSessionText) {
    EXPECT_EQ(ProxyOptionText("10.0.0.1", 3128), "10.0.0.1:3128");
    EXPECT_EQ(ProxyOptionText("proxy", 0), "proxy:0");
    EXPECT_EQ(CutToBytes(std::string(300, 'p'), 255).size(), 255u);
    EXPECT_EQ(CutToBytes("short", 255), "short");
}

TEST(CertificatePinValue, FingerprintFormsAndWhatIsNoFingerprint) {
    const std::string hex(64, 'a');
    EXPECT_EQ(ParseCertificatePin(std::u16string(64, u'A')).sha256, hex);
    const CertificatePin spaced = ParseCertificatePin(
        u"  aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa aa "
        u"aa aa aa\r\n");
    EXPECT_TRUE(spaced.set);
    EXPECT_EQ(spaced.sha256, hex);
    EXPECT_FALSE(ParseCertificatePin(u"").set);
    EXPECT_FALSE(ParseCertificatePin(u" \t").set);
    for (const std::u16string& bad :
         {std::u16string(63, u'a'), std::u16string(65, u'a'), u"a:" + std::u16string(63, u'a'),
          u":" + std::u16string(64, u'a'), std::u16string(62, u'a') + u"zz"}) {
        const CertificatePin pin = ParseCertificatePin(bad);
        EXPECT_TRUE(pin.set);
        EXPECT_TRUE(pin.sha256.empty());
    }
}

}  // namespace
