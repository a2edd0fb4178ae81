#include "common/update_core.h"

#include <algorithm>

#include "common/reg_settings.h"
#include "platform/notifier.h"
#include "platform/text_codec.h"

namespace update {

const char kFolderNotWritableMessage[] =
    "Проверьте права пользователя на запись в папку где установлена программа.";
const char kUpdaterMissingMessage[] =
    "Программа rvupdate.exe не найдена.\nПроверьте, установлены ли утилиты настройки и "
    "обновления\nили запустите программу настройки для\nпроверки пути к файлу rvupdate.exe.";

namespace {

constexpr char16_t kUpdaterFileName[] = u"rvupdate.exe";
constexpr char16_t kProbeSuffix[] = u" (можно удалить).tmp";
constexpr char kUpdaterStartFailed[] =
    "Ошибка: %d. Не удалось запустить rvupdate.exe.\nПроверьте, установлены ли утилиты настройки "
    "и обновления.";
constexpr char kStartTransaction[] = "START TRANSACTION";

std::u16string Ascii16(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}

std::string FormatStartFailed(uint32_t error) {
    std::string text = kUpdaterStartFailed;
    const size_t at = text.find("%d");
    text.replace(at, 2, std::to_string(static_cast<int32_t>(error)));
    return text;
}

// Proxy texts hold at most 255 characters and the terminator.
constexpr uint32_t kProxyTextCapacity = 256;
constexpr uint32_t kSqlServerCapacity = 260;

std::u16string Trim(std::u16string s) {
    const auto blank = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
    };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    size_t i = 0;
    while (i < s.size() && blank(s[i]))
        ++i;
    return s.substr(i);
}

// A 32-bit value, or nullopt when it can't be read (two reads with different
// defaults tell a stored value from a default).
std::optional<uint32_t> ReadDword(CRegSettingsMngr& reg, const char16_t* name) {
    const uint32_t a = reg.GetDword(kKeyCommon, name, 0);
    const uint32_t b = reg.GetDword(kKeyCommon, name, 1);
    if (a != b)
        return std::nullopt;
    return a;
}

std::optional<std::u16string> ReadText(CRegSettingsMngr& reg, const char16_t* name,
                                       uint32_t capacity) {
    std::u16string buffer(capacity, u'\0');
    if (!reg.GetString(kKeyCommon, name, buffer.data(), capacity, u""))
        return std::nullopt;
    buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
    return buffer;
}

void CopyText(char16_t (&field)[256], const std::u16string& text) {
    const size_t n = std::min<size_t>(text.size(), 255);
    std::copy(text.begin(), text.begin() + n, field);
    field[n] = u'\0';
}

void ReadProxyText(CRegSettingsMngr& reg, const char16_t* name, const char16_t* updateName,
                   char16_t (&field)[256]) {
    std::u16string text = Trim(ReadText(reg, name, kProxyTextCapacity).value_or(u""));
    if (auto update = ReadText(reg, updateName, kProxyTextCapacity))
        text = *update;
    CopyText(field, text);
}

}  // namespace

UpdateRegistryValues ReadUpdateRegistry(CRegSettingsMngr& reg) {
    UpdateRegistryValues v;
    v.sqlServer = platform::Utf16ToCp1251(
        Trim(ReadText(reg, u"SqlServer", kSqlServerCapacity).value_or(u"")));
    v.proxy.useProxy = static_cast<int32_t>(ReadDword(reg, u"UseProxy").value_or(0));
    if (auto u = ReadDword(reg, u"UpdateUseProxy"))
        v.proxy.useProxy = static_cast<int32_t>(*u);
    ReadProxyText(reg, u"ProxyServer", u"UpdateProxyServer", v.proxy.server);
    uint32_t port = ReadDword(reg, u"ProxyPort").value_or(0);
    if (auto u = ReadDword(reg, u"UpdateProxyPort"))
        port = *u;
    v.proxy.port = static_cast<uint16_t>(port);
    ReadProxyText(reg, u"ProxyLogin", u"UpdateProxyLogin", v.proxy.login);
    ReadProxyText(reg, u"ProxyPwd", u"UpdateProxyPwd", v.proxy.password);
    v.checkUpdateMin = static_cast<int32_t>(reg.GetDword(kKeyCommon, u"CheckUpdateMin", 15));
    v.updateEnable = static_cast<int32_t>(reg.GetDword(kKeyCommon, u"UpdateEnable", 1));
    if (v.checkUpdateMin == 0)
        v.updateEnable = 0;
    v.updateWarningEnable =
        static_cast<int32_t>(reg.GetDword(kKeyCommon, u"UpdateWarningEnable", 1));
    return v;
}

