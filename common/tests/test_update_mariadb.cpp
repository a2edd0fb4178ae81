// The update flow against the tests' MariaDB server (fixture "mariadb") and
// the in-process update server: transactions, rollback, foreign-key
// switches, the access log and the session's connection losses, as the
// database sees them. Losses are made by a loopback relay (test_mysql_proxy);
// the wrapper's 2000 ms waits are the test's hook, which records them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "common/tests/test_mysql_proxy.h"
#include "common/tests/update_fakes.h"
#include "common/update_core_mysql.h"
#include "platform/notifier.h"
#include "platform/text_codec.h"

namespace {

using namespace update;
using namespace update_test;

uint16_t TestPort() {
    const char* port = std::getenv("SURVEY_DB_TEST_PORT");
    return static_cast<uint16_t>(port ? std::atoi(port) : 58431);
}

DbConnectionParams TestDb(uint16_t port = TestPort()) {
    DbConnectionParams p;
    p.server = "127.0.0.1";
    p.port = port;
    p.schema = "kalvetradb";
    p.user = "rvapp";
    const char* password = std::getenv("SURVEY_DB_TEST_PASSWORD");
    p.password = password ? password : "";
    return p;
}

class UpdateMariaDb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mysql_api::ClientApi())
            GTEST_SKIP() << "no MySQL client library";
        admin = std::make_unique<CMySQLW>(TestDb(), true);
        ASSERT_TRUE(admin->OpenConnection()) << "the test database server is not reachable";
        for (const char16_t* sql :
             {u"SET FOREIGN_KEY_CHECKS=0", u"DROP TABLE IF EXISTS road_marks",
              u"DROP TABLE IF EXISTS roads", u"SET FOREIGN_KEY_CHECKS=1",
              u"CREATE TABLE roads (id INT PRIMARY KEY, name VARCHAR(64)) ENGINE=InnoDB "
              u"DEFAULT CHARSET=utf8",
              u"CREATE TABLE road_marks (id INT PRIMARY KEY, road INT NOT NULL, FOREIGN KEY "
              u"(road) REFERENCES roads(id)) ENGINE=InnoDB",
              u"INSERT INTO roads VALUES (1, 'М-4')", u"DELETE FROM ac_log",
              u"UPDATE versions SET ver=57, download='https://example.invalid/kalvetra-57.zip' "
              u"WHERE id=1"})
            ASSERT_TRUE(admin->ExecuteSql(sql)) << platform::Utf16ToUtf8(sql);
        server.verListReplies[106] = VersionListReply({{static_cast<int64_t>(kPacked), 0}});
    }

    std::vector<std::vector<std::string>> Rows(const std::u16string& query) {
        std::vector<std::vector<std::string>> rows;
        CMySQLW::StatementLock lock(*admin);
        if (!admin->SelectSql(query, lock))
            return rows;
        CMySQLW::Row row;
        while (admin->FetchRow(row)) {
            std::vector<std::string> r;
            for (auto& c : row)
                r.push_back(c.value_or("NULL"));
            rows.push_back(r);
        }
        admin->FreeResult();
        return rows;
    }
    std::string Snapshot() {
        std::string s;
        for (const char16_t* q : {u"SELECT id, name FROM roads ORDER BY id",
                                  u"SELECT id, road FROM road_marks ORDER BY id",
                                  u"SELECT id, ver, download FROM versions ORDER BY id"})
            for (auto& r : Rows(q)) {
                for (auto& c : r)
                    s += c + "|";
                s += "\n";
            }
        return s;
    }
    UpdateCore Make() {
        UpdateSettings s;
        s.appId = 106;
        s.versionText = u"1.4.2.17";
        s.programPath = u"C:\\Marvesto\\Orvanta.exe";
        s.programName = "Orvanta";
        s.referenceDigest = std::string(40, 'f');
        return UpdateCore(s, server, hasher, database, sys);
    }

    // The wrapper's waits, recorded instead of slept; `onWait` sees each one.
    CMySQLWHooks RecordingHooks() {
        CMySQLWHooks hooks;
        hooks.sleepMs = [this](uint32_t ms) {
            waits.push_back(ms);
            if (onWait)
                onWait(static_cast<int>(waits.size()));
        };
        hooks.productVersion = [] { return std::u16string(u"1.4.2.17"); };
        return hooks;
    }

    static constexpr uint64_t kPacked = 0x0001000400020011ull;
    platform::RecordingNotifier notifier;
    platform::ScopedNotifier scoped{notifier};
    std::unique_ptr<CMySQLW> admin;
    FakeUpdateServer server;
    PortableHasher hasher;
    std::vector<uint32_t> waits;
    std::function<void(int wait)> onWait;
    MySqlUpdateDatabase database{TestDb(), RecordingHooks()};
    FakeSystem sys;
};

