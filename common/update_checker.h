// The start-up update step of every service program: the installation check,
// the database's pending command sets and the program update through the
// suite's updater "rvupdate.exe".
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/settings_types.h"
#include "common/update_core.h"

// Values a test run replaces; every one left unset is the program's own.
struct UpdateCheckerOverrides {
    std::optional<std::wstring> programPath;  // the program file's full path
    std::optional<std::wstring> updateHost;
    std::optional<bool> directMode;
    std::optional<DbConnectionParams> database;
    std::optional<std::wstring> versionText;
    std::optional<ProxySettings> updateProxy;
};

class UpdateChecker {
public:
    // `appId`: 106 Orvanta, 108 Vestrami, 107 Tessarin.
    explicit UpdateChecker(int32_t appId, UpdateCheckerOverrides overrides = {});
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // False stops the program.
    bool CheckInstallation();
    // False stops the program: a failed database update, or the updater started.
    bool RunStartupUpdate();
    int32_t QueryDbVersion();
    bool GetVersionList(int32_t appId, uint64_t version, uint32_t platform,
                        std::vector<update::VersionEntry>& list);
    bool IsProgramUpdateAvailable();
    bool ApplyDbUpdates(const std::vector<update::VersionEntry>& list);
    bool ApplyDbCommands(int32_t dbVersion, update::UpdateSession& session);
    void LookupAddresses();
    bool MatchesReferenceDigest();

    bool DirectMode() const { return m_directMode; }
    const std::wstring& UpdateHost() const { return m_updateHost; }
    const ProxySettings& UpdateProxy() const { return m_updateProxy; }
    update::UpdateCore& Core() { return *m_core; }

private:
    struct Parts;
    std::wstring m_updateHost;
    bool m_directMode = false;
    ProxySettings m_updateProxy;
    std::unique_ptr<Parts> m_parts;
    std::unique_ptr<update::UpdateCore> m_core;
};

// True when the first IPv4 address record of `host` equals `address` (dotted).
bool ResolvesTo(const std::wstring& host, const std::string& address);
