#include "platform/tests/test_files_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "platform/handles.h"

namespace platform_test {

std::wstring PathFromEnvironment(const wchar_t* variable) {
    constexpr DWORD kSize = 1024;  // characters, terminator included
    wchar_t value[kSize] = {};
    const DWORD n = ::GetEnvironmentVariableW(variable, value, kSize);
    if (n == 0 || n >= kSize)
        return {};
    std::wstring path(value, n);
    if (path[0] == L'/')
        path = L"Z:" + path;
    for (auto& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    platform::UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(find.Get(), &data));
    }
    find.Reset();
    ::RemoveDirectoryW(folder.c_str());
}

void SendSimulatorCommand(const std::string& command) {
    const std::wstring path = PathFromEnvironment(L"SURVEY_SIM_CONTROL");
    ASSERT_FALSE(path.empty());
    {
        std::ofstream out(path.c_str(), std::ios::binary | std::ios::app);
        out << command << "\n";
    }
    ::Sleep(200);  // the simulator polls its control file every 20 ms
}

}  // namespace platform_test
