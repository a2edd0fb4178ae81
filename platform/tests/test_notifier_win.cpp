// Headless message log: a program started with SURVEY_MESSAGE_LOG appends its
// messages to that file instead of showing boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/handles.h"
#include "platform/text.h"

namespace ipc_test {
// test_shared_text_process.cpp: runs ipc_child.exe beside the test executable.
platform::UniqueHandle StartChild(const std::wstring& arguments);
DWORD WaitForChild(const platform::UniqueHandle& process, DWORD timeoutMs = 30000);
}  // namespace ipc_test

namespace {

std::wstring TempLogPath() {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"survey_messages_" + std::to_wstring(::GetCurrentProcessId()) +
           L".log";
}

std::string ReadFileBytes(const std::wstring& path) {
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!file)
        return {};
    std::string bytes(64 * 1024, '\0');
    DWORD read = 0;
    ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// Sets an environment variable for the children started in its lifetime.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name) {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(m_name, nullptr); }

private:
    const wchar_t* m_name;
};

TEST(NotifierWin, MessagesOfAHeadlessChildGoToTheLogFileAsUtf8Lines) {
    const std::wstring log = TempLogPath();
    ::DeleteFileW(log.c_str());
    {
        ScopedEnvironment env(L"SURVEY_MESSAGE_LOG", log);
        platform::UniqueHandle child = ipc_test::StartChild(L"notify");
        ASSERT_TRUE(child.Valid()) << "ipc_child.exe did not start";
        ASSERT_EQ(ipc_test::WaitForChild(child), 0u);
    }
    const std::string content = ReadFileBytes(log);
    ::DeleteFileW(log.c_str());
    EXPECT_EQ(content,
              "Ошибка!\twarning\tНет связи с программой ГНСС\\nпроверьте кабель\n"
              "\tnone\tSecond line\n");
    // The bytes are UTF-8, not the ANSI code page.
    EXPECT_EQ(platform::Utf8ToWide(content.substr(0, content.find('\t'))), L"Ошибка!");
}

}  // namespace
