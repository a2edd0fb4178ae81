// The MySQL wrapper against a real MariaDB server (the "mariadb" ctest
// fixture on 127.0.0.1). Connection losses are made by a loopback relay
// between the wrapper and the server that the test cuts and restores; the
// 2000 ms waits are the test's own hook, which records them and brings the
// "server" back when the case wants it back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "common/app_context.h"
#include "common/app_settings.h"
#include "common/mysql_wrapper.h"
#include "common/tests/test_mysql_proxy.h"
#include "platform/notifier.h"
#include "platform/text_codec.h"

namespace {

const char* const kErrorSuffix = "\nДействие не выполнено.";

bool MariadbInstalled() {
    for (const char* path : {"/usr/sbin/mariadbd", "/usr/bin/mariadbd", "/usr/local/sbin/mariadbd",
                             "/usr/sbin/mysqld", "/usr/local/bin/mariadbd"}) {
        if (std::filesystem::exists(path))
            return true;
    }
    return std::system("command -v mariadbd >/dev/null 2>&1") == 0;
}

uint16_t ServerPort() {
    const char* port = std::getenv("SURVEY_DB_TEST_PORT");
    return static_cast<uint16_t>(port ? std::atoi(port) : 58431);
}

DbConnectionParams Params(uint16_t port) {
    const char* password = std::getenv("SURVEY_DB_TEST_PASSWORD");
    return DbConnectionParams{"127.0.0.1", port, "kalvetradb", "rvapp",
                              password ? password : "rv-test-pass"};
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MariadbInstalled())
            GTEST_SKIP() << "mariadbd is not installed";
        m_settings.userName = u"Оператор O'Neil";
        app_context::SetAppName(u"Orvanta");
        app_context::SetCurrentAppSettings(&m_settings);
        app_context::SetMainWindowHandle(0);
        app_context::SetCloseRequestHook([this](std::uintptr_t hwnd) {
            m_closeRequests.push_back(hwnd);
            return true;
        });
        m_checker = std::make_unique<CMySQLW>(Params(ServerPort()), true, Hooks());
        ASSERT_TRUE(m_checker->OpenConnection()) << "no test server on port " << ServerPort();
        ASSERT_TRUE(m_checker->ExecuteSql(
            u"CREATE TABLE IF NOT EXISTS wrapper_probe (tag VARCHAR(255) NOT NULL) "
            u"ENGINE=InnoDB DEFAULT CHARSET=utf8"));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_tag = std::string(info->name()) + "-" + std::to_string(std::random_device{}());
    }

    void TearDown() override {
        app_context::SetCloseRequestHook({});
        app_context::SetMainWindowHandle(0);
        app_context::SetCurrentAppSettings(nullptr);
        app_context::SetAppName(u"");
    }

    CMySQLWHooks Hooks() {
        CMySQLWHooks hooks;
        hooks.sleepMs = [this](uint32_t ms) {
            m_waits.push_back(ms);
            if (m_onWait)
                m_onWait(static_cast<int>(m_waits.size()));
        };
        hooks.productVersion = [] { return std::u16string(u"1.4.2.17"); };
        return hooks;
    }

    // Every row of a query run on the checker connection.
    std::vector<CMySQLW::Row> Rows(const std::string& queryUtf8) {
        std::vector<CMySQLW::Row> rows;
        CMySQLW::StatementLock lock(*m_checker);
        EXPECT_TRUE(m_checker->SelectSql(platform::Utf8ToUtf16(queryUtf8), lock)) << queryUtf8;
        CMySQLW::Row row;
        while (m_checker->FetchRow(row))
            rows.push_back(row);
        m_checker->FreeResult();
        return rows;
    }

    std::string Quoted(const std::string& text) { return "'" + text + "'"; }

    std::u16string ProbeInsert() const {
        return platform::Utf8ToUtf16("INSERT INTO wrapper_probe (tag) VALUES ('" + m_tag + "')");
    }
    size_t ProbeRows() {
        return Rows("SELECT tag FROM wrapper_probe WHERE tag = " + Quoted(m_tag)).size();
    }
    // err_log rows (errnum, app, query, user, note) whose query mentions the test's tag.
    std::vector<CMySQLW::Row> ErrLogRows() {
        return Rows(
            "SELECT `errnum`, `app`, `query`, `user`, `note` FROM `err_log` WHERE `query` LIKE " +
            Quoted("%" + m_tag + "%") + " ORDER BY id");
    }

    AppSettings m_settings;
    std::unique_ptr<CMySQLW> m_checker;
    std::string m_tag;
    std::vector<uint32_t> m_waits;
    std::function<void(int wait)> m_onWait;
    std::vector<std::uintptr_t> m_closeRequests;
    platform::RecordingNotifier m_notifier;
    platform::ScopedNotifier m_scoped{m_notifier};
};

