#include <winsock2.h>
#include <windows.h>
#include <windns.h>

#include "common/app_settings.h"
#include "common/deployment.h"
#include "common/product_version.h"
#include "common/reg_settings.h"
#include "common/update_checker.h"
#include "common/update_core_mysql.h"
#include "common/update_system_win.h"
#include "platform/text.h"

namespace {

constexpr DWORD kModulePathChars = 2048;

std::wstring ModulePath() {
    std::wstring path(kModulePathChars, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), kModulePathChars);
    path.resize(n < kModulePathChars ? n : 0);
    return path;
}

// The program's name for the access log: its file name without extension.
std::string ProgramName(const std::wstring& programPath) {
    std::wstring name = programPath.substr(programPath.find_last_of(L'\\') + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    return platform::WideToUtf8(name);
}

}  // namespace

bool ResolvesTo(const std::wstring& host, const std::string& address) {
    PDNS_RECORD records = nullptr;
    if (::DnsQuery_W(host.c_str(), DNS_TYPE_A, DNS_QUERY_STANDARD, nullptr, &records, nullptr) != 0)
        return false;
    bool match = false;
    if (records && records->wType == DNS_TYPE_A)
        match = records->Data.A.IpAddress == ::inet_addr(address.c_str());
    ::DnsRecordListFree(records, DnsFreeRecordList);
    return match;
}

struct UpdateChecker::Parts {
    std::unique_ptr<update::WinTransport> transport;
    update::CryptoHasher hasher;
    std::unique_ptr<update::MySqlUpdateDatabase> database;
    update::WinSystem system;
};

UpdateChecker::UpdateChecker(int32_t appId, UpdateCheckerOverrides overrides)
    : m_parts(std::make_unique<Parts>()) {
    CRegSettingsMngr registry;
    const update::UpdateRegistryValues values = update::ReadUpdateRegistry(registry);

    DbConnectionParams database;
    database.server = values.sqlServer;
    database.port = kSuiteDbPort;
    database.schema = kSuiteDbSchema;
    database.user = kSuiteDbUser;
    database.password = BuiltInDbPassword();
    if (overrides.database)
        database = *overrides.database;

    m_updateHost =
        overrides.updateHost ? *overrides.updateHost : platform::AnsiToWide(UpdateHostName());
    m_directMode = overrides.directMode ? *overrides.directMode
                                        : ResolvesTo(m_updateHost, DirectModeAddress());
    m_updateProxy = overrides.updateProxy ? *overrides.updateProxy : values.proxy;

    update::UpdateSettings settings;
    settings.appId = appId;
    const std::wstring path = overrides.programPath ? *overrides.programPath : ModulePath();
    settings.programPath = platform::ToU16(path);
    settings.programName = ProgramName(path);
    settings.versionText =
        platform::ToU16(overrides.versionText ? *overrides.versionText : GetProductVersion());
    settings.referenceDigest = ReferenceDigest();
    settings.databasePort = static_cast<uint16_t>(database.port);
    settings.checkUpdateMin = values.checkUpdateMin;
    settings.updateEnable = values.updateEnable;
    settings.updateWarningEnable = values.updateWarningEnable;

    m_parts->transport =
        std::make_unique<update::WinTransport>(m_updateHost, m_updateProxy, m_directMode);
    m_parts->database = std::make_unique<update::MySqlUpdateDatabase>(database);
    m_core = std::make_unique<update::UpdateCore>(settings, *m_parts->transport, m_parts->hasher,
                                                  *m_parts->database, m_parts->system);
}

UpdateChecker::~UpdateChecker() {
    m_core.reset();
}

bool UpdateChecker::CheckInstallation() {
    return m_core->CheckInstallation();
}

bool UpdateChecker::RunStartupUpdate() {
    return m_core->RunStartupUpdate();
}

int32_t UpdateChecker::QueryDbVersion() {
    return m_core->QueryDbVersion();
}

bool UpdateChecker::GetVersionList(int32_t appId, uint64_t version, uint32_t platform,
                                   std::vector<update::VersionEntry>& list) {
    return m_core->GetVersionList(appId, version, platform, list);
}

bool UpdateChecker::IsProgramUpdateAvailable() {
    return m_core->IsProgramUpdateAvailable();
}

bool UpdateChecker::ApplyDbUpdates(const std::vector<update::VersionEntry>& list) {
    return m_core->ApplyDbUpdates(list);
}

bool UpdateChecker::ApplyDbCommands(int32_t dbVersion, update::UpdateSession& session) {
    return m_core->ApplyDbCommands(dbVersion, session);
}

void UpdateChecker::LookupAddresses() {
    m_core->LookupAddresses();
}

bool UpdateChecker::MatchesReferenceDigest() {
    return m_core->MatchesReferenceDigest();
}
