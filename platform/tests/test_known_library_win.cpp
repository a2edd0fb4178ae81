// Run-time libraries come from known folders only, under Wine. The test
// plants copies of small libraries (known_library_*.cpp) in the current
// directory, in a folder on PATH, beside this program and in the system
// folder, and sees which copy each loader takes. Each case first shows that
// a plain LoadLibrary does take the planted copy, so the plant is real.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/known_library.h"

namespace {

constexpr wchar_t kProbe[] = L"known_library_probe.dll";
// Built and planted as *.dl_, a name the import check does not scan (it
// imports a library that is not a system DLL). Wine keeps a library whose
// imports could not be found mapped until the process ends, so its planted
// copy may stay behind until the next run.
constexpr wchar_t kUser[] = L"known_library_user.dl_";
constexpr wchar_t kDep[] = L"known_library_dep.dll";

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
    return std::wstring(buffer, n < MAX_PATH ? n : 0);
}

// The folder of a loaded module's file, without its trailing backslash.
std::wstring ModuleFolder(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.erase(folder.find_last_of(L"\\/") == std::wstring::npos ? 0
                                                                   : folder.find_last_of(L"\\/"));
    return folder;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class KnownLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_program = platform::ProgramFolder();
        ASSERT_FALSE(m_program.empty());
        m_built = FullPath(m_program + L"\\..\\known_library_dlls");
        m_current = FullPath(m_program + L"\\..\\known_library_current");
        m_onPath = FullPath(m_program + L"\\..\\known_library_on_path");
        m_system = platform::SystemFolder();
        ASSERT_FALSE(m_system.empty());
        for (const std::wstring& folder : {m_current, m_onPath})
            ::CreateDirectoryW(folder.c_str(), nullptr);
        // Copies a run cut short may have left.
        for (const std::wstring& folder : {m_program, m_current, m_onPath, m_system})
            for (const wchar_t* name : {kProbe, kUser, kDep})
                ::DeleteFileW((folder + L"\\" + name).c_str());

        wchar_t current[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, current);
        m_savedCurrent = current;
        std::vector<wchar_t> path(32768);
        const DWORD n = ::GetEnvironmentVariableW(L"PATH", path.data(), 32768);
        m_savedPath.assign(path.data(), n < 32768 ? n : 0);
        ASSERT_TRUE(::SetCurrentDirectoryW(m_current.c_str()));
        ASSERT_TRUE(::SetEnvironmentVariableW(L"PATH", (m_onPath + L";" + m_savedPath).c_str()));
        ASSERT_EQ(::GetModuleHandleW(kProbe), nullptr);
    }

    void TearDown() override {
        ::SetCurrentDirectoryW(m_savedCurrent.c_str());
        ::SetEnvironmentVariableW(L"PATH", m_savedPath.c_str());
        for (const std::wstring& copy : m_copies) {
            const bool user = copy.size() >= 4 && copy.compare(copy.size() - 4, 4, L".dl_") == 0;
            EXPECT_TRUE(::DeleteFileW(copy.c_str()) || user) << "still loaded? " << copy;
        }
        for (const std::wstring& folder : {m_current, m_onPath})
            ::RemoveDirectoryW(folder.c_str());
    }

    // Copies a built library into `folder` under `name`.
    void Plant(const wchar_t* built, const std::wstring& folder, const wchar_t* name) {
        const std::wstring target = folder + L"\\" + name;
        ASSERT_TRUE(::CopyFileW((m_built + L"\\" + built).c_str(), target.c_str(), FALSE))
            << ::GetLastError();
        m_copies.push_back(target);
    }
    void Plant(const wchar_t* name, const std::wstring& folder) { Plant(name, folder, name); }

    std::wstring m_program, m_built, m_current, m_onPath, m_system;
    std::wstring m_savedCurrent, m_savedPath;
    std::vector<std::wstring> m_copies;
};

TEST_F(KnownLibraryTest, CurrentDirectoryAndPathAreNeverSearched) {
    Plant(kProbe, m_onPath);
    {
        EXPECT_FALSE(platform::LoadKnownLibrary(kProbe));
        platform::UniqueModule plain(::LoadLibraryW(kProbe));
        ASSERT_TRUE(plain) << "a plain load takes the copy on PATH";
        EXPECT_TRUE(SameFolder(ModuleFolder(plain.Get()), m_onPath));
    }
    Plant(kProbe, m_current);
    {
        EXPECT_FALSE(platform::LoadKnownLibrary(kProbe));
        EXPECT_FALSE(platform::LoadSystemLibrary(kProbe));
        platform::UniqueModule plain(::LoadLibraryW(kProbe));
        ASSERT_TRUE(plain) << "a plain load takes the copy in the current directory";
        EXPECT_TRUE(SameFolder(ModuleFolder(plain.Get()), m_current));
    }
    EXPECT_EQ(::GetModuleHandleW(kProbe), nullptr);
}

