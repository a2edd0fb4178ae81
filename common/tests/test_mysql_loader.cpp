// The Windows programs' run-time loading of the MySQL client library, with
// a stand-in "libmariadb.dll" beside the test and the wrapper driving it.
// A copy of the stand-in named "libmysql.dll" lies in the current directory
// and in a folder on PATH, where a recording folder would put one: the
// loader must pass it over and take the second name from the program's
// folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/app_context.h"
#include "common/mysql_wrapper.h"
#include "platform/notifier.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L'\\'));
    return folder;
}

// Plants the copies before any test asks for the client library (the loader
// looks once per process) and removes them at the end.
class PlantedLibrary : public ::testing::Environment {
public:
    void SetUp() override {
        const std::wstring program = ProgramFolder();
        for (const wchar_t* name : {L"planted_current", L"planted_on_path"}) {
            const std::wstring folder = program + L"\\" + name;
            ::CreateDirectoryW(folder.c_str(), nullptr);
            const std::wstring copy = folder + L"\\libmysql.dll";
            ASSERT_TRUE(::CopyFileW((program + L"\\libmariadb.dll").c_str(), copy.c_str(), FALSE));
            m_copies.push_back(copy);
            m_folders.push_back(folder);
        }
        ASSERT_TRUE(::SetCurrentDirectoryW(m_folders[0].c_str()));
        std::vector<wchar_t> path(32768);
        const DWORD n = ::GetEnvironmentVariableW(L"PATH", path.data(), 32768);
        ::SetEnvironmentVariableW(
            L"PATH", (m_folders[1] + L";" + std::wstring(path.data(), n < 32768 ? n : 0)).c_str());
    }
    void TearDown() override {
        ::SetCurrentDirectoryW(ProgramFolder().c_str());
        for (const std::wstring& copy : m_copies)
            ::DeleteFileW(copy.c_str());
        for (const std::wstring& folder : m_folders)
            ::RemoveDirectoryW(folder.c_str());
    }

private:
    std::vector<std::wstring> m_copies, m_folders;
};

[[maybe_unused]] const auto* const kPlanted =
    ::testing::AddGlobalTestEnvironment(new PlantedLibrary);

using TakeCalls = int (*)(char*, int);
using FailConnectsAfterLoss = void (*)(int);

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_standin = ::GetModuleHandleW(L"libmariadb.dll");
        if (m_standin == nullptr)
            m_standin = ::LoadLibraryW((ProgramFolder() + L"\\libmariadb.dll").c_str());
        ASSERT_NE(m_standin, nullptr);
        m_takeCalls = reinterpret_cast<TakeCalls>(
            reinterpret_cast<void*>(::GetProcAddress(m_standin, "standin_take_calls")));
        m_failAfterLoss = reinterpret_cast<FailConnectsAfterLoss>(reinterpret_cast<void*>(
            ::GetProcAddress(m_standin, "standin_fail_connects_after_loss")));
        ASSERT_NE(m_takeCalls, nullptr);
        ASSERT_NE(m_failAfterLoss, nullptr);
        m_failAfterLoss(0);
        Calls();
        app_context::SetAppName(u"Vestrami");
        app_context::SetCloseRequestHook([this](std::uintptr_t hwnd) {
            m_closeRequests.push_back(hwnd);
            return true;
        });
    }
    void TearDown() override {
        app_context::SetCloseRequestHook({});
        app_context::SetMainWindowHandle(0);
        app_context::SetAppName(u"");
    }

    std::vector<std::string> Calls() {
        std::vector<char> buffer(1 << 16);
        m_takeCalls(buffer.data(), static_cast<int>(buffer.size()));
        std::vector<std::string> lines;
        std::istringstream in(buffer.data());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    CMySQLWHooks Hooks() {
        CMySQLWHooks hooks;
        hooks.sleepMs = [this](uint32_t ms) { m_waits.push_back(ms); };
        hooks.productVersion = [] { return std::u16string(u"1.4.2.17"); };
        return hooks;
    }

    const DbConnectionParams m_params{"127.0.0.1", 58431, "kalvetradb", "rvapp", "pw"};
    HMODULE m_standin = nullptr;
    TakeCalls m_takeCalls = nullptr;
    FailConnectsAfterLoss m_failAfterLoss = nullptr;
    std::vector<uint32_t> m_waits;
    std::vector<std::uintptr_t> m_closeRequests;
    platform::RecordingNotifier m_notifier;
    platform::ScopedNotifier m_scoped{m_notifier};
};

