// recorder.exe against the services' blocks, created and answered by this
// test (fake_services.h): what the tool writes, byte for byte in the ANSI
// code page, what it prints, and how it fails.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/shared_text.h"
#include "platform/text.h"
#include "sim/recorder/tests/fake_services.h"
#include "platform/tests/test_files_win.h"

namespace {

using recorder_test::FakeServices;

struct ToolRun {
    DWORD exitCode = 999;
    std::string out;  // UTF-8
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        size_t start = 0, lf;
        while ((lf = out.find('\n', start)) != std::string::npos) {
            std::string line = out.substr(start, lf - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            start = lf + 1;
        }
        return lines;
    }
    bool Has(const std::string& line) const {
        for (const std::string& l : Lines())
            if (l == line)
                return true;
        return false;
    }
};

class RecorderTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        s_root = std::wstring(temp) + L"recorder-test-" + std::to_wstring(::GetCurrentProcessId());
        s_install = s_root + L"\\install";
        ::CreateDirectoryW(s_root.c_str(), nullptr);
        ::CreateDirectoryW(s_install.c_str(), nullptr);
        ::CopyFileW(platform_test::PathFromEnvironment(L"RECORDER_EXE").c_str(),
                    (s_install + L"\\recorder.exe").c_str(), FALSE);
        ::CopyFileW(platform_test::PathFromEnvironment(L"RECORDER_GPS_DLL").c_str(),
                    (s_install + L"\\gps.dll").c_str(), FALSE);
        ::CopyFileW(platform_test::PathFromEnvironment(L"RECORDER_ORVANTA").c_str(),
                    (s_install + L"\\Orvanta.exe").c_str(), FALSE);
        // gps.dll's message boxes become lines of this file instead of waiting.
        ::SetEnvironmentVariableW(L"SURVEY_MESSAGE_LOG", (s_root + L"\\messages.log").c_str());
    }
    static void TearDownTestSuite() { platform_test::RemoveTree(s_root); }

    void SetUp() override {
        m_services = std::make_unique<FakeServices>();
        ASSERT_TRUE(m_services->Ready());
    }
    void TearDown() override {
        m_services.reset();
        if (m_orvanta) {
            ::SetEvent(m_orvantaStop.Get());
            ::WaitForSingleObject(m_orvanta.Get(), 10000);
        }
    }

    // A process named Orvanta for gps.dll to find.
    void StartOrvanta() {
        m_orvantaStop.Reset(::CreateEventW(nullptr, TRUE, FALSE, L"RecorderTestOrvanta"));
        std::wstring command = L"\"" + s_install + L"\\Orvanta.exe\" RecorderTestOrvanta";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &pi));
        ::CloseHandle(pi.hThread);
        m_orvanta.Reset(pi.hProcess);
    }

    ToolRun Recorder(const std::wstring& arguments, DWORD limitMs = 60000) {
        ToolRun run;
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0))
            return run;
        platform::UniqueHandle reader(readEnd), writer(writeEnd);
        ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        si.hStdError = writeEnd;
        si.hStdInput = nullptr;
        std::wstring command = L"\"" + s_install + L"\\recorder.exe\" " + arguments;
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              s_root.c_str(), &si, &pi))
            return run;
        ::CloseHandle(pi.hThread);
        platform::UniqueHandle process(pi.hProcess);
        writer.Reset();
        const ULONGLONG end = ::GetTickCount64() + limitMs;
        while (true) {
            DWORD available = 0;
            while (::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) &&
                   available > 0) {
                char buffer[4096];
                DWORD got = 0;
                if (!::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0)
                    break;
                run.out.append(buffer, got);
            }
            if (::WaitForSingleObject(process.Get(), 20) == WAIT_OBJECT_0) {
                DWORD got = 0;
                char buffer[4096];
                while (::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) &&
                       available > 0 && ::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr))
                    run.out.append(buffer, got);
                break;
            }
            if (::GetTickCount64() > end) {
                ::TerminateProcess(process.Get(), 999);  // our own child, by its handle
                break;
            }
        }
        ::GetExitCodeProcess(process.Get(), &run.exitCode);
        return run;
    }

    static std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }
    // A recording folder with Cyrillic letters and a space.
    static std::wstring Folder(const std::wstring& leaf) { return s_root + L"\\Записи\\" + leaf; }
    static std::string Ansi(const std::wstring& s) { return platform::WideToAnsi(s); }
    static std::string Utf8(const std::wstring& s) { return platform::WideToUtf8(s); }

    static std::wstring s_root, s_install;
    std::unique_ptr<FakeServices> m_services;
    platform::UniqueHandle m_orvanta, m_orvantaStop;
};

