// Single-instance guard: a second copy sees the first one's mutex.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "platform/instance_guard.h"

namespace {

using platform::InstanceGuard;

std::wstring GuardName(const wchar_t* program) {
    return std::wstring(L"MyTest") + program + L"GuardMutex_" +
           std::to_wstring(::GetCurrentProcessId());
}

// Whether a thread other than the owner could take the mutex right now.
bool TakenByOthers(const std::wstring& name) {
    bool taken = false;
    std::thread([&] {
        HANDLE mutex = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str());
        if (!mutex)
            return;
        const DWORD wait = ::WaitForSingleObject(mutex, 0);
        taken = wait == WAIT_TIMEOUT;
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
    }).join();
    return taken;
}

TEST(InstanceGuard, SecondGuardOfTheSameNameSeesTheFirst) {
    const std::wstring name = GuardName(L"Orvanta");
    InstanceGuard first(name.c_str());
    ASSERT_TRUE(first.Valid());
    EXPECT_TRUE(first.Acquired());
    EXPECT_FALSE(first.AlreadyExisted());
    EXPECT_TRUE(TakenByOthers(name));

    {
        InstanceGuard second(name.c_str());
        EXPECT_TRUE(second.AlreadyExisted());
        EXPECT_FALSE(second.Acquired());
    }
    // The second copy going away must not release the first copy's mutex.
    EXPECT_TRUE(TakenByOthers(name));
}

TEST(InstanceGuard, DifferentProgramsDoNotMeet) {
    InstanceGuard scanner(GuardName(L"Vestrami").c_str());
    InstanceGuard sensors(GuardName(L"Tessarin").c_str());
    EXPECT_TRUE(scanner.Acquired());
    EXPECT_TRUE(sensors.Acquired());
    EXPECT_FALSE(sensors.AlreadyExisted());
}

TEST(InstanceGuard, NextStartSucceedsAfterRelease) {
    const std::wstring name = GuardName(L"Restart");
    {
        InstanceGuard run(name.c_str());
        ASSERT_TRUE(run.Acquired());
    }
    EXPECT_FALSE(TakenByOthers(name));
    InstanceGuard next(name.c_str());
    EXPECT_TRUE(next.Acquired());
    EXPECT_FALSE(next.AlreadyExisted());
    next.Reset();
    EXPECT_FALSE(next.Valid());
    EXPECT_FALSE(next.Acquired());
    InstanceGuard third(name.c_str());
    EXPECT_TRUE(third.Acquired());
}

TEST(InstanceGuard, MovedGuardKeepsOwnershipAndReleasesOnce) {
    const std::wstring name = GuardName(L"Moved");
    InstanceGuard original(name.c_str());
    InstanceGuard moved(std::move(original));
    EXPECT_FALSE(original.Valid());
    EXPECT_FALSE(original.Acquired());
    EXPECT_TRUE(moved.Acquired());
    original.Reset();  // nothing to release
    EXPECT_TRUE(TakenByOthers(name));

    InstanceGuard target;
    target = std::move(moved);
    EXPECT_TRUE(target.Acquired());
    EXPECT_TRUE(TakenByOthers(name));
    target = InstanceGuard();
    EXPECT_FALSE(TakenByOthers(name));
}

TEST(InstanceGuard, InvalidNameReportsTheError) {
    // A backslash selects a namespace; an unknown one cannot be created.
    InstanceGuard guard(L"NoSuchNamespace\\MyGuardMutex");
    EXPECT_FALSE(guard.Valid());
    EXPECT_FALSE(guard.Acquired());
    EXPECT_FALSE(guard.AlreadyExisted());
    EXPECT_NE(guard.LastError(), 0u);
}

}  // namespace