TEST_F(LoaderTest, FindsTheSecondLibraryNameAndConnectsInUtf8) {
    ASSERT_NE(mysql_api::ClientApi(), nullptr);
    EXPECT_EQ(::GetModuleHandleW(L"libmysql.dll"), nullptr) << "the planted copy was loaded";

    CMySQLW db(m_params, false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    ASSERT_TRUE(db.ExecuteSql(u"UPDATE t SET name='Ёж'"));
    EXPECT_EQ(db.HostInfo(), u"127.0.0.1 via TCP/IP");
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[1].substr(calls[1].find(' ') + 1),
              "connect 127.0.0.1:58431 rvapp/pw kalvetradb socket=null flags=131072");
    EXPECT_EQ(calls[2].substr(calls[2].find(' ') + 1), "charset utf8");
    EXPECT_EQ(calls[3].substr(calls[3].find(' ') + 1),
              "query SET COLLATION_CONNECTION=utf8_general_ci");
    EXPECT_EQ(calls[4].substr(calls[4].find(' ') + 1),
              "query UPDATE t SET name='\xD0\x81\xD0\xB6'");
}

TEST_F(LoaderTest, TransactionControlReachesTheLibrary) {
    CMySQLW db(m_params, false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    Calls();
    EXPECT_TRUE(db.SetMultiStatements(true));
    EXPECT_TRUE(db.SetAutocommit(false));
    EXPECT_TRUE(db.Commit());
    EXPECT_TRUE(db.Rollback());
    EXPECT_TRUE(db.DrainResults());
    std::vector<std::string> kinds;
    for (const std::string& call : Calls())
        kinds.push_back(call.substr(call.find(' ') + 1));
    EXPECT_EQ(kinds, (std::vector<std::string>{"option 0", "autocommit 0", "commit", "rollback"}));
}

TEST_F(LoaderTest, LostConnectionIsRepairedLoggedAndTheStatementRerun) {
    CMySQLW db(m_params, false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    Calls();
    m_failAfterLoss(1);  // the first reconnect fails, the second succeeds
    // The stand-in loses the connection on this statement, and again when it
    // is run once more after the repair.
    EXPECT_FALSE(db.ExecuteSql(u"LOSE 'Иванов'"));
    EXPECT_EQ(m_waits, (std::vector<uint32_t>{2000, 2000}));
    bool logged = false;
    for (const std::string& call : Calls()) {
        if (call.find("INSERT INTO `err_log`") != std::string::npos) {
            EXPECT_NE(call.find("VALUES (2013, 'Vestrami 64bit v.1.4.2.17', 'LOSE \\'"
                                "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\\'', '', "
                                "'Количество неудачных попыток: 1')"),
                      std::string::npos)
                << call;
            logged = true;
        }
    }
    EXPECT_TRUE(logged);
    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Ошибка!");
    EXPECT_TRUE(m_closeRequests.empty());
}

TEST_F(LoaderTest, ServerThatStaysAwayAsksTheMainWindowToClose) {
    app_context::SetMainWindowHandle(0x4242);
    CMySQLW db(m_params, false, Hooks());
    ASSERT_TRUE(db.OpenConnection());
    m_failAfterLoss(5);
    EXPECT_FALSE(db.ExecuteSql(u"LOSE"));
    EXPECT_EQ(m_waits.size(), 2u);
    const auto messages = m_notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Error 2013: Lost connection to MySQL server during query\nДействие не выполнено.");
    EXPECT_EQ(m_closeRequests, std::vector<std::uintptr_t>{0x4242});
}

}  // namespace