TEST_F(UpdateMariaDb, CommandSetAppliedInOneTransaction) {
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] = CommandSetReply(
        {{"db", 2, "INSERT INTO roads VALUES (2, 'Р-22 «Каспий»')"},
         {"db", 2,
          "INSERT INTO road_marks VALUES (1, 2); UPDATE roads SET name='М-4 Дон' WHERE id=1"}});
    UpdateCore core = Make();
    EXPECT_EQ(core.QueryDbVersion(), 57);
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(Rows(u"SELECT ver FROM versions WHERE id=1")[0][0], "58");
    const auto roads = Rows(u"SELECT id, name FROM roads ORDER BY id");
    ASSERT_EQ(roads.size(), 2u);
    EXPECT_EQ(roads[0][1], "М-4 Дон");
    EXPECT_EQ(roads[1][1], "Р-22 «Каспий»");
    EXPECT_EQ(Rows(u"SELECT COUNT(*) FROM road_marks")[0][0], "1");
    ASSERT_EQ(server.writeLogs.size(), 1u);
    EXPECT_EQ(server.writeLogs[0]["status"], "OK");
    EXPECT_EQ(server.writeLogs[0]["ver"], "58");
    const auto log = Rows(u"SELECT name, userip, localip, resource, action, app FROM ac_log");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0], "-");
    EXPECT_EQ(log[0][1], "203.0.113.7");
    EXPECT_NE(log[0][3].find("127.0.0.1"), std::string::npos);
    EXPECT_EQ(log[0][4], "db update");
    EXPECT_EQ(log[0][5], "Orvanta v1.4.2.17");
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(UpdateMariaDb, SecondCommandFailingLeavesTheDatabaseAsBefore) {
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] = CommandSetReply({{"db", 2, "INSERT INTO roads VALUES (2, 'A')"},
                                               {"db", 2, "INSERT INTO no_such_table VALUES (1)"}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(server.writeLogs.empty());
    // The wrapper reported the failing statement.
    ASSERT_EQ(notifier.Messages().size(), 1u);
    EXPECT_NE(notifier.Messages()[0].text.find("Error 1146"), std::string::npos);
}

TEST_F(UpdateMariaDb, LaterStatementOfACommandFailingRollsBack) {
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.dbCmdReplies[58] = CommandSetReply(
        {{"db", 2, "INSERT INTO roads VALUES (3, 'B'); INSERT INTO roads VALUES (3, 'dup')"}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateMariaDb, ForeignKeyChecksFollowBitOne) {
    // A mark of a road that does not exist yet goes in only with checks off.
    server.verListReplies[1] = VersionListReply({{58, 3}, {59, 1}});
    server.dbCmdReplies[58] = CommandSetReply({{"db", 0, "INSERT INTO road_marks VALUES (5, 9)"},
                                               {"db", 2, "INSERT INTO roads VALUES (9, 'C')"},
                                               {"db", 0, "INSERT INTO road_marks VALUES (6, 10)"}});
    // The next set assumes checks on: a dangling mark must be refused.
    server.dbCmdReplies[59] = CommandSetReply({{"db", 2, "INSERT INTO road_marks VALUES (7, 11)"}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Rows(u"SELECT ver FROM versions WHERE id=1")[0][0], "58");
    EXPECT_EQ(Rows(u"SELECT COUNT(*) FROM road_marks")[0][0], "2");
    ASSERT_EQ(server.writeLogs.size(), 1u);
    ASSERT_EQ(notifier.Messages().size(), 1u);
    EXPECT_NE(notifier.Messages()[0].text.find("Error 1452"), std::string::npos);
}

TEST_F(UpdateMariaDb, SetWithoutDbItemFails) {
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.dbCmdReplies[58] = CommandSetReply({{"file", 2, "rvupdate.cfg"}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateMariaDb, CountZeroWritesOnlyTheAccessLog) {
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 0}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Rows(u"SELECT COUNT(*) FROM ac_log")[0][0], "1");
    EXPECT_EQ(server.Count("getdbcmd"), 0);
}

TEST_F(UpdateMariaDb, TruncatedReplyChangesNothing) {
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 2}});
    const std::string full = CommandSetReply({{"db", 2, "INSERT INTO roads VALUES (4, 'D')"},
                                              {"db", 2, "DELETE FROM roads WHERE id=1"}});
    server.dbCmdReplies[58] = full.substr(0, full.size() - 12);
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateMariaDb, ProgramBuildDecidesTheUpdater) {
    server.verListReplies[1] = VersionListReply({});
    server.verListReplies[106] = VersionListReply({{static_cast<int64_t>(kPacked + 0x10000), 0}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(sys.started.size(), 1u);
    server.verListReplies[106] = VersionListReply({{static_cast<int64_t>(kPacked), 0}});
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(sys.started.size(), 1u);
}

TEST_F(UpdateMariaDb, LostConnectionInTheMiddleIsNotRepaired) {
    // The first command ends its own connection; a repaired connection would
    // run the second one with auto-commit on, outside the rolled-back set.
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] = CommandSetReply(
        {{"db", 2,
          "INSERT INTO roads VALUES (2, 'A'); SET @k = CONCAT('KILL ', CONNECTION_ID()); "
          "PREPARE k FROM @k; EXECUTE k"},
         {"db", 2, "INSERT INTO roads VALUES (3, 'after the loss')"}});
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(server.writeLogs.empty());
    EXPECT_TRUE(waits.empty()) << "no reconnect was tried";
    // The loss was reported by the wrapper.
    ASSERT_FALSE(notifier.Messages().empty());
    EXPECT_NE(notifier.Messages().back().text.find("Действие не выполнено."), std::string::npos);
}

TEST_F(UpdateMariaDb, FirstConnectionOfTheSessionIsRepairedLikeAnyLostConnection) {
    // The server is away when the session connects and back within the
    // first wait, then within the second: no transaction exists yet, so the
    // wrapper's repair applies, and the session works on the new connection.
    for (int backAt : {1, 2}) {
        SCOPED_TRACE(backAt);
        waits.clear();
        TcpRelay relay(TestPort());
        ASSERT_NE(relay.Port(), 0);
        MySqlUpdateDatabase relayed(TestDb(relay.Port()), RecordingHooks());
        relay.Cut();
        onWait = [&](int wait) {
            if (wait == backAt)
                relay.Restore();
        };
        std::unique_ptr<UpdateSession> session = relayed.OpenUpdateSession();
        ASSERT_TRUE(session);
        EXPECT_EQ(waits, std::vector<uint32_t>(backAt, 2000));
        EXPECT_TRUE(session->Execute("INSERT INTO roads VALUES (" + std::to_string(10 + backAt) +
                                     ", 'после восстановления')"));
        EXPECT_TRUE(session->Commit());
        EXPECT_TRUE(notifier.Messages().empty());
    }
    EXPECT_EQ(Rows(u"SELECT COUNT(*) FROM roads WHERE id IN (11, 12)")[0][0], "2");
    // The repaired losses are in `err_log`, the failed attempts counted.
    const auto notes = Rows(u"SELECT note FROM err_log WHERE query = '' ORDER BY id DESC LIMIT 2");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0][0], "Количество неудачных попыток: 1");
    EXPECT_EQ(notes[1][0], "Количество неудачных попыток: 0");
}