std::wstring RecorderTool::s_root;
std::wstring RecorderTool::s_install;

TEST_F(RecorderTool, ScannerCommandsCarryTheFolderAndPrintTheAnswers) {
    const std::wstring folder = Folder(L"заезд 1");
    ToolRun run = Recorder(L"scanner start " + Quoted(folder));
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_TRUE(run.Has("scanner start done 3\\n")) << run.out;
    EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "created";

    run = Recorder(L"scanner log 55.75 37.61 2.5");
    EXPECT_TRUE(run.Has("scanner log done 3\\n")) << run.out;
    m_services->scanFailed = true;
    run = Recorder(L"scanner log");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.Has("scanner log scan-failed -1\\n")) << run.out;
    run = Recorder(L"scanner stop");
    EXPECT_TRUE(run.Has("scanner stop done 3\\n")) << run.out;
    // Already stopped: the scanner does not answer, and the tool says so.
    run = Recorder(L"scanner stop --timeout 300");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_TRUE(run.Has("scanner stop pending 0")) << run.out;

    const std::vector<std::string> expected = {"1\n" + Ansi(folder), "2 55.75 37.61 2.5", "2", "0",
                                               "0"};
    EXPECT_EQ(m_services->ScannerCommands(), expected);
    run = Recorder(L"scanner status");
    EXPECT_TRUE(run.Has("1\\n")) << run.out;
}

TEST_F(RecorderTool, SensorRecordingStateAndData) {
    const std::wstring folder = Folder(L"заезд 2");
    ToolRun run = Recorder(L"sensors start " + Quoted(folder));
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_TRUE(run.Has("sensors start 1\\n" + Utf8(folder))) << run.out;
    ::Sleep(100);
    run = Recorder(L"sensors stop");
    EXPECT_TRUE(run.Has("sensors stop 0\\n")) << run.out;
    ::Sleep(100);
    const std::vector<std::string> expected = {"1\n" + Ansi(folder), "0\n"};
    EXPECT_EQ(m_services->SensorStates(), expected);

    m_services->SetSensorData("7   1   2   3   2.500000   3.000000   -1000.000000   \n");
    run = Recorder(L"sensors data --count 2 --interval 50");
    const std::string line = "7   1   2   3   2.500000   3.000000   -1000.000000   \\n";
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{line, line}));
}

TEST_F(RecorderTool, GenericBlockCommands) {
    ToolRun run =
        Recorder(L"write MyFilesWSMappingObject MySensorWriteStateMutex 262 \"1\\nC:\\x41\"");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    run = Recorder(L"read MyFilesWSMappingObject MySensorWriteStateMutex 262");
    EXPECT_TRUE(run.Has("1\\nC:A")) << run.out;
    run = Recorder(L"wait MyScanFileMappingObject MyScanBufferMutex 16 \"1\\n\" --timeout 1000");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    run = Recorder(L"wait MyScanFileMappingObject MyScanBufferMutex 16 \"0\\n\" --timeout 300");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_TRUE(run.Has("TIMEOUT 1\\n")) << run.out;
    // A text longer than the block is refused, not cut.
    run = Recorder(L"write MyScanFileMappingObject MyScanBufferMutex 16 0123456789abcdefgh");
    EXPECT_EQ(run.exitCode, 5u) << run.out;
    run = Recorder(L"read NoSuchMapping NoSuchMutex 16 --open-timeout 200");
    EXPECT_EQ(run.exitCode, 2u) << run.out;
}

