// The application frame under Wine, driven through the frame probe program:
// single instance, the settings check, the update steps' verdicts and the
// clean-up on every path.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kCommonKey = L"Software\\Marvesto\\Common";
constexpr DWORD kStartBoundMs = 30000;

std::wstring Beside(const std::wstring& file) {
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + file;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void SetSqlServer(const wchar_t* server) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Marvesto");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Marvesto");
    if (!server)
        return;
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kCommonKey, 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"SqlServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server),
                     static_cast<DWORD>((wcslen(server) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

// One run of the probe, with its own events, message log and stop file.
class Probe {
public:
    Probe(const std::wstring& variant, const std::wstring& tag, const wchar_t* updateMode = L"ok",
          const wchar_t* window = L"0", const std::wstring& exe = Beside(L"frame_probe.exe"))
        : m_events(Beside(L"frame_" + tag + L".events")),
          m_messages(Beside(L"frame_" + tag + L".messages")),
          m_stop(Beside(L"frame_" + tag + L".stop")) {
        ::DeleteFileW(m_events.c_str());
        ::DeleteFileW(m_messages.c_str());
        ::DeleteFileW(m_stop.c_str());
        ::SetEnvironmentVariableW(L"FRAME_PROBE_EVENTS", m_events.c_str());
        ::SetEnvironmentVariableW(L"FRAME_PROBE_STOP", m_stop.c_str());
        ::SetEnvironmentVariableW(L"FRAME_PROBE_UPDATE", updateMode);
        ::SetEnvironmentVariableW(L"FRAME_PROBE_WINDOW", window);
        ::SetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", m_messages.c_str());
        std::wstring command = L"\"" + exe + L"\" " + variant;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        m_started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &m_pi) != FALSE;
        if (m_started)
            ::CloseHandle(m_pi.hThread);
    }
    ~Probe() {
        Stop();
        if (m_started) {
            if (::WaitForSingleObject(m_pi.hProcess, kStartBoundMs) != WAIT_OBJECT_0)
                ::TerminateProcess(m_pi.hProcess, 99);
            ::CloseHandle(m_pi.hProcess);
        }
        ::DeleteFileW(m_events.c_str());
        ::DeleteFileW(m_messages.c_str());
        ::DeleteFileW(m_stop.c_str());
    }

    bool Started() const { return m_started; }
    std::string Events() const { return ReadFile(m_events); }
    std::string Messages() const { return ReadFile(m_messages); }
    bool HasEvent(const std::string& e) const { return Events().find(e) != std::string::npos; }

    // Waits (bounded) until the main dialog runs.
    bool WaitForDialog() const {
        for (DWORD waited = 0; waited < kStartBoundMs; waited += 20) {
            if (HasEvent("dialog-closed") || HasEvent("exit "))
                return false;
            if (HasEvent("dialog version="))
                return true;
            ::Sleep(20);
        }
        return false;
    }
    void Stop() const {
        HANDLE f =
            ::CreateFileW(m_stop.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE)
            ::CloseHandle(f);
    }
    bool Running() const { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit code, or -1 when it did not end within the bound.
    int WaitExit() const {
        if (::WaitForSingleObject(m_pi.hProcess, kStartBoundMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_pi.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    std::wstring m_events, m_messages, m_stop;
    PROCESS_INFORMATION m_pi{};
    bool m_started = false;
};

class AppFrameTest : public ::testing::Test {
protected:
    void SetUp() override { SetSqlServer(L" 127.0.0.1 "); }
    void TearDown() override {
        SetSqlServer(nullptr);
        ::DeleteFileW(Beside(L"Tuvarnex.xml").c_str());
        ::RemoveDirectoryW(Beside(L"cache").c_str());
    }
};

TEST_F(AppFrameTest, SecondStartIsRefusedWhileTheFirstRuns) {
    Probe first(L"vestrami", L"first");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(first.WaitForDialog()) << first.Events() << first.Messages();

    Probe second(L"vestrami", L"second");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitExit(), 1);
    EXPECT_NE(second.Messages().find("Vestrami уже работает"), std::string::npos)
        << second.Messages();
    EXPECT_FALSE(second.HasEvent("update-created")) << "nothing after the guard ran";
    EXPECT_TRUE(second.HasEvent("extra-cleanup")) << "the clean-up runs on every path";
    EXPECT_TRUE(first.Running()) << "the first copy is untouched";

    // Another program has its own guard.
    Probe other(L"tessarin", L"other");
    ASSERT_TRUE(other.WaitForDialog()) << other.Events() << other.Messages();
    EXPECT_TRUE(other.Messages().empty()) << other.Messages();
    other.Stop();
    EXPECT_EQ(other.WaitExit(), 0);

    first.Stop();
    EXPECT_EQ(first.WaitExit(), 0);
    const std::string events = first.Events();
    EXPECT_NE(events.find("update-created 108"), std::string::npos) << events;
    EXPECT_NE(events.find("update-check\nupdate-run\n"), std::string::npos) << events;
    EXPECT_NE(events.find("update-deleted"), std::string::npos) << events;
    EXPECT_NE(events.find("exit 0 guard-free"), std::string::npos) << events;

    // The guard was released: the next start runs.
    Probe third(L"vestrami", L"third");
    ASSERT_TRUE(third.WaitForDialog()) << third.Events() << third.Messages();
    EXPECT_TRUE(third.Messages().empty()) << third.Messages();
}

TEST_F(AppFrameTest, EmptyDatabaseServerEndsBeforeAnyUpdateStep) {
    SetSqlServer(L"   ");
    {
        Probe probe(L"tessarin", L"noserver");
        ASSERT_TRUE(probe.Started());
        EXPECT_EQ(probe.WaitExit(), 1);
        EXPECT_NE(probe.Messages().find("Не найдены параметры настройки сетевого соединения."),
                  std::string::npos)
            << probe.Messages();
        EXPECT_FALSE(probe.HasEvent("update-created")) << probe.Events();
        EXPECT_FALSE(probe.HasEvent("dialog"));
        EXPECT_TRUE(probe.HasEvent("extra-cleanup"));
    }
    // The failed start released its guard.
    SetSqlServer(L"db.local");
    Probe next(L"tessarin", L"afterfail");
    ASSERT_TRUE(next.WaitForDialog()) << next.Events() << next.Messages();
}

TEST_F(AppFrameTest, UpdateStepsThatSayStopEndTheProgram) {
    {
        Probe probe(L"orvanta", L"noinstall", L"stop-install");
        EXPECT_EQ(probe.WaitExit(), 1);
        const std::string events = probe.Events();
        EXPECT_NE(events.find("update-created 106\nupdate-check\n"), std::string::npos) << events;
        EXPECT_EQ(events.find("update-run"), std::string::npos) << "no update on a broken install";
        EXPECT_EQ(events.find("dialog"), std::string::npos);
        EXPECT_NE(events.find("update-deleted"), std::string::npos);
    }
    {
        Probe probe(L"orvanta", L"updater", L"stop-update");
        EXPECT_EQ(probe.WaitExit(), 1);
        EXPECT_NE(probe.Events().find("update-run"), std::string::npos);
        EXPECT_EQ(probe.Events().find("dialog"), std::string::npos);
        EXPECT_TRUE(probe.Messages().empty()) << probe.Messages();
    }
    Probe next(L"orvanta", L"afterstop");
    ASSERT_TRUE(next.WaitForDialog()) << next.Events() << next.Messages();
}

TEST_F(AppFrameTest, MainDialogSeesVersionIniPathAndConfiguration) {
    ::DeleteFileW(Beside(L"Tuvarnex.xml").c_str());
    Probe probe(L"orvanta", L"values");
    ASSERT_TRUE(probe.WaitForDialog()) << probe.Events() << probe.Messages();
    const std::string events = probe.Events();
    // The probe carries a Russian version block written "10, 6, 5, 1".
    EXPECT_NE(events.find("dialog version=10.6.5.1\n"), std::string::npos) << events;
    EXPECT_NE(events.find("\\Tuvarnex.ini\n"), std::string::npos) << events;
    EXPECT_NE(events.find("\\Tuvarnex.xml loaded"), std::string::npos) << events;
    EXPECT_NE(::GetFileAttributesW(Beside(L"Tuvarnex.xml").c_str()), INVALID_FILE_ATTRIBUTES);

    // The English programs query the US English block, which this file lacks.
    probe.Stop();
    EXPECT_EQ(probe.WaitExit(), 0);
    Probe english(L"vestrami", L"english");
    ASSERT_TRUE(english.WaitForDialog()) << english.Events() << english.Messages();
    EXPECT_NE(english.Events().find("dialog version=\n"), std::string::npos) << english.Events();
    EXPECT_NE(english.Events().find("dialog ini=\n"), std::string::npos) << "Orvanta only";
}

TEST_F(AppFrameTest, MainWindowIsKnownAndClosesOnRequest) {
    Probe probe(L"tessarin", L"window", L"ok", L"1");
    ASSERT_TRUE(probe.WaitForDialog()) << probe.Events() << probe.Messages();
    probe.Stop();
    EXPECT_EQ(probe.WaitExit(), 0);
    EXPECT_NE(probe.Events().find("window known\nwindow closed\n"), std::string::npos)
        << probe.Events();
}

// The update checker's own verdicts, through the real checker: the probe
// runs from a folder of its own, with or without the updater beside it.
class AppFrameCheckerTest : public AppFrameTest {
protected:
    void SetUp() override {
        AppFrameTest::SetUp();
        wchar_t value[MAX_PATH] = {};
        const DWORD n = ::GetEnvironmentVariableW(L"SURVEY_RVUPDATE_EXE", value, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            GTEST_SKIP() << "this build has no update checker or no stand-in updater";
        // A host path; the prefix sees the host's root as drive Z:.
        m_updater = L"Z:" + std::wstring(value, n);
        for (wchar_t& c : m_updater)
            c = c == L'/' ? L'\\' : c;
        m_folder = Beside(L"frame_install");
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        m_probe = m_folder + L"\\frame_probe.exe";
        ASSERT_TRUE(::CopyFileW(Beside(L"frame_probe.exe").c_str(), m_probe.c_str(), FALSE));
    }
    void TearDown() override {
        for (const wchar_t* f :
             {L"frame_probe.exe", L"rvupdate.exe", L"rvupdate.log", L"Tuvarnex.xml"})
            ::DeleteFileW((m_folder + L"\\" + f).c_str());
        ::RemoveDirectoryW((m_folder + L"\\cache").c_str());
        ::RemoveDirectoryW(m_folder.c_str());
        AppFrameTest::TearDown();
    }
    std::wstring m_updater, m_folder, m_probe;
};

TEST_F(AppFrameCheckerTest, MissingUpdaterEndsTheProgram) {
    {
        Probe probe(L"vestrami", L"noupdater", L"real", L"0", m_probe);
        ASSERT_TRUE(probe.Started());
        EXPECT_EQ(probe.WaitExit(), 1);
        EXPECT_NE(probe.Messages().find("Программа rvupdate.exe не найдена."), std::string::npos)
            << probe.Messages();
        EXPECT_FALSE(probe.HasEvent("dialog")) << probe.Events();
        EXPECT_TRUE(probe.HasEvent("exit 1 guard-free")) << probe.Events();
    }
    // With the updater in place, and no database to ask, the program runs.
    ASSERT_TRUE(::CopyFileW(m_updater.c_str(), (m_folder + L"\\rvupdate.exe").c_str(), FALSE));
    Probe probe(L"vestrami", L"withupdater", L"real", L"0", m_probe);
    ASSERT_TRUE(probe.WaitForDialog()) << probe.Events() << probe.Messages();
    EXPECT_TRUE(probe.Messages().empty()) << probe.Messages();
    EXPECT_EQ(::GetFileAttributesW((m_folder + L"\\rvupdate.log").c_str()), INVALID_FILE_ATTRIBUTES)
        << "no update to make way for";
}

}  // namespace
