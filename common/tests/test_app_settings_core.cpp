// The settings record built from a stand-in registry: defaults, trimming,
// fall-backs and side effects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/app_context.h"
#include "common/app_settings.h"
#include "common/deployment.h"
#include "common/product_version.h"
#include "common/scrambled_text.h"
#include "fake_registry.h"

namespace {

class AppSettingsLoad : public ::testing::Test {
protected:
    AppSettings Load() {
        AppSettingsEnvironment env;
        env.programFolder = u"C:\\Survey\\";
        env.appName = appName;
        env.createDirectory = [this](const std::u16string& dir) {
            created.push_back(dir);
            return true;
        };
        return LoadAppSettingsFrom(reg, env);
    }

    FakeRegistry reg;
    std::u16string appName = u"Vestrami";
    std::vector<std::u16string> created;
};

TEST_F(AppSettingsLoad, WithoutAnyKeyEverythingIsDefaultAndNothingIsWritten) {
    const AppSettings s = Load();
    EXPECT_EQ(s.httpServer, u"");
    EXPECT_EQ(s.useProxy, 0);
    EXPECT_EQ(s.proxyPort, 0);
    EXPECT_EQ(s.mainDb.server, "");
    EXPECT_EQ(s.mainDb.port, 58431);
    EXPECT_EQ(s.mainDb.schema, "kalvetradb");
    EXPECT_EQ(s.mainDb.user, "rvapp");
    EXPECT_EQ(s.mainDb.password, BuiltInDbPassword());
    EXPECT_EQ(s.maxCacheSize, 3'221'225'472);
    EXPECT_EQ(s.cachePath, u"C:\\Survey\\cache\\");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0], u"C:\\Survey\\cache\\");
    EXPECT_EQ(reg.writes, 0) << "a write never creates key 0";
    EXPECT_EQ(s.appKind, 0);
    EXPECT_TRUE(s.userName.empty());
    // LastLogin is empty, so its key is made.
    EXPECT_TRUE(reg.HasKey(kKeyPondaview));
    EXPECT_FALSE(reg.HasKey(kKeyCommon));
}

TEST_F(AppSettingsLoad, ComputedCachePathIsStoredAndReadBackUnchanged) {
    reg.AddKey(kKeyCommon);
    const AppSettings first = Load();
    const FakeRegistry::Value* stored = reg.Find(kKeyCommon, u"CachePath");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, 1u);
    EXPECT_EQ(stored->bytes.size(), (first.cachePath.size() + 1) * 2);
    created.clear();
    const AppSettings second = Load();
    EXPECT_EQ(second.cachePath, first.cachePath);
    EXPECT_TRUE(created.empty()) << "a stored path is taken as it is";
}

TEST_F(AppSettingsLoad, TextsAreTrimmedAndTheServerBecomesAnsi) {
    reg.AddKey(kKeyCommon);
    reg.SetString(kKeyCommon, u"SqlServer", u"  db.example.local \t");
    reg.SetString(kKeyCommon, u"HttpServer", u" http://сервер ");
    reg.SetString(kKeyCommon, u"ImgSqlServer", u" img.example.local ");
    const AppSettings s = Load();
    EXPECT_EQ(s.mainDb.server, "db.example.local");
    EXPECT_EQ(s.httpServer, u"http://сервер");
    // UseImgSql 0: the image server is the main one, whatever ImgSqlServer says.
    EXPECT_EQ(s.imageDb.server, "db.example.local");
    EXPECT_EQ(s.thirdDb.server, "db.example.local");

    reg.SetDword(kKeyCommon, u"UseImgSql", 1);
    const AppSettings withImg = Load();
    EXPECT_EQ(withImg.imageDb.server, "img.example.local");
    EXPECT_EQ(withImg.imageDb.port, 58431);
    EXPECT_EQ(withImg.imageDb.password, withImg.mainDb.password);
    EXPECT_EQ(withImg.thirdDb.server, "img.example.local");
}

TEST_F(AppSettingsLoad, CacheSizeInMegabytesWinsUnlessZero) {
    reg.AddKey(kKeyCommon);
    reg.SetQword(kKeyCommon, u"MaxCacheSize", 123456789);
    reg.SetDword(kKeyCommon, u"MaxCacheSizeMB", 0);
    EXPECT_EQ(Load().maxCacheSize, 123456789);
    reg.SetDword(kKeyCommon, u"MaxCacheSizeMB", 2);
    EXPECT_EQ(Load().maxCacheSize, 2'097'152);
    reg.SetDword(kKeyCommon, u"MaxCacheSizeMB", 0xFFFFFFFF);
    EXPECT_EQ(Load().maxCacheSize, 0xFFFFFFFFll * 1'048'576) << "no 32-bit overflow";
}

TEST_F(AppSettingsLoad, ProxyBlockCopiesTheProxyValues) {
    reg.AddKey(kKeyCommon);
    reg.SetDword(kKeyCommon, u"UseProxy", static_cast<uint32_t>(-1));
    reg.SetString(kKeyCommon, u"ProxyServer", u" proxy.local ");
    reg.SetDword(kKeyCommon, u"ProxyPort", 3128);
    reg.SetString(kKeyCommon, u"ProxyLogin", u"водитель");
    reg.SetString(kKeyCommon, u"ProxyPwd", u"secret ");
    const AppSettings s = Load();
    EXPECT_EQ(s.proxy.useProxy, -1);
    EXPECT_EQ(std::u16string(s.proxy.server), u"proxy.local");
    EXPECT_EQ(s.proxy.port, 3128);
    EXPECT_EQ(std::u16string(s.proxy.login), u"водитель");
    EXPECT_EQ(std::u16string(s.proxy.password), u"secret");
}