std::u16string ProbeFilePath(const std::u16string& folder, uint32_t random) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::u16string hex;
    do {
        hex.insert(hex.begin(), static_cast<char16_t>(kHex[random & 15]));
        random >>= 4;
    } while (random != 0);
    return folder + hex + kProbeSuffix;
}

std::u16string UpdaterCommandLine(int32_t appId, const std::u16string& folder,
                                  const std::u16string& fileName) {
    return u" --appid " + Ascii16(std::to_string(appId)) + u" --path \"" + folder +
           u"\" --runexe " + fileName;
}

UpdateCore::UpdateCore(UpdateSettings settings, Transport& transport, Hasher& hasher,
                       Database& database, System& system)
    : m_settings(std::move(settings)),
      m_transport(transport),
      m_hasher(hasher),
      m_database(database),
      m_system(system) {
    if (m_settings.checkUpdateMin == 0)
        m_settings.updateEnable = 0;
    const size_t slash = m_settings.programPath.find_last_of(u'\\');
    if (slash != std::u16string::npos) {
        m_programFolder = m_settings.programPath.substr(0, slash + 1);
        m_programFile = m_settings.programPath.substr(slash + 1);
    } else {
        m_programFile = m_settings.programPath;
    }
    m_updaterPath = m_programFolder + kUpdaterFileName;
    m_versionParts = ParseVersionParts(m_settings.versionText);
}

bool UpdateCore::CheckInstallation() {
    bool ok = true;
    if (!m_system.CreateAndDeleteFile(ProbeFilePath(m_programFolder, m_system.SecureRandom()))) {
        platform::ShowMessage(kFolderNotWritableMessage);
        ok = false;
    }
    if (!m_system.FileReadable(m_updaterPath)) {
        platform::ShowMessage(kUpdaterMissingMessage);
        ok = false;
    }
    return ok;
}

bool UpdateCore::RunStartupUpdate() {
    const int32_t version = QueryDbVersion();
    if (version == 0 || m_settings.updateEnable == 0)
        return true;
    if (!m_referenceMatch) {
        std::vector<VersionEntry> list;
        GetVersionList(kDatabaseAppId, static_cast<uint64_t>(static_cast<int64_t>(version)),
                       kDatabasePlatform, list);
        if (!ApplyDbUpdates(list))
            return false;
    }
    if (IsProgramUpdateAvailable()) {
        uint32_t error = 0;
        if (m_system.StartProcess(
                m_updaterPath, UpdaterCommandLine(m_settings.appId, m_programFolder, m_programFile),
                error))
            return false;  // the program makes way for the updater
        platform::ShowMessage(FormatStartFailed(error));
    }
    return true;
}

int32_t UpdateCore::QueryDbVersion() {
    std::unique_ptr<VersionConnection> connection = m_database.OpenVersionConnection();
    if (!connection)
        return 0;
    int32_t version = 0;
    std::string download;
    if (!connection->ReadVersionRow(version, download))
        return 0;
    m_download = std::move(download);
    m_referenceMatch = MatchesReferenceDigest();
    // The connection stays open here: its local address is looked up.
    LookupAddresses();
    return version;
}

bool UpdateCore::MatchesReferenceDigest() {
    const auto digest = m_hasher.Sha1Hex(m_download);
    return digest && *digest == m_settings.referenceDigest;
}

void UpdateCore::LookupAddresses() {
    m_publicAddress.clear();
    std::string address;
    if (m_transport.GetPublicAddress(address))
        m_publicAddress = std::move(address);
    m_localAddress = m_system.LocalAddressTo(m_settings.databasePort);
    if (m_localAddress.size() <= 6)
        m_localAddress.clear();
}

bool UpdateCore::GetVersionList(int32_t appId, uint64_t version, uint32_t platform,
                                std::vector<VersionEntry>& list) {
    list.clear();
    const auto digest = m_hasher.Sha1Hex(m_download);
    if (!digest)
        return false;
    std::string reply;
    if (!m_transport.Post(kScriptPath, GetVerListBody(*digest, appId, version, platform), reply))
        return false;
    list = ParseVersionList(reply);
    return true;
}

