// Ownership of Win32 resources: moves hand over, Reset and Release do what
// they say, and creating and destroying blocks leaves no handle behind.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/handles.h"
#include "platform/instance_guard.h"
#include "platform/shared_text.h"
#include "platform/winsock.h"

namespace {

using platform::SharedTextAccess;
using platform::SharedTextBlock;
using platform::UniqueHandle;

HANDLE NewEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

// One row of the system handle table (SystemHandleInformation, class 16).
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
};

// Handles this process holds. Wine's GetProcessHandleCount always reports 0,
// so the system handle table is counted when it does.
DWORD HandleCount() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0)
        return count;
    using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QuerySystemInformation>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (!query)
        return 0;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status = 0;
    // STATUS_INFO_LENGTH_MISMATCH: grow and ask again (bounded).
    for (int i = 0; i < 6; ++i) {
        status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != static_cast<LONG>(0xC0000004L))
            break;
        buffer.resize(buffer.size() * 4);
    }
    if (status != 0)
        return 0;
    ULONG total = 0;
    std::memcpy(&total, buffer.data(), sizeof(total));
    const auto* entries = reinterpret_cast<const SystemHandleEntry*>(buffer.data() + sizeof(void*));
    const ULONG pid = ::GetCurrentProcessId();
    for (ULONG i = 0; i < total; ++i) {
        if (entries[i].ownerPid == pid)
            ++count;
    }
    return count;
}

std::wstring Name(const wchar_t* base, int i = 0) {
    return std::wstring(base) + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(i);
}

TEST(Handles, MoveHandsOverAndClosesOnce) {
    HANDLE raw = NewEvent();
    UniqueHandle a(raw);
    UniqueHandle b(std::move(a));
    EXPECT_FALSE(a.Valid());
    EXPECT_EQ(b.Get(), raw);

    UniqueHandle c(NewEvent());
    HANDLE replaced = c.Get();
    c = std::move(b);  // closes what c held
    EXPECT_EQ(c.Get(), raw);
    EXPECT_FALSE(IsOpen(replaced));
    EXPECT_TRUE(IsOpen(raw));
    c.Reset();
    EXPECT_FALSE(c);
    EXPECT_FALSE(IsOpen(raw));
}

TEST(Handles, ReleaseGivesUpWithoutClosing) {
    UniqueHandle h(NewEvent());
    HANDLE raw = h.Release();
    EXPECT_FALSE(h.Valid());
    EXPECT_TRUE(IsOpen(raw));
    ::CloseHandle(raw);
}

TEST(Handles, FileHandlesUseTheirOwnInvalidValue) {
    platform::UniqueFile none;
    EXPECT_EQ(none.Get(), INVALID_HANDLE_VALUE);
    platform::UniqueFile missing(::CreateFileW(L"C:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing.Valid());
}

TEST(Handles, MovedBlockKeepsWorkingAndTheSourceIsEmpty) {
    const std::wstring mapping = Name(L"MyTestMovedMappingObject");
    const std::wstring mutex = Name(L"MyTestMovedMutex");
    platform::SharedTextCreateOptions options;
    options.initialText = "0\n";
    SharedTextBlock a = SharedTextBlock::Create(mapping.c_str(), mutex.c_str(), 64, options);
    SharedTextBlock b = std::move(a);
    EXPECT_FALSE(a.HasView());
    EXPECT_FALSE(a.HasMutex());
    std::string text;
    EXPECT_EQ(a.Read(text), SharedTextAccess::NoView);
    EXPECT_EQ(b.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");

    SharedTextBlock c;
    c = std::move(b);
    EXPECT_EQ(c.Write("1\n"), SharedTextAccess::Ok);
    c.Close();
    EXPECT_FALSE(c.Ready());
    // Closed by its only owner: the name is gone.
    EXPECT_EQ(SharedTextBlock::Open(mapping.c_str(), mutex.c_str(), 64).FailedStep(),
              platform::SharedTextStep::Mapping);
}

TEST(Handles, MovedLockReleasesOnce) {
    const std::wstring mapping = Name(L"MyTestLockMappingObject");
    const std::wstring mutex = Name(L"MyTestLockMutex");
    SharedTextBlock block = SharedTextBlock::Create(mapping.c_str(), mutex.c_str(), 16);
    platform::SharedTextLock first = block.Lock();
    ASSERT_TRUE(first.Held());
    platform::SharedTextLock second = std::move(first);
    EXPECT_FALSE(first.Held());
    EXPECT_TRUE(second.Write("moved"));
    EXPECT_FALSE(first.Write("stale"));
    platform::SharedTextLock third;
    third = std::move(second);
    EXPECT_EQ(third.Read(), "moved");
    third.Unlock();
    third.Unlock();  // a second unlock does nothing
    // A mutex released too often would fail here with ERROR_NOT_OWNER; a
    // recursive count left over would keep it from others.
    EXPECT_FALSE(
        ::ReleaseMutex(UniqueHandle(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, mutex.c_str())).Get()));
}

TEST(Handles, WinsockSessionStartsOnceAndCleansUpOnce) {
    platform::WinsockSession session;
    ASSERT_TRUE(session.Ok());
    EXPECT_EQ(session.Error(), 0);
    platform::WinsockSession moved(std::move(session));
    EXPECT_FALSE(session.Ok());
    EXPECT_TRUE(moved.Ok());
    platform::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(socket.Valid());
    socket.Reset();
    moved.Reset();
    EXPECT_FALSE(moved.Ok());
}

TEST(Handles, CreatingAndDestroyingBlocksLeaksNoHandle) {
    const DWORD before = HandleCount();
    ASSERT_GT(before, 0u) << "no handle count available";
    {
        UniqueHandle probe(NewEvent());
        ASSERT_EQ(HandleCount(), before + 1) << "the count must see a single new handle";
    }
    for (int i = 0; i < 200; ++i) {
        const std::wstring mapping = Name(L"MyTestLeakMappingObject", i % 3);
        const std::wstring mutex = Name(L"MyTestLeakMutex", i % 3);
        platform::SharedTextCreateOptions options;
        options.initialText = "0\n";
        SharedTextBlock service =
            SharedTextBlock::Create(mapping.c_str(), mutex.c_str(), 1024, options);
        SharedTextBlock client = SharedTextBlock::Open(mapping.c_str(), mutex.c_str(), 1024);
        ASSERT_TRUE(client.Ready());
        std::string text;
        ASSERT_EQ(client.Read(text), SharedTextAccess::Ok);
        ASSERT_EQ(
            service.Update([](std::string_view) { return std::optional<std::string>("3\n"); }),
            SharedTextAccess::Ok);
        SharedTextBlock moved = std::move(client);
        SharedTextBlock missing =
            SharedTextBlock::Open(Name(L"MyTestNoMapping", i).c_str(), mutex.c_str(), 1024);
        platform::InstanceGuard guard(Name(L"MyTestLeakGuardMutex").c_str());
        platform::InstanceGuard second(Name(L"MyTestLeakGuardMutex").c_str());
        ASSERT_TRUE(second.AlreadyExisted());
    }
    EXPECT_EQ(HandleCount(), before);
}

}  // namespace
