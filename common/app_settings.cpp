#include "common/app_settings.h"

#include <algorithm>
#include <array>

#include "common/deployment.h"
#include "common/reg_settings.h"
#include "common/scrambled_text.h"
#include "platform/text_codec.h"

namespace {

// Texts read here take at most 260 characters, terminator included.
constexpr uint32_t kTextCapacity = 260;
// A stored LastPassword larger than this reads as empty (bytes).
constexpr uint32_t kMaxScrambledPasswordBytes = 2048;
constexpr int64_t kBytesPerMegabyte = 1'048'576;

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

std::u16string Trim(std::u16string s) {
    const auto first = std::find_if_not(s.begin(), s.end(), IsBlank);
    s.erase(s.begin(), first);
    while (!s.empty() && IsBlank(s.back()))
        s.pop_back();
    return s;
}

std::u16string ReadText(CRegSettingsMngr& reg, SettingsKey key, const char16_t* name) {
    std::array<char16_t, kTextCapacity> buffer{};
    reg.GetString(key, name, buffer.data(), kTextCapacity, u"");
    return std::u16string(buffer.data());
}

// ProxySettings texts hold 255 characters and their terminator. A longer
// registry text cannot be passed on whole; it is taken as not set rather
// than cut into a different server name or password.
std::u16string FitProxyText(std::u16string text) {
    constexpr size_t kMax = std::size(ProxySettings{}.server) - 1;
    if (text.size() > kMax)
        text.clear();
    return text;
}

void CopyProxyText(char16_t (&dst)[256], const std::u16string& src) {
    std::fill(std::begin(dst), std::end(dst), u'\0');
    std::copy_n(src.begin(), std::min(src.size(), std::size(dst) - 1), dst);
}

DbConnectionParams SuiteDb(std::string server) {
    DbConnectionParams p;
    p.server = std::move(server);
    p.port = kSuiteDbPort;
    p.schema = kSuiteDbSchema;
    p.user = kSuiteDbUser;
    p.password = BuiltInDbPassword();
    return p;
}

}  // namespace

int32_t AppKindFromName(std::u16string_view appName) {
    static constexpr std::u16string_view kKinds[] = {u"Pondaview", u"Graphonel", u"Haulmoor",
                                                     u"Settings", u"rvupdate"};
    for (size_t i = 0; i < std::size(kKinds); ++i) {
        if (appName.find(kKinds[i]) != std::u16string_view::npos)
            return static_cast<int32_t>(i + 1);
    }
    return 0;
}

AppSettings LoadAppSettingsFrom(CRegSettingsMngr& reg, const AppSettingsEnvironment& env) {
    AppSettings s;
    s.httpServer = Trim(ReadText(reg, kKeyCommon, u"HttpServer"));
    s.useProxy = static_cast<int32_t>(reg.GetDword(kKeyCommon, u"UseProxy", 0));
    s.proxyServer = FitProxyText(Trim(ReadText(reg, kKeyCommon, u"ProxyServer")));
    s.proxyPort = static_cast<int32_t>(reg.GetDword(kKeyCommon, u"ProxyPort", 0));
    s.proxyLogin = FitProxyText(Trim(ReadText(reg, kKeyCommon, u"ProxyLogin")));
    s.proxyPwd = FitProxyText(Trim(ReadText(reg, kKeyCommon, u"ProxyPwd")));

    s.proxy.useProxy = s.useProxy;
    CopyProxyText(s.proxy.server, s.proxyServer);
    s.proxy.port = static_cast<uint16_t>(s.proxyPort);
    CopyProxyText(s.proxy.login, s.proxyLogin);
    CopyProxyText(s.proxy.password, s.proxyPwd);

    s.mainDb = SuiteDb(platform::Utf16ToCp1251(Trim(ReadText(reg, kKeyCommon, u"SqlServer"))));
    s.useImgSql = static_cast<int32_t>(reg.GetDword(kKeyCommon, u"UseImgSql", 0));
    if (s.useImgSql != 0)
        s.imageDb =
            SuiteDb(platform::Utf16ToCp1251(Trim(ReadText(reg, kKeyCommon, u"ImgSqlServer"))));
    else
        s.imageDb = s.mainDb;
    s.thirdDb = s.imageDb;

    s.lastLogin = platform::Utf16ToCp1251(ReadText(reg, kKeyPondaview, u"LastLogin"));
    if (s.lastLogin.empty())
        reg.CreateKey(kKeyPondaview);
    std::array<uint8_t, kMaxScrambledPasswordBytes> scrambled{};
    uint32_t scrambledSize = kMaxScrambledPasswordBytes;
    if (reg.GetBinary(kKeyPondaview, u"LastPassword", scrambled.data(), scrambledSize))
        s.lastPassword = DecodeScrambledBytes(scrambled.data(), scrambledSize);
    s.savePassword = static_cast<int32_t>(reg.GetDword(kKeyPondaview, u"SavePassword", 0));

    s.cachePath = ReadText(reg, kKeyCommon, u"CachePath");
    if (s.cachePath.empty()) {
        s.cachePath = env.programFolder + u"cache\\";
        if (env.createDirectory)
            env.createDirectory(s.cachePath);
        reg.SetString(kKeyCommon, u"CachePath", s.cachePath.c_str());
    }
    const uint32_t megabytes = reg.GetDword(kKeyCommon, u"MaxCacheSizeMB", 0);
    if (megabytes != 0)
        s.maxCacheSize = static_cast<int64_t>(megabytes) * kBytesPerMegabyte;
    else
        s.maxCacheSize = static_cast<int64_t>(
            reg.GetQword(kKeyCommon, u"MaxCacheSize", static_cast<uint64_t>(kDefaultMaxCacheSize)));

    s.appKind = AppKindFromName(env.appName);
    return s;
}
