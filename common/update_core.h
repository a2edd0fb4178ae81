// The start-up update flow of every service program, over small interfaces
// so that it runs the same against the real server, database and system and
// against the test doubles: the installation check, the database version
// query, the database command sets applied in transactions and reported, and
// the program update decision with the start of the updater.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings_types.h"
#include "common/update_protocol.h"

class CRegSettingsMngr;

namespace update {

// Requests to the update server. Which proxy is used and whether failures
// show a message is the transport's business (direct mode).
class Transport {
public:
    virtual ~Transport() = default;
    // Form post of `body` (ASCII) to `path` on the update host. True when the
    // server answered with status 200; `reply` holds its bytes (maybe none).
    virtual bool Post(std::u16string_view path, std::string_view body, std::string& reply) = 0;
    // The public address text ("/getuserip.php"), UTF-8; false
    // when the request failed or the reply was empty.
    virtual bool GetPublicAddress(std::string& address) = 0;
};

// 40 lower-case hexadecimal characters, or nullopt when hashing failed.
class Hasher {
public:
    virtual ~Hasher() = default;
    virtual std::optional<std::string> Sha1Hex(std::string_view text) = 0;
};

// The connection that reads the database's version row (quiet: errors close
// it silently).
class VersionConnection {
public:
    virtual ~VersionConnection() = default;
    // "SELECT `ver`, `download` FROM `versions` WHERE `id`=1": false when the
    // select failed; no row gives version 0 and an empty download text.
    virtual bool ReadVersionRow(int32_t& version, std::string& download) = 0;
};

// The connection that applies command sets: multi-statement mode on,
// auto-commit off, each commit starting the next transaction.
class UpdateSession {
public:
    enum class Outcome { Failed, Done, LaterResultFailed };
    virtual ~UpdateSession() = default;
    // One statement, its result sets (if any) left to the session.
    virtual bool Execute(const std::string& sqlUtf8) = 0;
    // A command of one or more statements; every result set is fetched and
    // discarded. LaterResultFailed: the first statement ran, a later one failed.
    virtual Outcome ExecuteCommand(const std::string& sqlUtf8) = 0;
    virtual bool Commit() = 0;
    virtual bool Rollback() = 0;
    // The client library's description of the connection ("host via TCP/IP").
    virtual std::string HostInfo() = 0;
    // `text` (UTF-8) escaped for a quoted literal by the client library on
    // this connection, which follows the server's mode (a server running
    // with NO_BACKSLASH_ESCAPES takes a doubled quote, not a backslash);
    // nullopt when the connection can't escape (it is gone).
    virtual std::optional<std::string> Escape(std::string_view text) = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // Null when the connection can't be opened.
    virtual std::unique_ptr<VersionConnection> OpenVersionConnection() = 0;
    virtual std::unique_ptr<UpdateSession> OpenUpdateSession() = 0;
};

// Files, processes, addresses and the progress window.
class System {
public:
    virtual ~System() = default;
    virtual uint32_t SecureRandom() = 0;
    // Creates the file (always anew), closes and deletes it.
    virtual bool CreateAndDeleteFile(const std::u16string& path) = 0;
    // Opens an existing file for reading.
    virtual bool FileReadable(const std::u16string& path) = 0;
    // The local IPv4 address (dotted) of an established TCP connection to
    // `remotePort`, or empty.
    virtual std::string LocalAddressTo(uint16_t remotePort) = 0;
    // Starts the program; false with the system error code.
    virtual bool StartProcess(const std::u16string& exePath, const std::u16string& commandLine,
                              uint32_t& error) = 0;
    // The progress window shown while command sets run.
    virtual void BeginProgress() = 0;
    virtual void EndProgress() = 0;
    // Wait cursor around the program update question.
    virtual void BeginWait() {}
    virtual void EndWait() {}
};

struct UpdateSettings {
    int32_t appId = 0;            // 106 Orvanta, 108 Vestrami, 107 Tessarin
    std::u16string versionText;   // the product version
    std::u16string programPath;   // full path of the program file
    std::string programName;      // recorded in `ac_log`
    std::string referenceDigest;  // 40 hexadecimal characters
    uint16_t databasePort = 58431;
    int32_t checkUpdateMin = 15;
    int32_t updateEnable = 1;
    int32_t updateWarningEnable = 1;
};

// The values the update step reads for itself from key 0 of the suite's
// registry settings, once per program start.
struct UpdateRegistryValues {
    std::string sqlServer;  // "SqlServer", trimmed, ANSI
    ProxySettings proxy;    // "UseProxy"... with their "Update..." overrides
    int32_t checkUpdateMin = 15;
    int32_t updateEnable = 1;  // forced to 0 when checkUpdateMin is 0
    int32_t updateWarningEnable = 1;
};
// An "Update..." value that can be read replaces the general one; update
// values are not trimmed. Texts longer than 255 characters read as empty.
UpdateRegistryValues ReadUpdateRegistry(CRegSettingsMngr& reg);

// "%X (можно удалить).tmp" after the folder.
std::u16string ProbeFilePath(const std::u16string& folder, uint32_t random);
// " --appid %d --path \"%s\" --runexe %s"
std::u16string UpdaterCommandLine(int32_t appId, const std::u16string& folder,
                                  const std::u16string& fileName);

extern const char kFolderNotWritableMessage[];
extern const char kUpdaterMissingMessage[];

class UpdateCore {
public:
    UpdateCore(UpdateSettings settings, Transport& transport, Hasher& hasher, Database& database,
               System& system);

    bool CheckInstallation();
    bool RunStartupUpdate();
    int32_t QueryDbVersion();
    bool GetVersionList(int32_t appId, uint64_t version, uint32_t platform,
                        std::vector<VersionEntry>& list);
    bool IsProgramUpdateAvailable();
    bool ApplyDbUpdates(const std::vector<VersionEntry>& list);
    bool ApplyDbCommands(int32_t dbVersion, UpdateSession& session);
    void LookupAddresses();
    bool MatchesReferenceDigest();

    const std::u16string& ProgramFolder() const { return m_programFolder; }
    const std::u16string& UpdaterPath() const { return m_updaterPath; }
    const std::array<int32_t, 4>& VersionParts() const { return m_versionParts; }
    const std::string& PublicAddress() const { return m_publicAddress; }
    const std::string& LocalAddress() const { return m_localAddress; }
    const std::string& DownloadText() const { return m_download; }
    bool ReferenceMatch() const { return m_referenceMatch; }
    int32_t UpdateEnable() const { return m_settings.updateEnable; }

private:
    UpdateSettings m_settings;
    Transport& m_transport;
    Hasher& m_hasher;
    Database& m_database;
    System& m_system;

    bool m_referenceMatch = false;
    std::string m_publicAddress;  // UTF-8
    std::string m_localAddress;
    std::string m_download;
    std::u16string m_programFolder;
    std::u16string m_programFile;
    std::u16string m_updaterPath;
    std::array<int32_t, 4> m_versionParts{};
};

}  // namespace update
