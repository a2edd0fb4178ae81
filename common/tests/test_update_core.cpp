// The start-up update flow against the in-process update server and a
// scripted database.
#include <gtest/gtest.h>

#include "common/tests/update_fakes.h"
#include "platform/notifier.h"

namespace {

using namespace update;
using namespace update_test;

// Records every statement; a statement containing `failOn` fails.
struct ScriptedDb : Database {
    struct Log {
        std::vector<std::string> statements;
        std::vector<std::string> committed;  // statements of committed transactions
        std::vector<std::string> pending;
        int commits = 0, rollbacks = 0;
    };
    bool reachable = true;
    bool selectFails = false;
    int32_t version = 57;
    std::optional<std::string> download = "https://example.invalid/kalvetra-57.zip";
    std::string failOn;
    std::string laterFailOn;
    bool sessionOpens = true;
    // The client library's escaping follows the server's mode: with
    // NO_BACKSLASH_ESCAPES it doubles quotes and leaves backslashes alone.
    bool noBackslashEscapes = false;
    std::vector<std::string> escaped;  // texts the session was asked to escape
    Log log;
    int versionConnections = 0;

    struct Conn : VersionConnection {
        ScriptedDb& db;
        explicit Conn(ScriptedDb& d) : db(d) {}
        bool ReadVersionRow(int32_t& v, std::string& d) override {
            if (db.selectFails)
                return false;
            v = db.version;
            d = db.download.value_or("");
            return true;
        }
    };
    struct Session : UpdateSession {
        ScriptedDb& db;
        explicit Session(ScriptedDb& d) : db(d) {}
        bool Execute(const std::string& sql) override {
            db.log.statements.push_back(sql);
            if (!db.failOn.empty() && sql.find(db.failOn) != std::string::npos)
                return false;
            db.log.pending.push_back(sql);
            return true;
        }
        Outcome ExecuteCommand(const std::string& sql) override {
            if (!Execute(sql))
                return Outcome::Failed;
            if (!db.laterFailOn.empty() && sql.find(db.laterFailOn) != std::string::npos)
                return Outcome::LaterResultFailed;
            return Outcome::Done;
        }
        bool Commit() override {
            ++db.log.commits;
            for (auto& s : db.log.pending)
                db.log.committed.push_back(s);
            db.log.pending.clear();
            return true;
        }
        bool Rollback() override {
            ++db.log.rollbacks;
            db.log.pending.clear();
            return true;
        }
        std::string HostInfo() override { return "127.0.0.1 via TCP/IP"; }
        std::optional<std::string> Escape(std::string_view text) override {
            db.escaped.emplace_back(text);
            std::string out;
            for (char c : text) {
                if (c == '\'')
                    out += db.noBackslashEscapes ? "''" : "\\'";
                else if (c == '\\' && !db.noBackslashEscapes)
                    out += "\\\\";
                else
                    out += c;
            }
            return out;
        }
    };

    std::unique_ptr<VersionConnection> OpenVersionConnection() override {
        ++versionConnections;
        if (!reachable)
            return nullptr;
        return std::make_unique<Conn>(*this);
    }
    std::unique_ptr<UpdateSession> OpenUpdateSession() override {
        if (!reachable || !sessionOpens)
            return nullptr;
        return std::make_unique<Session>(*this);
    }
};

class UpdateFlow : public ::testing::Test {
protected:
    UpdateSettings Settings() {
        UpdateSettings s;
        s.appId = 106;
        s.versionText = u"1.4.2.17";
        s.programPath = u"C:\\Marvesto\\Orvanta.exe";
        s.programName = "Orvanta";
        s.referenceDigest = std::string(40, '0');
        return s;
    }
    UpdateCore Make(UpdateSettings s) { return UpdateCore(std::move(s), server, hasher, db, sys); }
    UpdateCore Make() { return Make(Settings()); }

