// Shared text blocks between two processes: this test process on one side,
// ipc_child.exe (beside the test executable) on the other.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/handles.h"
#include "platform/shared_text.h"
#include "platform/text_codec.h"

namespace ipc_test {

std::wstring ChildPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    return dir + L"ipc_child.exe";
}

// Starts ipc_child.exe with `arguments`; an invalid handle when it could not start.
platform::UniqueHandle StartChild(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + ChildPath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return {};
    ::CloseHandle(info.hThread);
    return platform::UniqueHandle(info.hProcess);
}

// The child's exit code; a child still running after `timeoutMs` is ended and
// reported as STILL_ACTIVE.
DWORD WaitForChild(const platform::UniqueHandle& process, DWORD timeoutMs = 30000) {
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 99);
        ::WaitForSingleObject(process.Get(), 5000);
        return STILL_ACTIVE;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

}  // namespace ipc_test

namespace {

using ipc_test::StartChild;
using ipc_test::WaitForChild;
using platform::SharedTextAccess;
using platform::SharedTextBlock;

std::wstring UniqueName(const wchar_t* base) {
    return std::wstring(base) + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::GetTickCount64());
}

std::wstring ChildArguments(const wchar_t* mode, const std::wstring& mapping,
                            const std::wstring& mutex, size_t size) {
    return std::wstring(mode) + L" " + mapping + L" " + mutex + L" " + std::to_wstring(size);
}

std::string Cp1251(const char* utf8) {
    return platform::Utf8ToCp1251(utf8);
}

TEST(SharedTextProcess, OtherProcessOpensReadsAndAnswersInCp1251) {
    const std::wstring mapping = UniqueName(L"IpcTestCommandMappingObject");
    const std::wstring mutex = UniqueName(L"IpcTestCommandMutex");
    platform::SharedTextCreateOptions options;
    options.ownership = platform::MutexOwnership::Unowned;
    SharedTextBlock block = SharedTextBlock::Create(mapping.c_str(), mutex.c_str(), 262, options);
    ASSERT_TRUE(block.Ready());
    const std::string request = Cp1251("1\nD:\\Съёмка\\Дорога М-7");
    ASSERT_EQ(block.Write(request), SharedTextAccess::Ok);

    platform::UniqueHandle child = StartChild(ChildArguments(L"answer", mapping, mutex, 262));
    ASSERT_TRUE(child.Valid()) << "ipc_child.exe did not start";
    EXPECT_EQ(WaitForChild(child), 0u);

    std::string answer;
    ASSERT_EQ(block.Read(answer), SharedTextAccess::Ok);
    EXPECT_EQ(answer, Cp1251("ответ на «") + request + Cp1251("»"));
    EXPECT_EQ(platform::Cp1251ToUtf8(answer), "ответ на «1\nD:\\Съёмка\\Дорога М-7»");
}

TEST(SharedTextProcess, ReaderOpensWhatAnotherProcessCreatedAndSendsReceipt) {
    const std::wstring mapping = UniqueName(L"IpcTestFileMappingObject");
    const std::wstring mutex = UniqueName(L"IpcTestBufferMutex");
    platform::UniqueHandle child = StartChild(ChildArguments(L"create", mapping, mutex, 1024));
    ASSERT_TRUE(child.Valid()) << "ipc_child.exe did not start";

    // The creator may not be up yet: keep trying, as a client of a starting service does.
    platform::SharedTextOpenOptions options;
    options.mappingAttempts = 300;
    options.mutexAttempts = 300;
    options.retryDelayMs = 50;
    options.mutexRequired = true;
    SharedTextBlock block = SharedTextBlock::Open(mapping.c_str(), mutex.c_str(), 1024, options);
    ASSERT_TRUE(block.Ready()) << "step " << static_cast<int>(block.FailedStep()) << " error "
                               << block.LastError();

    std::string greeting;
    ASSERT_EQ(block.Read(greeting), SharedTextAccess::Ok);
    EXPECT_EQ(platform::Cp1251ToUtf8(greeting), "Привет от службы №1: ГНСС-приёмник");
    ASSERT_EQ(block.Write(Cp1251("получено: ") + greeting), SharedTextAccess::Ok);
    EXPECT_EQ(WaitForChild(child), 0u);
}

TEST(SharedTextProcess, MutexLeftByADeadProcessIsTakenWithItsText) {
    const std::wstring mapping = UniqueName(L"IpcTestScanFileMappingObject");
    const std::wstring mutex = UniqueName(L"IpcTestScanBufferMutex");
    platform::SharedTextCreateOptions options;
    options.ownership = platform::MutexOwnership::Unowned;
    options.waitMs = 10000;
    SharedTextBlock block = SharedTextBlock::Create(mapping.c_str(), mutex.c_str(), 64, options);
    ASSERT_TRUE(block.Ready());

    platform::UniqueHandle child = StartChild(ChildArguments(L"abandon", mapping, mutex, 64));
    ASSERT_TRUE(child.Valid()) << "ipc_child.exe did not start";
    ASSERT_EQ(WaitForChild(child), 0u);

    platform::SharedTextLock lock = block.Lock();
    ASSERT_TRUE(lock.Held());
    EXPECT_EQ(lock.Result(), SharedTextAccess::Ok);
    EXPECT_TRUE(lock.Abandoned());
    EXPECT_EQ(platform::Cp1251ToUtf8(lock.Read()), "оставлено без освобождения");
    lock.Unlock();

    // Once taken over, the mutex works as usual.
    std::string text;
    EXPECT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_FALSE(block.Lock().Abandoned());
}

}  // namespace
