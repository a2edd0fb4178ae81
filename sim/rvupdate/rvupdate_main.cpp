// Stand-in updater: appends its whole command line (UTF-8, one line) to the
// file named by SURVEY_RVUPDATE_LOG, or to "rvupdate.log" beside itself,
// and ends at once with exit code 0.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring LogPath() {
    wchar_t value[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURVEY_RVUPDATE_LOG", value, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return std::wstring(value, n);
    wchar_t module[MAX_PATH] = {};
    const DWORD m = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, m);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + L"rvupdate.log";
}

std::string Utf8(const std::wstring& wide) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                              nullptr, nullptr);
    return out;
}

}  // namespace

int wmain() {
    const std::string line = Utf8(::GetCommandLineW()) + "\n";
    if (FILE* f = ::_wfopen(LogPath().c_str(), L"ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
    return 0;
}
