// The stand-in client library that the start-up end-to-end runs put beside
// the program: its script, what it answers, and that no order of calls —
// closed handles, freed results, foreign pointers — brings a program down.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Init = void* (*)(void*);
using Connect = void* (*)(void*, const char*, const char*, const char*, const char*, unsigned int,
                          const char*, unsigned long);
using Query = int (*)(void*, const char*);
using RealQuery = int (*)(void*, const char*, unsigned long);
using TakeResult = void* (*)(void*);
using FetchRow = char** (*)(void*);
using FetchLengths = unsigned long* (*)(void*);
using NumFields = unsigned int (*)(void*);
using FreeResult = void (*)(void*);
using NextResult = int (*)(void*);
using Errno = unsigned int (*)(void*);
using Error = const char* (*)(void*);
using Escape = unsigned long (*)(void*, char*, const char*, unsigned long);
using BoolCall = char (*)(void*);
using Autocommit = char (*)(void*, char);
using HostInfo = const char* (*)(void*);
using Close = void (*)(void*);

std::wstring ZPath(const std::string& unixPath) {
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::wstring TempFile(const wchar_t* name) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"frame_e2e_stub_" + std::to_wstring(::GetCurrentProcessId()) +
           L"_" + name;
}

std::string Narrow(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

void WriteText(const std::wstring& path, const std::string& text) {
    if (FILE* f = ::_wfopen(path.c_str(), L"wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

std::string ReadText(const std::wstring& path) {
    std::string text;
    if (FILE* f = ::_wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

class StubTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dll = std::getenv("FRAME_E2E_LIBMYSQL");
        if (!dll || !*dll)
            GTEST_SKIP() << "FRAME_E2E_LIBMYSQL names no stand-in library";
        m_module = ::LoadLibraryW(ZPath(dll).c_str());
        ASSERT_NE(m_module, nullptr) << dll;
        m_script = TempFile(L"script.txt");
        m_log = TempFile(L"sql.txt");
        ::DeleteFileW(m_log.c_str());
        ::SetEnvironmentVariableW(L"SURVEY_FAKE_MYSQL", m_script.c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"SURVEY_FAKE_MYSQL", nullptr);
        ::DeleteFileW(m_script.c_str());
        ::DeleteFileW(m_log.c_str());
        if (m_module)
            ::FreeLibrary(m_module);
    }

    template <typename F>
    F Fn(const char* name) {
        FARPROC proc = ::GetProcAddress(m_module, name);
        EXPECT_NE(proc, nullptr) << name;
        return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
    }

    void Script(const std::string& lines) {
        WriteText(m_script, lines + "log=" + Narrow(m_log) + "\n");
    }
    std::string Log() const { return ReadText(m_log); }

    void* Connected() {
        void* h = Fn<Init>("mysql_init")(nullptr);
        EXPECT_EQ(Fn<Connect>("mysql_real_connect")(h, "db.local", "rvapp", "pw", "kalvetradb",
                                                    58431, nullptr, 0x20000),
                  h);
        return h;
    }

    HMODULE m_module = nullptr;
    std::wstring m_script, m_log;
};

TEST_F(StubTest, ExportsEveryFunctionTheProgramsLoad) {
    for (const char* name : {"mysql_init",
                             "mysql_real_connect",
                             "mysql_set_character_set",
                             "mysql_query",
                             "mysql_real_query",
                             "mysql_use_result",
                             "mysql_store_result",
                             "mysql_fetch_row",
                             "mysql_fetch_lengths",
                             "mysql_num_fields",
                             "mysql_free_result",
                             "mysql_next_result",
                             "mysql_errno",
                             "mysql_error",
                             "mysql_real_escape_string",
                             "mysql_autocommit",
                             "mysql_commit",
                             "mysql_rollback",
                             "mysql_set_server_option",
                             "mysql_get_host_info",
                             "mysql_close"})
        EXPECT_NE(::GetProcAddress(m_module, name), nullptr) << name;
}

TEST_F(StubTest, WithoutAScriptTheServerIsUnreachable) {
    ::SetEnvironmentVariableW(L"SURVEY_FAKE_MYSQL", nullptr);
    void* h = Fn<Init>("mysql_init")(nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Fn<Connect>("mysql_real_connect")(h, "db.local", "u", "p", "s", 58431, nullptr, 0),
              nullptr);
    EXPECT_EQ(Fn<Errno>("mysql_errno")(h), 2003u);
    EXPECT_NE(std::string(Fn<Error>("mysql_error")(h)).find("db.local"), std::string::npos);
    EXPECT_NE(Fn<Query>("mysql_query")(h, "SELECT 1"), 0);
    EXPECT_EQ(Fn<Errno>("mysql_errno")(h), 2006u);
    EXPECT_EQ(Fn<HostInfo>("mysql_get_host_info")(h), nullptr);
    Fn<Close>("mysql_close")(h);
}

TEST_F(StubTest, VersionRowComesFromTheScript) {
    Script("connect=ok\nversion=12\ndownload=Дорога 'М-4'\n");
    void* h = Connected();
    EXPECT_EQ(Fn<Errno>("mysql_errno")(h), 0u) << "a ready handle reports no error";
    const std::string select = "SELECT `ver`, `download` FROM `versions` WHERE `id`=1";
    ASSERT_EQ(Fn<RealQuery>("mysql_real_query")(h, select.data(), select.size()), 0);
    void* result = Fn<TakeResult>("mysql_use_result")(h);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(Fn<NumFields>("mysql_num_fields")(result), 2u);
    char** row = Fn<FetchRow>("mysql_fetch_row")(result);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row[0], "12");
    EXPECT_STREQ(row[1], "Дорога 'М-4'");
    const unsigned long* lengths = Fn<FetchLengths>("mysql_fetch_lengths")(result);
    ASSERT_NE(lengths, nullptr);
    EXPECT_EQ(lengths[1], std::string("Дорога 'М-4'").size());
    EXPECT_EQ(Fn<FetchRow>("mysql_fetch_row")(result), nullptr) << "one row only";
    Fn<FreeResult>("mysql_free_result")(result);
    EXPECT_EQ(Fn<NextResult>("mysql_next_result")(h), -1);
    Fn<Close>("mysql_close")(h);
    EXPECT_NE(Log().find(select + "\n"), std::string::npos) << Log();
}

TEST_F(StubTest, MissingVersionGivesNoRowAndMissingDownloadANull) {
    Script("connect=ok\n");
    void* h = Connected();
    ASSERT_EQ(Fn<Query>("mysql_query")(h, "select ver from versions"), 0);
    void* result = Fn<TakeResult>("mysql_store_result")(h);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(Fn<FetchRow>("mysql_fetch_row")(result), nullptr);
    Fn<FreeResult>("mysql_free_result")(result);
    Fn<Close>("mysql_close")(h);

    Script("connect=ok\nversion=3\n");
    h = Connected();
    ASSERT_EQ(Fn<Query>("mysql_query")(h, "SELECT `ver`, `download` FROM `versions`"), 0);
    result = Fn<TakeResult>("mysql_use_result")(h);
    char** row = Fn<FetchRow>("mysql_fetch_row")(result);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row[0], "3");
    EXPECT_EQ(row[1], nullptr);
    Fn<FreeResult>("mysql_free_result")(result);
    Fn<Close>("mysql_close")(h);
}

TEST_F(StubTest, ScriptedFailuresAndUnreadResults) {
    Script("connect=ok\nversion=1\nfail=DELETE\n");
    void* h = Connected();
    EXPECT_EQ(Fn<Query>("mysql_query")(h, "INSERT INTO `t` VALUES (1)"), 0);
    EXPECT_EQ(Fn<TakeResult>("mysql_store_result")(h), nullptr) << "no result set";
    EXPECT_NE(Fn<Query>("mysql_query")(h, "DELETE FROM `t`"), 0);
    EXPECT_EQ(Fn<Errno>("mysql_errno")(h), 1064u);
    // A result left unread puts the next statement out of sync, as with a server.
    ASSERT_EQ(Fn<Query>("mysql_query")(h, "SELECT * FROM versions"), 0);
    EXPECT_NE(Fn<Query>("mysql_query")(h, "SELECT 1"), 0);
    EXPECT_EQ(Fn<Errno>("mysql_errno")(h), 2014u);
    Fn<Close>("mysql_close")(h);  // frees the unread result with the handle
    const std::string log = Log();
    EXPECT_NE(log.find("INSERT INTO `t` VALUES (1)\nDELETE FROM `t`\n"), std::string::npos) << log;
}

TEST_F(StubTest, TransactionCallsAndMultiLineStatementsAreLoggedOnOneLineEach) {
    Script("connect=ok\n");
    void* h = Connected();
    EXPECT_EQ(Fn<Autocommit>("mysql_autocommit")(h, 0), 0);
    EXPECT_EQ(Fn<Query>("mysql_query")(h, "UPDATE a\r\nSET b=1"), 0);
    EXPECT_EQ(Fn<BoolCall>("mysql_commit")(h), 0);
    EXPECT_EQ(Fn<BoolCall>("mysql_rollback")(h), 0);
    EXPECT_STREQ(Fn<HostInfo>("mysql_get_host_info")(h), "db.local via TCP/IP");
    Fn<Close>("mysql_close")(h);
    EXPECT_NE(Log().find("-- autocommit 0\nUPDATE a\\r\\nSET b=1\n-- commit\n-- rollback\n"),
              std::string::npos)
        << Log();
}

TEST_F(StubTest, EscapesAsTheClientLibraryDoes) {
    auto escape = Fn<Escape>("mysql_real_escape_string");
    static const char kRaw[] = "a'b\"c\\d\ne\rf\0g\032Дорога";
    const std::string from(kRaw, sizeof kRaw - 1);
    std::vector<char> to(from.size() * 2 + 1, 'x');
    const unsigned long n = escape(nullptr, to.data(), from.data(), from.size());
    EXPECT_EQ(std::string(to.data(), n), std::string("a\\'b\\\"c\\\\d\\ne\\rf\\0g\\ZДорога"));
    EXPECT_EQ(to[n], '\0');
    EXPECT_EQ(escape(nullptr, nullptr, "x", 1), 0u);
}

TEST_F(StubTest, NoOrderOfCallsBringsTheCallerDown) {
    Script("connect=ok\nversion=5\n");
    int foreign = 0;
    void* stranger = &foreign;
    // Pointers it never gave out, or nothing at all.
    for (void* p : {static_cast<void*>(nullptr), stranger}) {
        EXPECT_EQ(Fn<Connect>("mysql_real_connect")(p, "h", "u", "p", "s", 1, nullptr, 0), nullptr);
        EXPECT_NE(Fn<Query>("mysql_query")(p, "SELECT 1"), 0);
        EXPECT_EQ(Fn<TakeResult>("mysql_use_result")(p), nullptr);
        EXPECT_EQ(Fn<FetchRow>("mysql_fetch_row")(p), nullptr);
        EXPECT_EQ(Fn<FetchLengths>("mysql_fetch_lengths")(p), nullptr);
        EXPECT_EQ(Fn<NumFields>("mysql_num_fields")(p), 0u);
        Fn<FreeResult>("mysql_free_result")(p);
        EXPECT_NE(Fn<NextResult>("mysql_next_result")(p), 0);
        EXPECT_NE(Fn<Errno>("mysql_errno")(p), 0u);
        EXPECT_NE(Fn<Error>("mysql_error")(p), nullptr);
        EXPECT_NE(Fn<BoolCall>("mysql_commit")(p), 0);
        EXPECT_EQ(Fn<HostInfo>("mysql_get_host_info")(p), nullptr);
        Fn<Close>("mysql_close")(p);
    }
    EXPECT_NE(Fn<Query>("mysql_query")(Fn<Init>("mysql_init")(nullptr), nullptr), 0);

    // Statements before the connect, results used after they were freed,
    // handles closed twice.
    void* h = Fn<Init>("mysql_init")(nullptr);
    EXPECT_NE(Fn<Query>("mysql_query")(h, "SELECT 1"), 0);
    ASSERT_EQ(Fn<Connect>("mysql_real_connect")(h, "h", "u", "p", "s", 1, nullptr, 0), h);
    ASSERT_EQ(Fn<Query>("mysql_query")(h, "SELECT ver FROM versions"), 0);
    void* result = Fn<TakeResult>("mysql_use_result")(h);
    EXPECT_EQ(Fn<TakeResult>("mysql_use_result")(h), nullptr) << "taken once";
    Fn<FreeResult>("mysql_free_result")(result);
    EXPECT_EQ(Fn<FetchRow>("mysql_fetch_row")(result), nullptr);
    Fn<FreeResult>("mysql_free_result")(result);
    Fn<Close>("mysql_close")(h);
    Fn<Close>("mysql_close")(h);
    EXPECT_NE(Fn<Query>("mysql_query")(h, "SELECT 1"), 0);

    // A caller-provided handle is used in place and never freed by the library.
    alignas(16) static char buffer[1024];
    EXPECT_EQ(Fn<Init>("mysql_init")(buffer), buffer);
    EXPECT_EQ(Fn<Connect>("mysql_real_connect")(buffer, "h", "u", "p", "s", 1, nullptr, 0),
              static_cast<void*>(buffer));
    Fn<Close>("mysql_close")(buffer);
}

TEST_F(StubTest, ConnectionsOfSeveralThreads) {
    Script("connect=ok\nversion=9\n");
    auto init = Fn<Init>("mysql_init");
    auto connect = Fn<Connect>("mysql_real_connect");
    auto query = Fn<Query>("mysql_query");
    auto use = Fn<TakeResult>("mysql_use_result");
    auto fetch = Fn<FetchRow>("mysql_fetch_row");
    auto freeResult = Fn<FreeResult>("mysql_free_result");
    auto close = Fn<Close>("mysql_close");
    std::vector<std::thread> threads;
    std::vector<int> rows(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                void* h = init(nullptr);
                if (connect(h, "h", "u", "p", "s", 1, nullptr, 0) == h &&
                    query(h, "SELECT `ver` FROM `versions`") == 0) {
                    void* r = use(h);
                    if (char** row = fetch(r); row && std::string(row[0]) == "9")
                        ++rows[t];
                    freeResult(r);
                }
                close(h);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(rows[t], 50);
}

}  // namespace
