// The update step's Win32 parts together: WinINet against the test update
// server, the CryptoAPI digest, the installation check on real folders, the
// progress window on its worker thread and the start of the updater.
#include <gtest/gtest.h>

#include "common/tests/update_fakes.h"
#include "common/tests/update_wine_support.h"
#include "common/update_checker.h"
#include "common/update_system_win.h"
#include "platform/notifier.h"

namespace {

using namespace update;
using namespace update_wine;

// A database that answers the version query and records the statements.
struct StubDb : Database {
    int32_t version = 57;
    std::string download = "https://example.invalid/kalvetra-57.zip";
    std::vector<std::string> statements;
    int commits = 0;
    struct Conn : VersionConnection {
        StubDb& db;
        explicit Conn(StubDb& d) : db(d) {}
        bool ReadVersionRow(int32_t& v, std::string& d) override {
            v = db.version;
            d = db.download;
            return true;
        }
    };
    struct Session : UpdateSession {
        StubDb& db;
        explicit Session(StubDb& d) : db(d) {}
        bool Execute(const std::string& sql) override {
            db.statements.push_back(sql);
            return true;
        }
        Outcome ExecuteCommand(const std::string& sql) override {
            db.statements.push_back(sql);
            return Outcome::Done;
        }
        bool Commit() override { return ++db.commits > 0; }
        bool Rollback() override { return true; }
        std::string HostInfo() override { return "127.0.0.1 via TCP/IP"; }
        std::optional<std::string> Escape(std::string_view text) override {
            return std::string(text);  // the texts of these tests hold no quotes
        }
    };
    std::unique_ptr<VersionConnection> OpenVersionConnection() override {
        return std::make_unique<Conn>(*this);
    }
    std::unique_ptr<UpdateSession> OpenUpdateSession() override {
        return std::make_unique<Session>(*this);
    }
};

class UpdateWin : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ServerAvailable())
            GTEST_SKIP() << "the test update server is not running";
        ClearLogs();
        folder = WorkFile("install") + L"\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::DeleteFileW((folder + L"rvupdate.exe").c_str());
        ::DeleteFileW(RvupdateLog().c_str());
    }
    void InstallUpdater() {
        const std::string exe = Env("SURVEY_RVUPDATE_EXE");
        ASSERT_FALSE(exe.empty());
        ASSERT_TRUE(::CopyFileW(ZPath(exe).c_str(), (folder + L"rvupdate.exe").c_str(), FALSE));
    }
    std::wstring RvupdateLog() { return WorkFile("rvupdate.log"); }
    UpdateSettings Settings() {
        UpdateSettings s;
        s.appId = 106;
        s.versionText = u"1.4.2.17";
        s.programPath = platform_path(folder + L"Orvanta.exe");
        s.programName = "Orvanta";
        s.referenceDigest = std::string(40, '0');
        return s;
    }
    static std::u16string platform_path(const std::wstring& w) {
        return std::u16string(w.begin(), w.end());
    }

    platform::RecordingNotifier notifier;
    platform::ScopedNotifier scoped{notifier};
    std::wstring folder;
    const uint64_t packed = 0x0001000400020011ull;
};

TEST_F(UpdateWin, InstallationCheckOnRealFolders) {
    WinTransport transport(L"127.0.0.1", ProxySettings{}, true);
    CryptoHasher hasher;
    StubDb db;
    WinSystem system;
    {
        UpdateCore core(Settings(), transport, hasher, db, system);
        EXPECT_FALSE(core.CheckInstallation());  // no updater yet
        ASSERT_EQ(notifier.Messages().size(), 1u);
        EXPECT_EQ(notifier.Messages()[0].text, kUpdaterMissingMessage);
        InstallUpdater();
        notifier.Clear();
        EXPECT_TRUE(core.CheckInstallation());
        EXPECT_TRUE(notifier.Messages().empty());
        // The probe file is gone again.
        WIN32_FIND_DATAW found;
        HANDLE h = ::FindFirstFileW((folder + L"*.tmp").c_str(), &found);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        if (h != INVALID_HANDLE_VALUE)
            ::FindClose(h);
    }
    // A folder nobody may write into (not even root): both tests fail.
    UpdateSettings s = Settings();
    s.programPath = u"Z:\\proc\\Orvanta.exe";
    UpdateCore core(s, transport, hasher, db, system);
    notifier.Clear();
    EXPECT_FALSE(core.CheckInstallation());
    const auto m = notifier.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].text, kFolderNotWritableMessage);
    EXPECT_EQ(m[1].text, kUpdaterMissingMessage);
}