TEST_F(ServerTest, ConnectsExecutesAndSelectsInUtf8) {
    CMySQLW db(Params(ServerPort()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    EXPECT_TRUE(db.IsConnected());
    EXPECT_NE(db.HostInfo().find(u"127.0.0.1"), std::u16string::npos);

    const std::string tag = m_tag + " Съёмка «дороги»";
    ASSERT_TRUE(db.ExecuteSql(
        platform::Utf8ToUtf16("INSERT INTO wrapper_probe (tag) VALUES ('" + tag + "')")));
    {
        CMySQLW::StatementLock lock(db);
        ASSERT_TRUE(db.SelectSql(
            platform::Utf8ToUtf16("SELECT tag, NULL, 7 FROM wrapper_probe WHERE tag = '" + tag +
                                  "'"),
            lock));
        EXPECT_TRUE(lock.Held());
        CMySQLW::Row row;
        ASSERT_TRUE(db.FetchRow(row));
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(row[0], tag);
        EXPECT_EQ(row[1], std::nullopt);
        EXPECT_EQ(row[2], "7");
        EXPECT_FALSE(db.FetchRow(row));
        db.FreeResult();
    }
    {
        // The suite's own version query.
        CMySQLW::StatementLock lock(db);
        ASSERT_TRUE(db.SelectSql(u"SELECT `ver`, `download` FROM `versions` WHERE `id`=1", lock));
        CMySQLW::Row row;
        ASSERT_TRUE(db.FetchRow(row));
        ASSERT_EQ(row.size(), 2u);
        EXPECT_TRUE(row[0].has_value());
        db.FreeResult();
    }
    EXPECT_TRUE(m_notifier.Messages().empty());
}

TEST_F(ServerTest, TransactionHelpersCommitAndRollBack) {
    CMySQLW db(Params(ServerPort()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    ASSERT_TRUE(db.SetMultiStatements(true));
    ASSERT_TRUE(db.SetAutocommit(false));
    const std::string kept = m_tag + "-kept", dropped = m_tag + "-dropped";
    ASSERT_TRUE(db.ExecuteSql(platform::Utf8ToUtf16("INSERT INTO wrapper_probe (tag) VALUES ('" +
                                                    kept + "'); SELECT 1; DO 2;")));
    EXPECT_TRUE(db.DrainResults());
    ASSERT_TRUE(db.Commit());
    ASSERT_TRUE(db.ExecuteSql(
        platform::Utf8ToUtf16("INSERT INTO wrapper_probe (tag) VALUES ('" + dropped + "')")));
    ASSERT_TRUE(db.Rollback());
    // A later statement of a batch that fails is reported by the draining.
    ASSERT_TRUE(db.ExecuteSql(u"DO 1; SELECT * FROM no_such_table; DO 3;"));
    EXPECT_FALSE(db.DrainResults());
    ASSERT_TRUE(db.SetAutocommit(true));

    EXPECT_EQ(Rows("SELECT tag FROM wrapper_probe WHERE tag = " + Quoted(kept)).size(), 1u);
    EXPECT_EQ(Rows("SELECT tag FROM wrapper_probe WHERE tag = " + Quoted(dropped)).size(), 0u);
    EXPECT_TRUE(m_notifier.Messages().empty());
}

TEST_F(ServerTest, QuietObjectClosesSilentlyOnAnyError) {
    CMySQLW db(Params(ServerPort()), true, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    EXPECT_FALSE(db.ExecuteSql(u"SELEKT 1"));
    EXPECT_FALSE(db.IsConnected());
    EXPECT_FALSE(db.ExecuteSql(ProbeInsert()));
    EXPECT_EQ(ProbeRows(), 0u);

    CMySQLW refused(Params(1), true, Hooks());  // nothing listens on port 1
    EXPECT_FALSE(refused.OpenConnection());

    TcpRelay relay(ServerPort());
    CMySQLW lost(Params(relay.Port()), true, Hooks());
    ASSERT_TRUE(lost.OpenConnection());
    relay.Cut();
    EXPECT_FALSE(lost.ExecuteSql(ProbeInsert()));

    EXPECT_TRUE(m_notifier.Messages().empty());
    EXPECT_TRUE(m_waits.empty());
    EXPECT_TRUE(ErrLogRows().empty());
}

TEST_F(ServerTest, OtherErrorsAreShownAndTheProgramGoesOn) {
    app_context::SetMainWindowHandle(0x10086);
    CMySQLW db(Params(ServerPort()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    EXPECT_FALSE(db.ExecuteSql(u"SELEKT 1"));
    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(StartsWith(messages[0].text, "Error 1064: ")) << messages[0].text;
    EXPECT_TRUE(EndsWith(messages[0].text, kErrorSuffix));
    EXPECT_EQ(messages[0].owner, 0x10086u);
    EXPECT_TRUE(m_waits.empty());
    EXPECT_TRUE(m_closeRequests.empty());
    // The failed connection refuses further statements at once.
    EXPECT_FALSE(db.ExecuteSql(ProbeInsert()));
    EXPECT_EQ(m_notifier.Messages().size(), 1u);
}

TEST_F(ServerTest, CommandsOutOfSyncAreReportedAtOnceWithoutReconnect) {
    app_context::SetMainWindowHandle(0x10086);
    CMySQLW db(Params(ServerPort()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    CMySQLW::StatementLock lock(db);
    ASSERT_TRUE(db.SelectSql(u"SELECT 1 UNION SELECT 2", lock));
    lock.Release();  // the rows are left unread
    EXPECT_FALSE(db.ExecuteSql(ProbeInsert()));

    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(StartsWith(messages[0].text, "Error 2014: ")) << messages[0].text;
    EXPECT_TRUE(EndsWith(messages[0].text, kErrorSuffix));
    EXPECT_TRUE(m_waits.empty());
    EXPECT_TRUE(m_closeRequests.empty());
    EXPECT_TRUE(ErrLogRows().empty());
    db.FreeResult();
    EXPECT_EQ(ProbeRows(), 0u);
}

TEST_F(ServerTest, ServerBackWithinTheFirstWaitLogsTheLossAndRerunsTheStatement) {
    TcpRelay relay(ServerPort());
    ASSERT_NE(relay.Port(), 0);
    CMySQLW db(Params(relay.Port()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    relay.Cut();
    m_onWait = [&](int) { relay.Restore(); };

    EXPECT_TRUE(db.ExecuteSql(ProbeInsert()));
    EXPECT_TRUE(db.IsConnected());
    EXPECT_EQ(m_waits, std::vector<uint32_t>{2000});
    EXPECT_EQ(ProbeRows(), 1u);  // run once more, and only once
    EXPECT_TRUE(m_notifier.Messages().empty());
    EXPECT_TRUE(m_closeRequests.empty());

    const auto rows = ErrLogRows();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 5u);
    EXPECT_TRUE(rows[0][0] == "2006" || rows[0][0] == "2013") << *rows[0][0];
    EXPECT_EQ(rows[0][1], "Orvanta 64bit v.1.4.2.17");
    EXPECT_EQ(rows[0][2], platform::Utf16ToUtf8(ProbeInsert()));
    EXPECT_EQ(rows[0][3], "Оператор O'Neil");
    EXPECT_EQ(rows[0][4], "Количество неудачных попыток: 0");

    // The repaired connection goes on working.
    EXPECT_TRUE(db.ExecuteSql(u"DO 1"));
}

TEST_F(ServerTest, ServerBackWithinTheSecondWaitCountsOneFailedAttempt) {
    TcpRelay relay(ServerPort());
    CMySQLW db(Params(relay.Port()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    relay.Cut();
    m_onWait = [&](int wait) {
        if (wait == 2)
            relay.Restore();
    };
    CMySQLW::StatementLock lock(db);
    EXPECT_TRUE(
        db.SelectSql(platform::Utf8ToUtf16("SELECT 'Съёмка', '" + m_tag + "' FROM DUAL"), lock));
    CMySQLW::Row row;
    ASSERT_TRUE(db.FetchRow(row));
    EXPECT_EQ(row[0], "Съёмка");
    db.FreeResult();
    lock.Release();

    EXPECT_EQ(m_waits, (std::vector<uint32_t>{2000, 2000}));
    EXPECT_GE(relay.Refused(), 1);
    const auto rows = ErrLogRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][4], "Количество неудачных попыток: 1");
    EXPECT_TRUE(m_notifier.Messages().empty());
}

TEST_F(ServerTest, StatementThatFailsAfterTheRepairIsReported) {
    TcpRelay relay(ServerPort());
    CMySQLW db(Params(relay.Port()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    relay.Cut();
    m_onWait = [&](int) { relay.Restore(); };
    const std::string statement = "INSERT INTO no_such_table (tag) VALUES ('" + m_tag + "')";
    EXPECT_FALSE(db.ExecuteSql(platform::Utf8ToUtf16(statement)));

    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "После потери связи подключение к SQL серверу восстановлено, но последнюю команду "
              "выполнить не удалось.");
    EXPECT_EQ(messages[0].caption, "Ошибка!");
    EXPECT_EQ(messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(messages[0].owner, 0u);  // no main window yet
    EXPECT_EQ(ErrLogRows().size(), 1u);
    EXPECT_TRUE(m_closeRequests.empty());
}

TEST_F(ServerTest, ServerThatStaysAwayEndsInOneMessageAndClosesTheMainWindow) {
    TcpRelay relay(ServerPort());
    app_context::SetMainWindowHandle(0x20A4);
    CMySQLW db(Params(relay.Port()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    relay.Cut();

    EXPECT_FALSE(db.ExecuteSql(ProbeInsert()));
    EXPECT_EQ(m_waits, (std::vector<uint32_t>{2000, 2000}));
    EXPECT_EQ(relay.Refused(), 2);
    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(StartsWith(messages[0].text, "Error 2006: ") ||
                StartsWith(messages[0].text, "Error 2013: "))
        << messages[0].text;
    EXPECT_TRUE(EndsWith(messages[0].text, kErrorSuffix));
    EXPECT_EQ(m_closeRequests, std::vector<std::uintptr_t>{0x20A4});
    EXPECT_FALSE(db.IsConnected());
    EXPECT_FALSE(db.ExecuteSql(u"DO 1"));
    EXPECT_TRUE(ErrLogRows().empty());
    EXPECT_EQ(ProbeRows(), 0u);
}

TEST_F(ServerTest, ServerThatStaysAwayDuringStartUpAsksNoWindowToClose) {
    TcpRelay relay(ServerPort());
    CMySQLW db(Params(relay.Port()), false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    relay.Cut();
    EXPECT_FALSE(db.ExecuteSql(ProbeInsert()));
    EXPECT_EQ(m_waits.size(), 2u);
    EXPECT_EQ(m_notifier.Messages().size(), 1u);
    EXPECT_TRUE(m_closeRequests.empty());
}

TEST_F(ServerTest, QuotesAndCyrillicReachErrLogUnchanged) {
    CMySQLW db(Params(ServerPort()), false, Hooks());
    const std::string statement =
        "UPDATE `дороги` SET name='Кольцевая \"МКАД\"', note='O\\'Brien' "
        "WHERE path LIKE 'C:\\\\Съёмки\\\\%' -- " +
        m_tag;
    const std::u16string note = u"Примечание: 'одинарные', \"двойные\" и \\ обратная черта";
    ASSERT_TRUE(db.LogSqlError(2013, statement, note));
    const auto rows = ErrLogRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "2013");
    EXPECT_EQ(rows[0][2], statement);
    EXPECT_EQ(rows[0][3], "Оператор O'Neil");
    EXPECT_EQ(rows[0][4], platform::Utf16ToUtf8(note));
}

TEST_F(ServerTest, OversizedTextsAreCutToFitTheStatement) {
    // As long as the columns take: a 200-character name, a 255-character
    // user, a statement of quotes (doubled by escaping) far past 2048 bytes,
    // a note of 1024 three-byte characters.
    std::u16string name(200, u'名');
    app_context::SetAppName(name);
    m_settings.userName = std::u16string(255, u'ж');
    const std::string statement = "-- " + m_tag + " " + std::string(20000, '\'');
    const std::u16string note(3000, u'中');

    CMySQLW db(Params(ServerPort()), false, Hooks());
    ASSERT_TRUE(db.LogSqlError(1205, statement, note));
    const auto rows = ErrLogRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], platform::Utf16ToUtf8(name) + " 64bit v.1.4.2.17");
    EXPECT_EQ(rows[0][3], platform::Utf16ToUtf8(m_settings.userName));
    EXPECT_EQ(rows[0][4], platform::Utf16ToUtf8(note.substr(0, 1024)));
    const std::string& query = *rows[0][2];
    EXPECT_EQ(statement.rfind(query, 0), 0u);
    EXPECT_LT(query.size(), 2048u);  // cut further than the 2048-byte limit
    EXPECT_GT(query.size(), 1000u);
}

class FailingSemaphore : public SqlStatementSemaphore {
public:
    bool Wait() override { return false; }
    void Release() override { ++releases; }
    int releases = 0;
};

TEST_F(ServerTest, FailedLockWaitIsLoggedAndNothingRuns) {
    const auto dir = std::filesystem::temp_directory_path() / ("survey-sqllock-" + m_tag);
    std::filesystem::create_directories(dir);
    CMySQLWHooks hooks = Hooks();
    auto semaphore = std::make_shared<FailingSemaphore>();
    hooks.lock = semaphore;
    hooks.lockLogPath = (dir / kSqlLockLogFileName).string();
    CMySQLW db(Params(ServerPort()), false, hooks);
    ASSERT_TRUE(db.OpenConnection());

    EXPECT_FALSE(db.ExecuteSql(ProbeInsert()));
    CMySQLW::StatementLock lock(db);
    EXPECT_FALSE(db.SelectSql(u"SELECT 1", lock));
    EXPECT_FALSE(lock.Held());

    std::ifstream in(hooks.lockLogPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    EXPECT_NE(log.find("\tOrvanta\t1.4.2.17\t" + platform::Utf16ToUtf8(ProbeInsert()) + "\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    EXPECT_EQ(m_notifier.Messages().size(), 2u);
    EXPECT_EQ(semaphore->releases, 0);
    EXPECT_EQ(ProbeRows(), 0u);
    std::filesystem::remove_all(dir);
}

}  // namespace
