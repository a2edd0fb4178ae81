// Registry settings against the test prefix's current-user hive, and the
// settings record loaded from it. Every case starts and ends without the
// suite's key.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/app_context.h"
#include "common/app_settings.h"
#include "common/reg_settings.h"

namespace {

constexpr const wchar_t* kSuiteKey = L"Software\\Marvesto";
constexpr const wchar_t* kCommonKey = L"Software\\Marvesto\\Common";

void DeleteSuiteKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSuiteKey);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kSuiteKey);
}

bool KeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void MakeKey(const wchar_t* path) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
}

std::wstring ModuleFolder() {
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteSuiteKey(); }
    void TearDown() override {
        DeleteSuiteKey();
        ::RemoveDirectoryW((ModuleFolder() + L"cache\\").c_str());
    }
    CRegSettingsMngr reg;
};

TEST_F(RegistryTest, WithoutTheKeyReadsGiveDefaultsAndWritesCreateNothing) {
    EXPECT_EQ(reg.GetDword(kKeyCommon, u"UseProxy", 17), 17u);
    EXPECT_EQ(reg.GetQword(kKeyCommon, u"MaxCacheSize", 5), 5u);
    char16_t text[8] = {};
    EXPECT_FALSE(reg.GetString(kKeyCommon, u"SqlServer", text, 8, u"none"));
    EXPECT_EQ(std::u16string(text), u"none");
    uint8_t bytes[4];
    uint32_t count = sizeof bytes;
    EXPECT_FALSE(reg.GetBinary(kKeyPondaview, u"LastPassword", bytes, count));
    EXPECT_EQ(count, 0u);

    EXPECT_EQ(reg.SetDword(kKeyCommon, u"UseProxy", 1), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(reg.SetString(kKeyCommon, u"CachePath", u"C:\\x\\"), 0);
    EXPECT_FALSE(KeyExists(kCommonKey));
    EXPECT_FALSE(KeyExists(kSuiteKey));
}

TEST_F(RegistryTest, ValuesRoundTripWithTheirTypesAndSizes) {
    MakeKey(kCommonKey);
    EXPECT_EQ(reg.SetDword(kKeyCommon, u"ProxyPort", 3128), 0);
    EXPECT_EQ(reg.SetQword(kKeyCommon, u"MaxCacheSize", 0x123456789ull), 0);
    EXPECT_EQ(reg.SetString(kKeyCommon, u"HttpServer", u"сервер"), 0);
    const uint8_t blob[] = {1, 2, 3, 0, 5};
    EXPECT_EQ(reg.SetBinary(kKeyCommon, u"Blob", blob, sizeof blob), 0);

    // What the 32-bit view of the hive holds, read without the manager.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kCommonKey, 0, KEY_READ | KEY_WOW64_32KEY, &key),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(::RegQueryValueExW(key, L"HttpServer", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 7u * 2) << "characters and terminator";
    ASSERT_EQ(::RegQueryValueExW(key, L"ProxyPort", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(::RegQueryValueExW(key, L"MaxCacheSize", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(size, 8u);
    ::RegCloseKey(key);

    EXPECT_EQ(reg.GetDword(kKeyCommon, u"ProxyPort", 0), 3128u);
    EXPECT_EQ(reg.GetQword(kKeyCommon, u"MaxCacheSize", 0), 0x123456789ull);
    EXPECT_EQ(reg.GetDword(kKeyCommon, u"MaxCacheSize", 99), 99u) << "8 bytes do not fit 4";
    char16_t text[16] = {};
    EXPECT_TRUE(reg.GetString(kKeyCommon, u"HttpServer", text, 16, u""));
    EXPECT_EQ(std::u16string(text), u"сервер");
    char16_t small[4] = {};
    EXPECT_FALSE(reg.GetString(kKeyCommon, u"HttpServer", small, 4, u"d"));
    EXPECT_EQ(std::u16string(small), u"d") << "a value that does not fit reads as the default";
    // A text stored without its terminator that fills the buffer does not fit either.
    const wchar_t unterminated[4] = {L'a', L'b', L'c', L'd'};
    HKEY raw = nullptr;
    ASSERT_EQ(
        ::RegOpenKeyExW(HKEY_CURRENT_USER, kCommonKey, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &raw),
        ERROR_SUCCESS);
    ::RegSetValueExW(raw, L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated),
                     sizeof unterminated);
    ::RegCloseKey(raw);
    EXPECT_FALSE(reg.GetString(kKeyCommon, u"Raw", small, 4, u"d"));
    EXPECT_EQ(std::u16string(small), u"d");
    char16_t roomy[5] = {};
    EXPECT_TRUE(reg.GetString(kKeyCommon, u"Raw", roomy, 5, u""));
    EXPECT_EQ(std::u16string(roomy), u"abcd");
    uint8_t out[8] = {};
    uint32_t count = sizeof out;
    EXPECT_TRUE(reg.GetBinary(kKeyCommon, u"Blob", out, count));
    EXPECT_EQ(count, sizeof blob);
    count = 2;
    EXPECT_FALSE(reg.GetBinary(kKeyCommon, u"Blob", out, count));
    EXPECT_EQ(count, 0u);

    EXPECT_EQ(reg.DeleteValue(kKeyCommon, u"ProxyPort"), 0);
    EXPECT_EQ(reg.GetDword(kKeyCommon, u"ProxyPort", 7), 7u);
    EXPECT_NE(reg.DeleteValue(kKeyCommon, u"ProxyPort"), 0);
    EXPECT_NE(reg.SetDword(static_cast<SettingsKey>(9), u"x", 1), 0);
}

TEST_F(RegistryTest, LoadingWithoutTheKeyMakesTheCacheFolderButWritesNothing) {
    app_context::SetAppName(u"Vestrami");
    const AppSettings s = LoadAppSettings();
    EXPECT_TRUE(s.mainDb.server.empty());
    EXPECT_EQ(s.maxCacheSize, 3'221'225'472);
    const std::wstring cache = ModuleFolder() + L"cache\\";
    EXPECT_EQ(std::wstring(s.cachePath.begin(), s.cachePath.end()), cache);
    const DWORD attributes = ::GetFileAttributesW(cache.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(KeyExists(kCommonKey));
    EXPECT_TRUE(KeyExists(L"Software\\Marvesto\\Pondaview5")) << "made because LastLogin is empty";
    EXPECT_EQ(s.appKind, 0);
}

TEST_F(RegistryTest, LoadingStoresTheCachePathAndReadsItBack) {
    MakeKey(kCommonKey);
    reg.SetString(kKeyCommon, u"SqlServer", u"  db.local  ");
    reg.SetString(kKeyCommon, u"ImgSqlServer", u"img.local");
    reg.SetDword(kKeyCommon, u"MaxCacheSizeMB", 2);
    const AppSettings first = LoadAppSettings();
    EXPECT_EQ(first.mainDb.server, "db.local");
    EXPECT_EQ(first.imageDb.server, "db.local");
    EXPECT_EQ(first.maxCacheSize, 2'097'152);
    char16_t stored[260] = {};
    ASSERT_TRUE(reg.GetString(kKeyCommon, u"CachePath", stored, 260, u""));
    EXPECT_EQ(std::u16string(stored), first.cachePath);
    const AppSettings second = LoadAppSettings();
    EXPECT_EQ(second.cachePath, first.cachePath);
}

}  // namespace
