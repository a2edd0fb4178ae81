#include "platform/known_library.h"

#include <string_view>

namespace platform {
namespace {

// A bare file name: no folder, drive or stream part that could lead the
// path out of the folder it is joined to ("..\\x.dll", "C:x.dll").
bool IsBareFileName(const wchar_t* fileName) {
    if (fileName == nullptr || *fileName == L'\0')
        return false;
    const std::wstring_view name(fileName);
    return name.find_first_of(L"\\/:") == std::wstring_view::npos && name != L"." && name != L"..";
}

// Full path of a file in `folder`; empty when either part is missing.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* fileName) {
    if (folder.empty() || !IsBareFileName(fileName))
        return {};
    return folder + L"\\" + fileName;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueModule LoadByFullPath(const std::wstring& path) {
    if (path.empty() || !IsFile(path))
        return UniqueModule();
    // The library's own imports come from its folder, the program's folder
    // and the system folder only. With the plain search order a dependency
    // missing from those would be taken from the current directory or PATH.
    HMODULE module = ::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    // Windows 7 without its loader update knows no search flags; there the
    // imports are looked up beside the library first, then as usual.
    if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return UniqueModule(module);
}

}  // namespace

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::wstring folder(buffer, n);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

UniqueModule LoadKnownLibrary(const wchar_t* fileName) {
    UniqueModule module = LoadByFullPath(JoinPath(ProgramFolder(), fileName));
    if (module)
        return module;
    return LoadSystemLibrary(fileName);
}

UniqueModule LoadSystemLibrary(const wchar_t* fileName) {
    return LoadByFullPath(JoinPath(SystemFolder(), fileName));
}

}  // namespace platform