TEST_F(KnownLibraryTest, TheCopyBesideTheProgramIsTaken) {
    Plant(kProbe, m_current);
    Plant(kProbe, m_onPath);
    Plant(kProbe, m_program);
    platform::UniqueModule module = platform::LoadKnownLibrary(kProbe);
    ASSERT_TRUE(module);
    EXPECT_TRUE(SameFolder(ModuleFolder(module.Get()), m_program));
    int (*probe)() = nullptr;
    ASSERT_TRUE(platform::BindProc(module.Get(), "KnownLibraryProbe", probe));
    EXPECT_EQ(probe(), 7);
    void (*missing)() = reinterpret_cast<void (*)()>(1);
    EXPECT_FALSE(platform::BindProc(module.Get(), "NoSuchEntry", missing));
    EXPECT_EQ(missing, nullptr);
    EXPECT_FALSE(platform::BindProc(nullptr, "KnownLibraryProbe", probe));
    // The system folder has no copy: the system-only loader finds none.
    EXPECT_FALSE(platform::LoadSystemLibrary(kProbe));
}

TEST_F(KnownLibraryTest, TheSystemFolderComesAfterTheProgramsFolder) {
    Plant(kProbe, m_system);
    {
        platform::UniqueModule module = platform::LoadKnownLibrary(kProbe);
        ASSERT_TRUE(module);
        EXPECT_TRUE(SameFolder(ModuleFolder(module.Get()), m_system));
    }
    Plant(kProbe, m_program);
    {
        platform::UniqueModule module = platform::LoadKnownLibrary(kProbe);
        ASSERT_TRUE(module);
        EXPECT_TRUE(SameFolder(ModuleFolder(module.Get()), m_program));
    }
    {
        platform::UniqueModule module = platform::LoadSystemLibrary(kProbe);
        ASSERT_TRUE(module);
        EXPECT_TRUE(SameFolder(ModuleFolder(module.Get()), m_system));
    }
}

TEST_F(KnownLibraryTest, ALibrarysOwnImportsComeFromKnownFoldersToo) {
    Plant(kUser, m_program);
    Plant(kDep, m_current);
    {
        EXPECT_FALSE(platform::LoadKnownLibrary(kUser))
            << "its import is only in the current directory";
        // The search order of a plain full-path load would take it from there.
        platform::UniqueModule plain(::LoadLibraryExW((m_program + L"\\" + kUser).c_str(), nullptr,
                                                      LOAD_WITH_ALTERED_SEARCH_PATH));
        ASSERT_TRUE(plain);
        EXPECT_TRUE(SameFolder(ModuleFolder(::GetModuleHandleW(kDep)), m_current));
    }
    ASSERT_EQ(::GetModuleHandleW(kDep), nullptr);
    Plant(kDep, m_program);
    platform::UniqueModule module = platform::LoadKnownLibrary(kUser);
    ASSERT_TRUE(module);
    EXPECT_TRUE(SameFolder(ModuleFolder(::GetModuleHandleW(kDep)), m_program));
    int (*user)() = nullptr;
    ASSERT_TRUE(platform::BindProc(module.Get(), "KnownLibraryUser", user));
    EXPECT_EQ(user(), 12);
}

TEST_F(KnownLibraryTest, NamesWithAFolderOrDriveAreRefused) {
    Plant(kProbe, m_current);
    const std::wstring current = m_current.substr(m_current.find_last_of(L'\\') + 1);
    EXPECT_FALSE(platform::LoadKnownLibrary((L"..\\" + current + L"\\" + kProbe).c_str()));
    EXPECT_FALSE(platform::LoadKnownLibrary((m_current + L"\\" + kProbe).c_str()));
    EXPECT_FALSE(platform::LoadKnownLibrary((L"../" + current + L"/" + kProbe).c_str()));
    EXPECT_FALSE(platform::LoadKnownLibrary(L""));
    EXPECT_FALSE(platform::LoadKnownLibrary(nullptr));
    EXPECT_FALSE(platform::LoadSystemLibrary((L"..\\" + current + L"\\" + kProbe).c_str()));
    EXPECT_EQ(::GetModuleHandleW(kProbe), nullptr);
}

}  // namespace
