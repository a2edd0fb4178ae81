// The suite-wide settings record each program loads from the current user's
// registry once at start-up; read-only afterwards.
//
// Narrow texts are in the system ANSI code page (Windows-1251 on the target
// systems); wide texts are UTF-16.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/settings_types.h"

class CRegSettingsMngr;

// Fixed parameters of the suite's databases.
inline constexpr int32_t kSuiteDbPort = 58431;
inline constexpr const char* kSuiteDbSchema = "kalvetradb";
inline constexpr const char* kSuiteDbUser = "rvapp";

// Cache limit when the registry names none: 3 GiB.
inline constexpr int64_t kDefaultMaxCacheSize = 3'221'225'472;

struct AppSettings {
    std::u16string httpServer;   // trimmed
    int32_t useProxy = 0;        // 0 direct, 1 the configured proxy, -1 the user's system proxy
    std::u16string proxyServer;  // trimmed
    int32_t proxyPort = 0;
    std::u16string proxyLogin;  // trimmed
    std::u16string proxyPwd;    // trimmed

    DbConnectionParams mainDb;  // server from "SqlServer"
    int32_t useImgSql = 0;
    DbConnectionParams imageDb;  // "ImgSqlServer" when useImgSql != 0, else the main server
    DbConnectionParams thirdDb;  // a copy of imageDb

    std::string lastLogin;     // ANSI, as stored
    std::string lastPassword;  // ANSI, decoded from its scrambled words
    int32_t savePassword = 0;

    std::u16string cachePath;                     // always ends with a backslash when computed here
    int64_t maxCacheSize = kDefaultMaxCacheSize;  // bytes

    ProxySettings proxy;  // the HTTP client's copy of the proxy values

    std::u16string userName;  // nobody in these programs sets it
    int32_t appKind = 0;      // 1 Pondaview, 2 Graphonel, 3 Haulmoor, 4 Settings, 5 rvupdate
};

// What loading needs from the running process besides the registry.
struct AppSettingsEnvironment {
    // The program file's folder with its trailing backslash (UTF-16).
    std::u16string programFolder;
    // The application's name (not the file name).
    std::u16string appName;
    // Creates a directory; an existing one is no error. Returns success.
    std::function<bool(const std::u16string& path)> createDirectory;
};

// Application kind from the application's name: the first of "Pondaview",
// "Graphonel", "Haulmoor", "Settings", "rvupdate" it contains, 1..5; else 0.
int32_t AppKindFromName(std::u16string_view appName);

// Builds the record from `reg` (see LoadAppSettings). Portable: the registry
// comes through the manager's virtual operations.
AppSettings LoadAppSettingsFrom(CRegSettingsMngr& reg, const AppSettingsEnvironment& env);

// Builds the record from the current user's registry for the running program
// (Windows): the program folder is the module's, the name the application
// context's. Side effects: key 1 is created when LastLogin is empty; when
// CachePath is empty, "<program folder>cache\" is created and written back.
AppSettings LoadAppSettings();