TEST_F(UpdateMariaDb, ServerAwayAtTheFirstConnectionFailsAfterBothWaits) {
    TcpRelay relay(TestPort());
    MySqlUpdateDatabase relayed(TestDb(relay.Port()), RecordingHooks());
    relay.Cut();
    EXPECT_FALSE(relayed.OpenUpdateSession());
    EXPECT_EQ(waits, (std::vector<uint32_t>{2000, 2000}));
    ASSERT_EQ(notifier.Messages().size(), 1u);
    EXPECT_EQ(notifier.Messages()[0].text.rfind("Error 2013: ", 0), 0u)
        << notifier.Messages()[0].text;
}

TEST_F(UpdateMariaDb, AccessLogRowIsEscapedByTheClientLibrary) {
    // The set switches its session to NO_BACKSLASH_ESCAPES, as a server run
    // in that mode: a backslash is then an ordinary character and only a
    // doubled quote stands for a quote. Backslash escaping by hand would
    // end the literal early; the client library follows the mode.
    server.publicAddress = "203.0.113.7\\' x";
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.dbCmdReplies[58] =
        CommandSetReply({{"db", 2, "SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'"}});
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    const auto log = Rows(u"SELECT userip, app FROM ac_log");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0], server.publicAddress);
    EXPECT_EQ(log[0][1], "Orvanta v1.4.2.17");
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(UpdateMariaDb, CommandsSentWithEscapedSlashesRunWhole) {
    // The way PHP's json_encode writes the reply: every "/" of the base64
    // texts as "\/". The first command's front part would be
    // "DELETE FROM roads -- ..." and delete every road.
    const std::string before = Snapshot();
    server.verListReplies[1] = VersionListReply({{58, 2}});
    server.dbCmdReplies[58] =
        CommandSetReply({{"db", 2, "DELETE FROM roads -- проверка\nWHERE id=5"},
                         {"db", 2, "UPDATE roads SET name='Р-22 «Каспий»' WHERE id=7"}},
                        JsonSlashes::Escaped);
    ASSERT_NE(server.dbCmdReplies[58].find("\\/"), std::string::npos);
    UpdateCore core = Make();
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_EQ(Rows(u"SELECT id, name FROM roads ORDER BY id"),
              (std::vector<std::vector<std::string>>{{"1", "М-4"}}));
    EXPECT_EQ(Rows(u"SELECT ver FROM versions WHERE id=1")[0][0], "58");
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(UpdateMariaDb, CommandWithAStrayCharacterRunsNothing) {
    // A line break after "DELETE FROM roads " in the base64 text: its front
    // part alone would delete every road and mark the version done.
    const std::string before = Snapshot();
    const std::string b64 = Base64Encode("DELETE FROM roads WHERE id=5");
    ASSERT_EQ(Base64Decode(b64.substr(0, 24)), "DELETE FROM roads ");
    const std::string stray = b64.substr(0, 24) + "\\n" + b64.substr(24);
    server.verListReplies[1] = VersionListReply({{58, 1}});
    server.dbCmdReplies[58] =
        "{\"cnt\":1,\"items\":[{\"order\":1,\"action\":\"db\",\"flags\":2,\"len\":" +
        std::to_string(stray.size()) + ",\"cmd\":\"" + stray + "\"}]}";
    UpdateCore core = Make();
    EXPECT_FALSE(core.RunStartupUpdate());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(server.writeLogs.empty());
}

TEST_F(UpdateMariaDb, UnreachableDatabaseIsQuiet) {
    DbConnectionParams p = TestDb();
    p.password = "wrong-password";
    MySqlUpdateDatabase wrong(p);
    UpdateSettings s;
    s.appId = 106;
    s.versionText = u"1.4.2.17";
    s.programPath = u"C:\\Marvesto\\Orvanta.exe";
    UpdateCore core(s, server, hasher, wrong, sys);
    EXPECT_TRUE(core.RunStartupUpdate());
    EXPECT_TRUE(server.requests.empty());
    EXPECT_TRUE(notifier.Messages().empty());
}

}  // namespace