TEST_F(RecorderTool, RefusesAFolderTheServicesCannotBeGiven) {
    // No character of the ANSI code page (1251) for these: the services
    // would be handed question marks and record elsewhere.
    ToolRun run = Recorder(L"scanner start " + Quoted(Folder(L"道路")));
    EXPECT_EQ(run.exitCode, 5u) << run.out;
    run = Recorder(L"sensors start " + Quoted(s_root + L"\\" + std::wstring(260, L'x')));
    EXPECT_EQ(run.exitCode, 5u) << run.out;
    EXPECT_TRUE(m_services->ScannerCommands().empty());
    EXPECT_TRUE(m_services->SensorStates().empty());
}

TEST_F(RecorderTool, GnssRunLogThroughGpsDll) {
    StartOrvanta();
    const std::wstring folder = Folder(L"заезд 3");
    ToolRun run = Recorder(L"gnss start " + Quoted(folder) + L" --hidden");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_TRUE(run.Has("gnss init 1")) << run.out;
    EXPECT_TRUE(run.Has("gnss start taken")) << run.out;
    run = Recorder(L"gnss stop");
    EXPECT_TRUE(run.Has("gnss stop taken")) << run.out;
    m_services->gnssAnswers = false;
    run = Recorder(L"gnss continue --timeout 500");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_TRUE(run.Has("gnss continue pending 2")) << run.out;
    const std::vector<std::string> expected = {"1 " + Ansi(folder), "1"};
    EXPECT_EQ(m_services->GnssCommands(), expected);
}

TEST_F(RecorderTool, SessionDrivesAllThreeAndListsTheirFiles) {
    StartOrvanta();
    const std::wstring folder = Folder(L"заезд 4");
    ToolRun run = Recorder(L"session " + Quoted(folder) +
                           L" --logs 3 --interval 100 --settle 200 --values \"1.5 {i} 0\"");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    for (const char* line :
         {"gnss init 1", "gnss start taken", "scanner start done 3\\n", "scanner log 1 done 3\\n",
          "scanner log 3 done 3\\n", "sensors stop 0\\n", "scanner stop done 3\\n",
          "gnss stop taken", "service scanner files 1 lines 3", "service sensors files 2 lines 4",
          "service gnss files 1 lines 1", "session complete"})
        EXPECT_TRUE(run.Has(line) || run.out.find(line) != std::string::npos) << line << "\n"
                                                                              << run.out;
    bool listed = false;
    for (const std::string& line : run.Lines())
        listed = listed || (line.rfind("file scanner ", 0) == 0 && line.size() > 15 &&
                            line.compare(line.size() - 15, 15, " 3 scanner0.log") == 0);
    EXPECT_TRUE(listed) << run.out;
    const std::vector<std::string> scanner = {"1\n" + Ansi(folder), "2 1.5 1 0", "2 1.5 2 0",
                                              "2 1.5 3 0", "0"};
    EXPECT_EQ(m_services->ScannerCommands(), scanner);
    EXPECT_EQ(m_services->SensorStates(), (std::vector<std::string>{"1\n" + Ansi(folder), "0\n"}));
    EXPECT_EQ(m_services->GnssCommands(), (std::vector<std::string>{"1 " + Ansi(folder), "1"}));
}

TEST_F(RecorderTool, SessionWithTheGnssPositionAsLogValues) {
    StartOrvanta();
    ToolRun run =
        Recorder(L"session " + Quoted(Folder(L"заезд 5")) + L" --logs 1 --settle 100 --no-sensors");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    const auto commands = m_services->ScannerCommands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[1], "2 55.75000000 37.61000000 2.500");
    EXPECT_TRUE(m_services->SensorStates().empty());
}

TEST_F(RecorderTool, SessionReportsAServiceThatIsNotThere) {
    m_services.reset();  // no scanner, no sensors
    ToolRun run = Recorder(L"session " + Quoted(Folder(L"заезд 6")) +
                           L" --no-gnss --logs 1 --settle 0 --open-timeout 200");
    EXPECT_EQ(run.exitCode, 6u) << run.out;
    EXPECT_TRUE(run.Has("session incomplete")) << run.out;
    EXPECT_NE(run.out.find("ERROR no block MyScanCommandMappingObject"), std::string::npos);
}

}  // namespace