TEST_F(UpdateWin, DatabaseUpdateThenUpdaterWithItsCommandLine) {
    InstallUpdater();
    const std::string set = update_test::CommandSetReply(
        {{"db", 2, "INSERT INTO roads VALUES (1, 'М-4')"}, {"file", 0, "x"}});
    WriteScenario({{"1", update_test::VersionListReply({{58, 2}})},
                   {"106", update_test::VersionListReply({{static_cast<int64_t>(packed) + 1, 0}})}},
                  {{"58", set}}, "198.51.100.9");
    WinTransport transport(L"127.0.0.1", ProxySettings{}, true);
    CryptoHasher hasher;
    StubDb db;
    WinSystem system;
    UpdateCore core(Settings(), transport, hasher, db, system);
    ::SetEnvironmentVariableW(L"SURVEY_RVUPDATE_LOG", RvupdateLog().c_str());
    EXPECT_FALSE(core.RunStartupUpdate());  // makes way for the updater
    EXPECT_EQ(core.PublicAddress(), "198.51.100.9");
    ASSERT_GE(db.statements.size(), 3u);
    EXPECT_EQ(db.statements[0], "START TRANSACTION");
    EXPECT_EQ(db.statements[1], "INSERT INTO roads VALUES (1, 'М-4');");
    EXPECT_EQ(db.statements[2], "UPDATE `versions` SET `ver`=58 WHERE `id`=1;");
    // The server saw the digest of the download text and the outcome.
    const std::string digest = Sha1HexText(db.download);
    bool sawWriteLog = false;
    for (const std::string& r : Requests()) {
        if (r.find("\"cmd\": \"writelog\"") != std::string::npos) {
            sawWriteLog = true;
            EXPECT_NE(r.find("\"status\": \"OK\""), std::string::npos) << r;
            EXPECT_NE(r.find("\"data\": \"" + digest + "\""), std::string::npos) << r;
        }
    }
    EXPECT_TRUE(sawWriteLog);
    // The updater recorded its command line (it runs on its own: bounded wait).
    std::string line;
    for (int i = 0; i < 100 && line.empty(); ++i) {
        line = ReadFile(RvupdateLog());
        if (line.empty())
            ::Sleep(100);
    }
    std::string folderUtf8;
    for (wchar_t c : folder)
        folderUtf8.push_back(static_cast<char>(c));
    EXPECT_EQ(line, " --appid 106 --path \"" + folderUtf8 + "\" --runexe Orvanta.exe\n");
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(UpdateWin, UpdaterThatCannotStartIsReported) {
    // rvupdate.exe is missing: CreateProcessW fails with "file not found".
    WriteScenario({{"106", update_test::VersionListReply({{1, 0}})}}, {});
    WinTransport transport(L"127.0.0.1", ProxySettings{}, true);
    CryptoHasher hasher;
    StubDb db;
    WinSystem system;
    UpdateSettings s = Settings();
    s.referenceDigest = Sha1HexText(db.download);  // no database step
    UpdateCore core(s, transport, hasher, db, system);
    EXPECT_TRUE(core.RunStartupUpdate());
    const auto m = notifier.Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].text.rfind("Ошибка: 2. Не удалось запустить rvupdate.exe.", 0), 0u) << m[0].text;
}

TEST_F(UpdateWin, SilentWhenNotInDirectMode) {
    // Through the configured proxy and silent: a dead server shows nothing,
    // except the address lookup, which always shows its errors.
    ProxySettings proxy;
    WinTransport transport(L"127.0.0.3", proxy, false);
    std::string reply;
    EXPECT_FALSE(transport.Post(kScriptPath, "data=x&cmd=getverlist", reply));
    EXPECT_TRUE(notifier.Messages().empty());
    std::string address;
    EXPECT_FALSE(transport.GetPublicAddress(address));
    EXPECT_EQ(notifier.Messages().size(), 1u);
}

TEST_F(UpdateWin, CheckerWithoutDatabaseChangesNothing) {
    InstallUpdater();
    UpdateCheckerOverrides o;
    o.programPath = folder + L"Orvanta.exe";
    o.updateHost = L"127.0.0.1";
    o.directMode = true;
    DbConnectionParams db;
    db.server = "127.0.0.1";
    db.port = 1;  // nothing listens: the quiet version query gives 0
    db.schema = "kalvetradb";
    db.user = "rvapp";
    o.database = db;
    o.versionText = L"1.4.2.17";
    UpdateChecker checker(106, o);
    EXPECT_TRUE(checker.DirectMode());
    EXPECT_TRUE(checker.CheckInstallation());
    EXPECT_EQ(checker.QueryDbVersion(), 0);
    EXPECT_TRUE(checker.RunStartupUpdate());
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(notifier.Messages().empty());
    EXPECT_EQ(checker.Core().VersionParts()[3], 17);
}

}  // namespace