bool UpdateCore::IsProgramUpdateAvailable() {
    m_system.BeginWait();
    const uint64_t packed = PackVersion(m_versionParts);
    std::vector<VersionEntry> list;
    GetVersionList(m_settings.appId, packed, kProgramPlatform, list);
    m_system.EndWait();
    return !list.empty() && static_cast<uint64_t>(list.back().build) != packed;
}

bool UpdateCore::ApplyDbUpdates(const std::vector<VersionEntry>& list) {
    if (list.empty())
        return true;
    std::unique_ptr<UpdateSession> session = m_database.OpenUpdateSession();
    if (!session)
        return false;
    m_system.BeginProgress();
    for (const VersionEntry& entry : list) {
        if (entry.commandCount == 0)
            continue;
        if (!ApplyDbCommands(static_cast<int32_t>(entry.build), *session)) {
            m_system.EndProgress();
            return false;
        }
    }
    // Texts from the server and the client library are escaped, by the
    // client library on this connection: the public address arrives from a
    // server whose certificate is not checked.
    const std::string app =
        m_settings.programName + " v" + platform::Utf16ToUtf8(m_settings.versionText);
    const auto userIp = session->Escape(m_publicAddress);
    const auto localIp = session->Escape(m_localAddress);
    const auto resource = session->Escape(session->HostInfo());
    const auto appText = session->Escape(app);
    // The row is committed so that it stays with transactional tables too.
    if (userIp && localIp && resource && appText) {
        const std::string row =
            "INSERT INTO `ac_log` (`name`, `userip`, `localip`, `resource`, `action`, `app`) "
            "VALUES ('-', '" +
            *userIp + "', '" + *localIp + "', '" + *resource + "', 'db update', '" + *appText +
            "');";
        if (session->Execute(row))
            session->Commit();
    }
    m_system.EndProgress();
    return true;
}

bool UpdateCore::ApplyDbCommands(int32_t dbVersion, UpdateSession& session) {
    const auto digest = m_hasher.Sha1Hex(m_download);
    if (!digest)
        return false;
    std::string reply;
    if (!m_transport.Post(kScriptPath, GetDbCmdBody(*digest, kDatabaseAppId, dbVersion), reply))
        return false;
    if (reply.empty())
        return true;
    const DbCommandSet set = ParseDbCommandSet(reply);
    // A reply that is not a command set, or whose commands are cut or empty,
    // fails before anything runs (some statements commit on their own).
    if (set.status != DbCommandSet::Status::Ok)
        return false;
    if (set.count == 0)
        return true;
    if (!session.Execute(kStartTransaction))
        return false;
    bool foreignKeyChecks = true;
    bool failed = false;
    int executed = 0;
    for (const DbCommand& command : set.commands) {
        if (command.ForeignKeyChecks() != foreignKeyChecks) {
            if (!session.Execute("SET FOREIGN_KEY_CHECKS=" +
                                 std::to_string(command.ForeignKeyChecks() ? 1 : 0) + ";")) {
                failed = true;
                break;
            }
            foreignKeyChecks = command.ForeignKeyChecks();
        }
        const UpdateSession::Outcome outcome = session.ExecuteCommand(command.sql);
        if (outcome == UpdateSession::Outcome::Failed) {
            failed = true;
            break;
        }
        ++executed;
        if (outcome == UpdateSession::Outcome::LaterResultFailed)
            failed = true;  // the walk goes on; the set is rolled back
    }
    // The next set takes the checks to be on: a set that left them off
    // switches them back once it has ended.
    const auto restoreForeignKeys = [&] {
        if (!foreignKeyChecks)
            session.Execute("SET FOREIGN_KEY_CHECKS=1;");
    };
    if (failed || executed == 0) {
        session.Rollback();
        restoreForeignKeys();
        return false;
    }
    bool ok = false;
    if (session.Execute("UPDATE `versions` SET `ver`=" + std::to_string(dbVersion) +
                        " WHERE `id`=" + std::to_string(kVersionRowId) + ";")) {
        ok = session.Commit();
    } else {
        session.Rollback();
    }
    restoreForeignKeys();
    std::string ignored;
    m_transport.Post(
        kScriptPath,
        WriteLogBody(*digest, kDatabaseAppId, dbVersion, kDatabasePlatform, ok, m_localAddress),
        ignored);
    return ok;
}

}  // namespace update
