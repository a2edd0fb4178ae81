// The MySQL wrapper without a database server: the `err_log` statement's
// size limit, the lock log, and programs on a machine without the client
// library.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "common/app_context.h"
#include "common/mysql_wrapper.h"
#include "common/mysql_wrapper_texts.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text_codec.h"

namespace {

// The client library's escaping for the characters that matter here.
std::string Escape(std::string_view raw) {
    std::string out;
    for (char c : raw) {
        switch (c) {
            case '\'':
            case '"':
            case '\\':
                out += '\\';
                out += c;
                break;
            case '\0':
                out += "\\0";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Repeat(std::string_view piece, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

bool IsValidUtf8(std::string_view s) {
    return platform::Utf16ToUtf8(platform::Utf8ToUtf16(s)) == s;
}

// Splits "...VALUES (n, 'a', 'q', 'u', 'n')" produced with Escape back into
// the four unescaped texts.
std::vector<std::string> Unescaped(const std::string& sql) {
    std::vector<std::string> texts;
    size_t i = sql.find("VALUES (");
    EXPECT_NE(i, std::string::npos);
    i = sql.find('\'', i);
    while (i != std::string::npos && i < sql.size()) {
        std::string text;
        ++i;
        while (i < sql.size() && sql[i] != '\'') {
            if (sql[i] == '\\' && i + 1 < sql.size()) {
                ++i;
                text += sql[i] == '0' ? '\0' : (sql[i] == 'n' ? '\n' : sql[i]);
            } else {
                text += sql[i];
            }
            ++i;
        }
        texts.push_back(text);
        i = sql.find('\'', i + 1);
    }
    return texts;
}

TEST(ErrLogStatement, OrdinaryRowKeepsEveryTextWhole) {
    const std::string sql =
        CMySQLW::BuildErrLogInsert(2013, "Orvanta 64bit v.1.4.2.17", "UPDATE t SET a='б'", "Пётр",
                                   "Количество неудачных попыток: 0", Escape);
    EXPECT_EQ(sql,
              "INSERT INTO `err_log` (`errnum`, `app`, `query`, `user`, `note`) VALUES (2013, "
              "'Orvanta 64bit v.1.4.2.17', 'UPDATE t SET a=\\'б\\'', 'Пётр', "
              "'Количество неудачных попыток: 0')");
}

TEST(ErrLogStatement, LargestTextsTheWrapperPassesStillFit) {
    // 2048 bytes of quotes double when escaped; 1024 three-byte characters;
    // long application and user names: far more than 8192 bytes together.
    const std::string statement = Repeat("'", 2048);
    const std::string note = Repeat("中", 1024);
    const std::string app = Repeat("я", 1500) + " 64bit v.1.4.2.17";
    const std::string user = Repeat("\\", 1500);
    const std::string sql =
        CMySQLW::BuildErrLogInsert(4294967295u, app, statement, user, note, Escape);
    EXPECT_LE(sql.size(), kErrLogStatementCapacity - 1);
    EXPECT_TRUE(IsValidUtf8(sql));
    const auto texts = Unescaped(sql);
    ASSERT_EQ(texts.size(), 4u);
    // The statement goes first, then the note; the rest stays whole while it can.
    EXPECT_EQ(texts[0], app);
    EXPECT_EQ(texts[2], user);
    EXPECT_TRUE(texts[1].empty());
    EXPECT_EQ(note.rfind(texts[3], 0), 0u);
    EXPECT_LT(texts[3].size(), note.size());
    // Cut no further than needed: three more bytes of the note would not fit.
    EXPECT_GT(sql.size() + 3, kErrLogStatementCapacity - 1);
}

TEST(ErrLogStatement, NeverOverrunsAndCutsOnlyAtCharacterBoundaries) {
    std::mt19937 random(20261207);
    const std::vector<std::string> pieces = {"a", "'", "\\", "ж", "中", "\"", "\n", " "};
    auto text = [&](size_t maxPieces) {
        std::string s;
        const size_t n = random() % (maxPieces + 1);
        for (size_t i = 0; i < n; ++i)
            s += pieces[random() % pieces.size()];
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        const std::string app = text(600), statement = text(3000), user = text(900),
                          note = text(2000);
        const size_t capacity = 256 + random() % 9000;
        const std::string sql =
            CMySQLW::BuildErrLogInsert(round, app, statement, user, note, Escape, capacity);
        ASSERT_LE(sql.size(), capacity - 1) << "round " << round;
        ASSERT_TRUE(IsValidUtf8(sql)) << "round " << round;
        const auto texts = Unescaped(sql);
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(app.rfind(texts[0], 0), 0u);
        EXPECT_EQ(statement.rfind(texts[1], 0), 0u);
        EXPECT_EQ(user.rfind(texts[2], 0), 0u);
        EXPECT_EQ(note.rfind(texts[3], 0), 0u);
        // A later text is only cut once the earlier ones are gone.
        if (texts[3].size() < note.size()) {
            EXPECT_TRUE(texts[1].empty());
        }
        if (texts[2].size() < user.size()) {
            EXPECT_TRUE(texts[3].empty());
        }
    }
}

class LockLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("survey-locklog-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / kSqlLockLogFileName).string();
        app_context::SetAppName(u"Orvanta");
        platform::SetClock(&m_clock);
    }
    void TearDown() override {
        platform::SetClock(nullptr);
        app_context::SetAppName(u"");
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    std::string ReadLog() {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    CMySQLWHooks Hooks() {
        CMySQLWHooks hooks;
        hooks.api = nullptr;
        hooks.lockLogPath = m_path;
        hooks.productVersion = [] { return std::u16string(u"1.4.2.17"); };
        return hooks;
    }

    std::filesystem::path m_dir;
    std::string m_path;
    // 07:09:30 UTC is 10:09:30 in Moscow (bias -180 minutes).
    platform::FakeClock m_clock{platform::CivilTime{2026, 12, 2, 1, 7, 9, 30, 0}, -180};
    platform::RecordingNotifier m_notifier;
    platform::ScopedNotifier m_scoped{m_notifier};
};

TEST_F(LockLogTest, EachFailureAppendsOneAnsiLineAndTellsTheUser) {
    {
        std::ofstream earlier(m_path, std::ios::binary);
        earlier << "earlier line\n";
    }
    CMySQLW db(DbConnectionParams{"127.0.0.1", 58431, "kalvetradb", "rvapp", "x"}, false, Hooks());
    db.LogLockFailure(u"SELECT `ver` FROM `versions` WHERE `id`=1");
    m_clock.Advance(61'000);
    db.LogLockFailure(u"UPDATE t SET name='Ёлка'");

    const std::string expected =
        "earlier line\n"
        "2026-12-01 10:09:30\tOrvanta\t1.4.2.17\t"
        "SELECT `ver` FROM `versions` WHERE `id`=1\n"
        "2026-12-01 10:10:31\tOrvanta\t1.4.2.17\tUPDATE t SET name='" +
        platform::Utf8ToCp1251("Ёлка") + "'\n";
    EXPECT_EQ(ReadLog(), expected);

    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text,
              "Ошибка блокировки потока во время SQL запроса. Передайте разработчику файл "
              "sql_lock_erors.log из папки, в которой находится программа.");
    EXPECT_EQ(messages[0].caption, "Ошибка!");
    EXPECT_EQ(messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(messages[0].owner, 0u);
}

TEST_F(LockLogTest, UnwritableLogStillTellsTheUser) {
    CMySQLWHooks hooks = Hooks();
    hooks.lockLogPath = (m_dir / "missing-folder" / kSqlLockLogFileName).string();
    CMySQLW db(DbConnectionParams{"127.0.0.1", 58431, "kalvetradb", "rvapp", "x"}, false, hooks);
    db.LogLockFailure(u"DO 1");
    EXPECT_EQ(m_notifier.Messages().size(), 1u);
}

class NoClientLibraryTest : public ::testing::Test {
protected:
    CMySQLWHooks Hooks() {
        CMySQLWHooks hooks;
#ifndef _WIN32
        // The native build links the library; here it is taken away.
        hooks.api = nullptr;
#endif
        hooks.sleepMs = [this](uint32_t ms) { m_waits.push_back(ms); };
        return hooks;
    }
    const DbConnectionParams m_params{"127.0.0.1", 58431, "kalvetradb", "rvapp", "x"};
    std::vector<uint32_t> m_waits;
    platform::RecordingNotifier m_notifier;
    platform::ScopedNotifier m_scoped{m_notifier};
};

#ifdef _WIN32
TEST_F(NoClientLibraryTest, NoLibraryIsFoundOnThisMachine) {
    EXPECT_EQ(mysql_api::ClientApi(), nullptr);
}
#endif

TEST_F(NoClientLibraryTest, QuietConnectionFailsWithoutAWord) {
    CMySQLW db(m_params, true, Hooks());
    EXPECT_FALSE(db.OpenConnection());
    EXPECT_FALSE(db.IsConnected());
    EXPECT_FALSE(db.ExecuteSql(u"DO 1"));
    CMySQLW::StatementLock lock(db);
    EXPECT_FALSE(db.SelectSql(u"SELECT 1", lock));
    CMySQLW::Row row;
    EXPECT_FALSE(db.FetchRow(row));
    EXPECT_FALSE(db.LogSqlError(2013, "DO 1", u"note"));
    EXPECT_TRUE(db.HostInfo().empty());
    EXPECT_FALSE(db.Commit());
    EXPECT_TRUE(m_notifier.Messages().empty());
    EXPECT_TRUE(m_waits.empty());
}

TEST_F(NoClientLibraryTest, OtherConnectionsReportAnUnreachableServer) {
    CMySQLW db(m_params, false, Hooks());
    EXPECT_FALSE(db.OpenConnection());
    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, std::string("Error 2003: ") + sql_texts::kNoClientLibrary +
                                    "\nДействие не выполнено.");
    EXPECT_TRUE(m_waits.empty());
    EXPECT_FALSE(db.ExecuteSql(u"DO 1"));
    EXPECT_EQ(m_notifier.Messages().size(), 1u);
}

}  // namespace