TEST_F(AppSettingsLoad, ProxyTextsTooLongForTheBlockAreTakenAsUnset) {
    reg.AddKey(kKeyCommon);
    const std::u16string fits(255, u'p');
    const std::u16string tooLong(256, u'p');
    const std::u16string longest(259, u'p');
    reg.SetString(kKeyCommon, u"ProxyServer", fits.c_str());
    reg.SetString(kKeyCommon, u"ProxyLogin", tooLong.c_str());
    reg.SetString(kKeyCommon, u"ProxyPwd", longest.c_str());
    const AppSettings s = Load();
    EXPECT_EQ(std::u16string(s.proxy.server), fits);
    EXPECT_EQ(s.proxyLogin, u"");
    EXPECT_EQ(s.proxy.login[0], u'\0');
    EXPECT_EQ(s.proxyPwd, u"");
    EXPECT_EQ(s.proxy.password[0], u'\0');
}

TEST_F(AppSettingsLoad, TextsThatDoNotFitTheBufferReadAsDefault) {
    reg.AddKey(kKeyCommon);
    const std::u16string tooLong(260, u's');  // with its terminator: 261 characters
    reg.SetString(kKeyCommon, u"SqlServer", tooLong.c_str());
    EXPECT_EQ(Load().mainDb.server, "");
}

TEST_F(AppSettingsLoad, LastPasswordIsDecodedFromItsWords) {
    reg.AddKey(kKeyPondaview);
    reg.SetString(kKeyPondaview, u"LastLogin", u" Иванов");
    std::vector<uint8_t> bytes;
    for (char c : std::string("pw1")) {
        const uint16_t w = scrambled::EncodeByte(static_cast<uint8_t>(c), 0x8421);
        bytes.push_back(static_cast<uint8_t>(w));
        bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    reg.SetBinary(kKeyPondaview, u"LastPassword", bytes.data(),
                  static_cast<uint32_t>(bytes.size()));
    reg.SetDword(kKeyPondaview, u"SavePassword", 1);
    const AppSettings s = Load();
    EXPECT_EQ(s.lastLogin, "\x20\xC8\xE2\xE0\xED\xEE\xE2") << "ANSI, not trimmed";
    EXPECT_EQ(s.lastPassword, "pw1");
    EXPECT_EQ(s.savePassword, 1);

    // A word whose carrying bits are all zero ends the text.
    bytes.insert(bytes.begin() + 2, {0x65, 0xB4});
    reg.SetBinary(kKeyPondaview, u"LastPassword", bytes.data(),
                  static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(Load().lastPassword, "p");

    // Longer than 2048 bytes: empty.
    std::vector<uint8_t> huge(2050, 0xFF);
    reg.SetBinary(kKeyPondaview, u"LastPassword", huge.data(), static_cast<uint32_t>(huge.size()));
    EXPECT_EQ(Load().lastPassword, "");
}

TEST(AppKind, FirstMatchingNameWins) {
    EXPECT_EQ(AppKindFromName(u"Orvanta"), 0);
    EXPECT_EQ(AppKindFromName(u"Vestrami"), 0);
    EXPECT_EQ(AppKindFromName(u"Pondaview5"), 1);
    EXPECT_EQ(AppKindFromName(u"GraphonelSettings"), 2);
    EXPECT_EQ(AppKindFromName(u"Settings"), 4);
    EXPECT_EQ(AppKindFromName(u"rvupdate"), 5);
    EXPECT_EQ(AppKindFromName(u"RVUPDATE"), 0) << "case matters";
}

TEST(RegSettingsPaths, NineKeysAndNothingBeyond) {
    FakeRegistry reg;
    EXPECT_EQ(std::u16string(reg.GetKeyPath(0)), u"Software\\Marvesto\\Common");
    EXPECT_EQ(std::u16string(reg.GetKeyPath(4)), u"Software\\Marvesto\\Pondaview5\\SCpresets");
    EXPECT_EQ(std::u16string(reg.GetKeyPath(8)), u"Software\\Marvesto\\Utils");
    EXPECT_EQ(reg.GetKeyPath(9), nullptr);
    EXPECT_EQ(reg.GetKeyPath(-1), nullptr);
}

TEST(AppContext, CloseRequestGoesThroughTheHook) {
    app_context::SetMainWindowHandle(0x1234);
    std::uintptr_t asked = 0;
    app_context::SetCloseRequestHook([&](std::uintptr_t hwnd) {
        asked = hwnd;
        return true;
    });
    EXPECT_TRUE(RequestMainWindowClose());
    EXPECT_EQ(asked, 0x1234u);
    app_context::SetCloseRequestHook({});
    app_context::SetMainWindowHandle(0);
    EXPECT_FALSE(RequestMainWindowClose()) << "no window, nothing to close";
}

TEST(AppContext, UserNameFollowsTheCurrentSettings) {
    EXPECT_EQ(CurrentUserName(), u"");
    AppSettings s;
    s.userName = u"оператор";
    app_context::SetCurrentAppSettings(&s);
    EXPECT_EQ(CurrentAppSettings(), &s);
    EXPECT_EQ(CurrentUserName(), u"оператор");
    app_context::SetCurrentAppSettings(nullptr);
    EXPECT_EQ(CurrentUserName(), u"");
}

TEST(VersionText, CommasBecomePointsAndBlanksGo) {
    EXPECT_EQ(NormalizeVersionText(L"10, 6, 5, 1"), L"10.6.5.1");
    EXPECT_EQ(NormalizeVersionText(L" 1,4 ,2,17 "), L"1.4.2.17");
    EXPECT_EQ(NormalizeVersionText(L""), L"");
}

}  // namespace