    platform::RecordingNotifier notifier;
    platform::ScopedNotifier scoped{notifier};
    FakeUpdateServer server;
    PortableHasher hasher;
    ScriptedDb db;
    FakeSystem sys;
    const uint64_t packed = 0x0001000400020011ull;
};

TEST_F(UpdateFlow, CommandSetRunsInOneTransactionAndIsReported) {
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] = CommandSetReply(
        {{"db", 2, "INSERT INTO roads VALUES (1)"}, {"db", 2, "UPDATE roads SET a=2;"}});
    server.verListReplies[106] = VersionListReply({{static_cast<int64_t>(packed), 0}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(db.log.statements,
              (std::vector<std::string>{
                  "START TRANSACTION", "INSERT INTO roads VALUES (1);", "UPDATE roads SET a=2;",
                  "UPDATE `versions` SET `ver`=58 WHERE `id`=1;",
                  "INSERT INTO `ac_log` (`name`, `userip`, `localip`, `resource`, `action`, "
                  "`app`) VALUES ('-', '203.0.113.7', '127.0.0.1', '127.0.0.1 via TCP/IP', 'db "
                  "update', 'Orvanta v1.4.2.17');"}));
    EXPECT_EQ(db.log.commits, 2);
    ASSERT_EQ(server.writeLogs.size(), 1u);
    const auto digest = Sha1HexText(*db.download);
    EXPECT_EQ(server.writeLogs[0], (std::map<std::string, std::string>{{"data", digest},
                                                                       {"cmd", "writelog"},
                                                                       {"appid", "1"},
                                                                       {"ver", "58"},
                                                                       {"platform", "1"},
                                                                       {"status", "OK"},
                                                                       {"userip", "127.0.0.1"}}));
    EXPECT_EQ(sys.progressBegun, 1);
    EXPECT_EQ(sys.progressEnded, 1);
    EXPECT_TRUE(sys.started.empty());
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(UpdateFlow, RequestsCarryDigestVersionAndPlatform) {
    server.verListReplies[1] = VersionListReply({{58, 1}, {59, 0}});
    server.dbCmdReplies[58] = CommandSetReply({{"db", 2, "SELECT 1"}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    const std::string digest = Sha1HexText(*db.download);
    ASSERT_GE(server.requests.size(), 4u);
    EXPECT_EQ(server.requests[0]["cmd"], "getverlist");
    EXPECT_EQ(server.requests[0]["data"], digest);
    EXPECT_EQ(server.requests[0]["appid"], "1");
    EXPECT_EQ(server.requests[0]["ver"], "57");
    EXPECT_EQ(server.requests[0]["platform"], "1");
    EXPECT_EQ(server.requests[1]["cmd"], "getdbcmd");
    EXPECT_EQ(server.requests[1]["ver"], "58");
    EXPECT_EQ(server.requests[2]["cmd"], "writelog");
    EXPECT_EQ(server.requests[3]["cmd"], "getverlist");
    EXPECT_EQ(server.requests[3]["appid"], "106");
    EXPECT_EQ(server.requests[3]["ver"], std::to_string(packed));
    EXPECT_EQ(server.requests[3]["platform"], "3");
    EXPECT_EQ(server.Count("getdbcmd"), 1);  // version 59 has no commands
}

TEST_F(UpdateFlow, SecondCommandFailingRollsBackWithoutWriteLog) {
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] = CommandSetReply(
        {{"db", 2, "INSERT INTO roads VALUES (1)"}, {"db", 2, "INSERT INTO missing VALUES (1)"}});
    db.failOn = "missing";
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_TRUE(db.log.committed.empty());
    EXPECT_EQ(db.log.rollbacks, 1);
    EXPECT_TRUE(server.writeLogs.empty());
    EXPECT_EQ(server.Count("getverlist"), 1);  // no program update question after a failure
    EXPECT_EQ(sys.progressEnded, 1);
}

TEST_F(UpdateFlow, LaterResultErrorFailsTheSetButTheWalkGoesOn) {
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] = CommandSetReply(
        {{"db", 2, "INSERT INTO a VALUES (1); INSERT INTO b VALUES (1)"}, {"db", 2, "SELECT 2"}});
    db.laterFailOn = "INSERT INTO b";
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(db.log.statements.back(), "SELECT 2;");
    EXPECT_TRUE(db.log.committed.empty());
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateFlow, ForeignKeySwitchOnlyWhenBitOneChanges) {
    server.verListReplies[1] = VersionListReply({{58, 4}, {59, 1}});
    server.dbCmdReplies[58] =
        CommandSetReply({{"db", 0, "A"}, {"db", 0, "B"}, {"db", 3, "C"}, {"db", 1, "D"}});
    server.dbCmdReplies[59] = CommandSetReply({{"db", 2, "E"}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    const std::vector<std::string> expected = {
        "START TRANSACTION", "SET FOREIGN_KEY_CHECKS=0;", "A;", "B;", "SET FOREIGN_KEY_CHECKS=1;",
        "C;", "SET FOREIGN_KEY_CHECKS=0;", "D;", "UPDATE `versions` SET `ver`=58 WHERE `id`=1;",
        // Checks come back on after a set that left them off, so the next
        // set's "taken to be on" holds.
        "SET FOREIGN_KEY_CHECKS=1;", "START TRANSACTION", "E;",
        "UPDATE `versions` SET `ver`=59 WHERE `id`=1;"};
    ASSERT_GE(db.log.statements.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(db.log.statements.begin(),
                                       db.log.statements.begin() + expected.size()),
              expected);
    EXPECT_EQ(server.writeLogs.size(), 2u);
}

TEST_F(UpdateFlow, OtherActionsAreSkippedAndASetWithoutDbItemsFails) {
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] =
        CommandSetReply({{"file", 2, "rvupdate.cfg"}, {"exec", 2, "cleanup.bat"}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(db.log.statements, (std::vector<std::string>{"START TRANSACTION"}));
    EXPECT_EQ(db.log.rollbacks, 1);
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateFlow, SkippedItemsBetweenDbItems) {
    server.verListReplies[1] = VersionListReply({{58, 3}});
    server.dbCmdReplies[58] =
        CommandSetReply({{"db", 2, "A"}, {"file", 0, "x.bin"}, {"db", 2, "B"}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(db.log.statements[1], "A;");
    EXPECT_EQ(db.log.statements[2], "B;");  // no foreign-key switch for the skipped item
}

TEST_F(UpdateFlow, CountZeroAppliesNothingButWritesAcLog) {
    server.verListReplies[1] = VersionListReply({{58, 0}, {59, 0}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(server.Count("getdbcmd"), 0);
    ASSERT_EQ(db.log.statements.size(), 1u);
    EXPECT_EQ(db.log.statements[0].rfind("INSERT INTO `ac_log`", 0), 0u);
    EXPECT_EQ(db.log.committed.size(), 1u);
    // A getdbcmd reply with "cnt":0 changes nothing either.
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.dbCmdReplies[58] = "{\"cnt\":0,\"items\":[]}";
    db.log = {};
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(db.log.statements.size(), 1u);
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateFlow, EmptyGetDbCmdReplyChangesNothing) {
    server.verListReplies[1] = VersionListReply({{58, 3}});
    UpdateCore core = Make();  // no reply configured for 58: empty body
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(db.log.statements.size(), 1u);  // the ac_log row only
}

TEST_F(UpdateFlow, CutOrForeignRepliesRunNothing) {
    for (const std::string& reply :
         {std::string("<b>Fatal error</b>: out of memory"),
          CommandSetReply({{"db", 2, "INSERT INTO roads VALUES (1)"},
                           {"db", 2, "DELETE FROM roads WHERE id=5"}})
              .substr(0, 160),
          std::string("{\"cnt\":1,\"items\":[{\"order\":1,\"action\":\"db\",\"flags\":2,\"len\":4,"
                      "\"cmd\":\"====\"}]}")}) {
        SCOPED_TRACE(reply);
        db.log = {};
        server.writeLogs.clear();
        server.verListReplies[1] = VersionListReply({{58, 2}});
        server.dbCmdReplies[58] = reply;
        UpdateCore core = Make();
        EXPECT_FALSE(core.RunStartupUpdate());
        EXPECT_TRUE(db.log.statements.empty());
        EXPECT_TRUE(server.writeLogs.empty());
    }
}

TEST_F(UpdateFlow, GetDbCmdFailureEndsTheProgram) {
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.failingCommands.insert("getdbcmd");
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_TRUE(db.log.statements.empty());
}

TEST_F(UpdateFlow, NewerOrOlderBuildStartsTheUpdaterEqualDoesNot) {
    for (int64_t build : {static_cast<int64_t>(packed) + 1, static_cast<int64_t>(packed) - 1}) {
        sys.started.clear();
        server.verListReplies[106] = VersionListReply({{1, 0}, {build, 0}});
        UpdateCore core = Make();
        EXPECT_FALSE(core.RunStartupUpdate()) << build;
        ASSERT_EQ(sys.started.size(), 1u);
        EXPECT_EQ(sys.started[0].first, u"C:\\Marvesto\\rvupdate.exe");
        EXPECT_EQ(sys.started[0].second,
                  u" --appid 106 --path \"C:\\Marvesto\\\" --runexe Orvanta.exe");
    }
    sys.started.clear();
    server.verListReplies[106] = VersionListReply({{1, 0}, {static_cast<int64_t>(packed), 0}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_TRUE(sys.started.empty());
    // An empty list starts nothing.
    server.verListReplies[106] = "{\"cnt\":0}";
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_TRUE(sys.started.empty());
}

TEST_F(UpdateFlow, UpdaterThatCannotStartIsReportedAndTheProgramGoesOn) {
    server.verListReplies[106] = VersionListReply({{1, 0}});
    sys.startSucceeds = false;
    sys.startError = 193;
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    ASSERT_EQ(notifier.Messages().size(), 1u);
    EXPECT_EQ(notifier.Messages()[0].text,
              "Ошибка: 193. Не удалось запустить rvupdate.exe.\nПроверьте, установлены ли "
              "утилиты настройки и обновления.");
}

TEST_F(UpdateFlow, ThreePartVersionPacksTheMissingRevision) {
    UpdateSettings s = Settings();
    s.versionText = u"1.4.2";
    const uint64_t threePart = 0x000100040002BDC0ull;
    server.verListReplies[106] = VersionListReply({{static_cast<int64_t>(threePart), 0}});
    UpdateCore core = Make(s);
    EXPECT_EQ(core.VersionParts()[3], -1000000);
    EXPECT_FALSE(core.IsProgramUpdateAvailable());
}

TEST_F(UpdateFlow, UpdateDisabledStillQueriesVersionAndAddress) {
    for (auto [checkMin, enable] : {std::pair{15, 0}, std::pair{0, 1}}) {
        server.requests.clear();
        server.userIpRequests = 0;
        db.versionConnections = 0;
        UpdateSettings s = Settings();
        s.checkUpdateMin = checkMin;
        s.updateEnable = enable;
        server.verListReplies[106] = VersionListReply({{1, 0}});
        UpdateCore core = Make(s);
        EXPECT_EQ(core.UpdateEnable(), 0);
        EXPECT_TRUE(core.RunStartupUpdate());
        EXPECT_EQ(db.versionConnections, 1);
        EXPECT_EQ(server.userIpRequests, 1);
        EXPECT_TRUE(server.requests.empty());
        EXPECT_TRUE(sys.started.empty());
        EXPECT_EQ(core.PublicAddress(), "203.0.113.7");
    }
}

TEST_F(UpdateFlow, UnreachableDatabaseSkipsEverything) {
    db.reachable = false;
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(server.userIpRequests, 0);
    EXPECT_TRUE(server.requests.empty());
    db.reachable = true;
    db.selectFails = true;
    EXPECT_EQ(core.QueryDbVersion(), 0);
    db.selectFails = false;
    db.version = 0;  // no row
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_TRUE(server.requests.empty());
}

TEST_F(UpdateFlow, UnreachableServerIsNothingToDo) {
    server.reachable = false;
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_TRUE(db.log.statements.empty());
    EXPECT_EQ(core.PublicAddress(), "");
}

TEST_F(UpdateFlow, ReferenceDigestSkipsDatabaseUpdates) {
    UpdateSettings s = Settings();
    s.referenceDigest = Sha1HexText(*db.download);
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.dbCmdReplies[58] = CommandSetReply({{"db", 2, "SELECT 1"}});
    UpdateCore core = Make(s);
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_TRUE(core.ReferenceMatch());
    EXPECT_EQ(server.Count("getverlist"), 1);  // the program's list only
    EXPECT_EQ(server.requests[0]["appid"], "106");
    EXPECT_TRUE(db.log.statements.empty());
    // A null download column hashes as the empty text.
    db.download.reset();
    s.referenceDigest = Sha1HexText("");
    UpdateCore nullDownload = Make(s);
    nullDownload.QueryDbVersion();
    EXPECT_TRUE(nullDownload.ReferenceMatch());
}

TEST_F(UpdateFlow, HashFailureSendsNothing) {
    hasher.fail = true;
    server.verListReplies[1] = VersionListReply({{58, 1}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_FALSE(core.ReferenceMatch());
    EXPECT_TRUE(server.requests.empty());
}

TEST_F(UpdateFlow, ShortLocalAddressIsDropped) {
    sys.localAddress = "1.2.3";
    UpdateCore core = Make();
    core.QueryDbVersion();
    EXPECT_EQ(core.LocalAddress(), "");
    sys.localAddress = "1.2.3.4";
    core.QueryDbVersion();
    EXPECT_EQ(core.LocalAddress(), "1.2.3.4");
}

TEST_F(UpdateFlow, AcLogTextsAreEscapedByTheSessionsClientLibrary) {
    // A server running with NO_BACKSLASH_ESCAPES: a backslash is an ordinary
    // character there, and escaping by hand with backslashes would end the
    // literal early and run what follows.
    db.noBackslashEscapes = true;
    server.publicAddress = "1.2.3.4\\', 'x'); DROP TABLE versions; -- ";
    server.verListReplies[1] = VersionListReply({{58, 0}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    ASSERT_EQ(db.log.statements.size(), 1u);
    EXPECT_EQ(db.log.statements[0],
              "INSERT INTO `ac_log` (`name`, `userip`, `localip`, `resource`, `action`, `app`) "
              "VALUES ('-', '1.2.3.4\\'', ''x''); DROP TABLE versions; -- ', '127.0.0.1', "
              "'127.0.0.1 via TCP/IP', 'db update', 'Orvanta v1.4.2.17');");
    EXPECT_EQ(db.escaped, (std::vector<std::string>{server.publicAddress, "127.0.0.1",
                                                    "127.0.0.1 via TCP/IP", "Orvanta v1.4.2.17"}));
}

TEST_F(UpdateFlow, CommandsSentWithEscapedSlashesRunWhole) {
    // PHP's json_encode sends every "/" of the base64 texts as "\/". Read
    // "len" characters as they arrive, the first command would stop at its
    // first escape and run as "DELETE FROM roads -- ...": every road gone.
    const std::string first = "DELETE FROM roads -- проверка\nWHERE id=5";
    const std::string second = "UPDATE roads SET name='Р-22 «Каспий»' WHERE id=7";
    ASSERT_NE(Base64Encode(first).find('/'), std::string::npos);
    ASSERT_NE(Base64Encode(second).find('/'), std::string::npos);
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] =
        CommandSetReply({{"db", 2, first}, {"db", 2, second}}, JsonSlashes::Escaped);
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    ASSERT_GE(db.log.statements.size(), 3u);
    EXPECT_EQ(db.log.statements[1], first + ";");
    EXPECT_EQ(db.log.statements[2], second + ";");
    ASSERT_EQ(server.writeLogs.size(), 1u);
    EXPECT_EQ(server.writeLogs[0]["status"], "OK");
}

TEST_F(UpdateFlow, CommandWithAStrayCharacterFailsTheWholeSet) {
    const std::string b64 = Base64Encode("DELETE FROM roads WHERE id=5");
    const std::string good = Base64Encode("INSERT INTO roads VALUES (1)");
    auto item = [](int order, const std::string& cmd, size_t len) {
        return "{\"order\":" + std::to_string(order) +
               ",\"action\":\"db\",\"flags\":2,\"len\":" + std::to_string(len) + ",\"cmd\":\"" +
               cmd + "\"}";
    };
    // A line break (escaped or raw), a blank, a character outside the
    // alphabet, padding cut off, an unknown escape: each in the second item.
    const std::vector<std::string> strays = {b64.substr(0, 16) + "\\n" + b64.substr(16),
                                             b64.substr(0, 16) + "\n" + b64.substr(16),
                                             b64.substr(0, 16) + " " + b64.substr(16),
                                             b64.substr(0, 16) + "*" + b64.substr(16),
                                             b64.substr(0, b64.size() - 2),
                                             b64.substr(0, 16) + "\\x" + b64.substr(16)};
    for (const std::string& stray : strays) {
        SCOPED_TRACE(stray);
        db.log = {};
        server.writeLogs.clear();
        server.verListReplies[1] = VersionListReply({{58, 2}});
        server.dbCmdReplies[58] = "{\"cnt\":2,\"items\":[" + item(1, good, good.size()) + "," +
                                  item(2, stray, stray.size()) + "]}";
        UpdateCore core = Make();
        EXPECT_FALSE(core.RunStartupUpdate());
        EXPECT_TRUE(db.log.statements.empty()) << "nothing runs, not even START TRANSACTION";
        EXPECT_TRUE(server.writeLogs.empty());
    }
}

TEST_F(UpdateFlow, SessionThatCannotOpenFails) {
    db.sessionOpens = false;
    server.verListReplies[1] = VersionListReply({{58, 1}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(sys.progressBegun, 0);
}

TEST_F(UpdateFlow, InstallationCheckRunsBothTests) {
    UpdateCore core = Make();
    EXPECT_TRUE(core.CheckInstallation());
    ASSERT_EQ(sys.probes.size(), 1u);
    EXPECT_EQ(sys.probes[0], u"C:\\Marvesto\\BEEF12 (можно удалить).tmp");
    sys.folderWritable = false;
    sys.updaterPresent = false;
    EXPECT_FALSE(core.CheckInstallation());
    const auto m = notifier.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].text, kFolderNotWritableMessage);
    EXPECT_EQ(m[1].text, kUpdaterMissingMessage);
    EXPECT_EQ(core.UpdaterPath(), u"C:\\Marvesto\\rvupdate.exe");
}

TEST(UpdateTexts, ProbeAndCommandLine) {
    EXPECT_EQ(ProbeFilePath(u"D:\\p\\", 0), u"D:\\p\\0 (можно удалить).tmp");
    EXPECT_EQ(ProbeFilePath(u"D:\\p\\", 0xFFFFFFFFu), u"D:\\p\\FFFFFFFF (можно удалить).tmp");
    EXPECT_EQ(UpdaterCommandLine(108, u"C:\\Program Files\\Marvesto\\", u"Vestrami.exe"),
              u" --appid 108 --path \"C:\\Program Files\\Marvesto\\\" --runexe Vestrami.exe");
}

}  // namespace

#include "common/tests/fake_registry.h"

namespace {

TEST(UpdateRegistry, DefaultsWithoutAnyKey) {
    FakeRegistry reg;
    const update::UpdateRegistryValues v = update::ReadUpdateRegistry(reg);
    EXPECT_EQ(v.sqlServer, "");
    EXPECT_EQ(v.proxy.useProxy, 0);
    EXPECT_EQ(v.proxy.port, 0);
    EXPECT_EQ(v.proxy.server[0], u'\0');
    EXPECT_EQ(v.checkUpdateMin, 15);
    EXPECT_EQ(v.updateEnable, 1);
    EXPECT_EQ(v.updateWarningEnable, 1);
}

TEST(UpdateRegistry, UpdateValuesOverrideTheGeneralOnes) {
    FakeRegistry reg;
    reg.AddKey(kKeyCommon);
    reg.SetString(kKeyCommon, u"SqlServer", u"  db.local ");
    reg.SetDword(kKeyCommon, u"UseProxy", 1);
    reg.SetString(kKeyCommon, u"ProxyServer", u" proxy.local ");
    reg.SetDword(kKeyCommon, u"ProxyPort", 3128);
    reg.SetString(kKeyCommon, u"ProxyLogin", u"ivanov");
    reg.SetString(kKeyCommon, u"UpdateProxyServer", u" upd.local");
    reg.SetDword(kKeyCommon, u"UpdateProxyPort", 0x10000 + 8080);  // used as 16 bits
    reg.SetDword(kKeyCommon, u"UpdateUseProxy", 0);
    reg.SetDword(kKeyCommon, u"CheckUpdateMin", 0);
    const update::UpdateRegistryValues v = update::ReadUpdateRegistry(reg);
    EXPECT_EQ(v.sqlServer, "db.local");
    EXPECT_EQ(v.proxy.useProxy, 0);  // an update value of 0 is still present
    EXPECT_EQ(std::u16string(v.proxy.server), u" upd.local");  // not trimmed
    EXPECT_EQ(v.proxy.port, 8080);
    EXPECT_EQ(std::u16string(v.proxy.login), u"ivanov");
    EXPECT_EQ(v.updateEnable, 0);  // CheckUpdateMin 0 switches updating off
}

TEST(UpdateRegistry, OverlongProxyTextReadsEmpty) {
    FakeRegistry reg;
    reg.AddKey(kKeyCommon);
    const std::u16string longText(300, u'p');
    reg.SetString(kKeyCommon, u"ProxyServer", longText.c_str());
    EXPECT_EQ(update::ReadUpdateRegistry(reg).proxy.server[0], u'\0');
}

}  // namespace
