#include "sim/recorder/recorder_io.h"

#include <algorithm>
#include <cstdio>

#include "platform/known_library.h"

namespace recorder {
namespace {

std::string Convert(UINT codePage, DWORD flags, std::wstring_view wide, BOOL* usedDefault) {
    if (wide.empty())
        return {};
    const int n = ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, usedDefault);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                              out.data(), n, nullptr, usedDefault);
    return out;
}

std::wstring Widen(UINT codePage, std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                              n);
    return out;
}

void WriteLine(FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace

void Print(std::string_view utf8) {
    WriteLine(stdout, utf8);
}

void PrintError(std::string_view utf8) {
    WriteLine(stdout, "ERROR " + std::string(utf8));
}

std::string WideToUtf8(std::wstring_view wide) {
    return Convert(CP_UTF8, 0, wide, nullptr);
}

std::wstring Utf8ToWide(std::string_view utf8) {
    return Widen(CP_UTF8, utf8);
}

std::string AnsiToUtf8(std::string_view ansi) {
    return WideToUtf8(Widen(CP_ACP, ansi));
}

bool WideToAnsiExact(std::wstring_view wide, std::string& ansi) {
    BOOL usedDefault = FALSE;
    ansi = Convert(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &usedDefault);
    return !usedDefault && Widen(CP_ACP, ansi) == wide;
}

platform::SharedTextBlock OpenBlock(const wchar_t* mapping, const wchar_t* mutex, std::size_t size,
                                    DWORD timeoutMs) {
    platform::SharedTextOpenOptions options;
    options.retryDelayMs = 100;
    options.mappingAttempts = static_cast<int>(std::max<DWORD>(timeoutMs / 100, 1));
    options.viewAttempts = 5;
    options.mutexAttempts = 5;
    options.mutexRequired = true;
    return platform::SharedTextBlock::Open(mapping, mutex, size, options);
}

platform::SharedTextBlock OpenBlock(const BlockName& name, DWORD timeoutMs) {
    return OpenBlock(name.mapping, name.mutex, name.size, timeoutMs);
}

int ReadText(const platform::SharedTextBlock& block, std::string& text) {
    if (!block.Ready())
        return kMissing;
    return block.Read(text) == platform::SharedTextAccess::Ok ? kOk : kLockFailed;
}

int WriteText(platform::SharedTextBlock& block, std::string_view text) {
    if (!block.Ready())
        return kMissing;
    if (text.size() > MaxText(block.Size()))
        return kBadText;  // never cut a command: a cut folder is another folder
    return block.Write(text) == platform::SharedTextAccess::Ok ? kOk : kLockFailed;
}

bool GpsLibrary::Load(const std::wstring& path, std::string& error) {
    // A tool of the test tree: it loads the gps.dll it is told to, by full path.
    m_module.Reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!m_module) {
        error = "cannot load " + WideToUtf8(path) + " (" + std::to_string(::GetLastError()) + ")";
        return false;
    }
    const HMODULE m = m_module.Get();
    const bool bound = platform::BindProc(m, "_InitGPSDefault", m_init) &&
                       platform::BindProc(m, "_InitGPSDefaultHidden", m_initHidden) &&
                       platform::BindProc(m, "_UpdateGPS", m_update) &&
                       platform::BindProc(m, "_SetLogFolder", m_setLogFolder) &&
                       platform::BindProc(m, "_UnMap", m_unmap) &&
                       platform::BindProc(m, "_GetGPSLat", m_lat) &&
                       platform::BindProc(m, "_GetGPSLong", m_lon) &&
                       platform::BindProc(m, "_GetGPSCurSpeed", m_speed);
    if (!bound)
        error = WideToUtf8(path) + " lacks an entry point of gps.h";
    return bound;
}

int GpsLibrary::Init(bool hidden) {
    return hidden ? m_initHidden() : m_init();
}

void GpsLibrary::SetLogFolder(const std::string& ansiCommand) {
    m_setLogFolder(ansiCommand.c_str());
}

int GpsLibrary::Update(double& lat, double& lon, double& speed) {
    const int rc = m_update();
    lat = m_lat();
    lon = m_lon();
    speed = m_speed();
    return rc;
}

void GpsLibrary::UnMap() {
    if (m_unmap)
        m_unmap();
}

std::wstring ToolFolder() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
}

std::wstring AbsoluteFolder(const std::wstring& folder) {
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD n = ::GetFullPathNameW(folder.c_str(), MAX_PATH * 4, full, nullptr);
    std::wstring out = n > 0 && n < MAX_PATH * 4 ? std::wstring(full, n) : folder;
    while (out.size() > 3 && (out.back() == L'\\' || out.back() == L'/'))
        out.pop_back();
    return out;
}

bool CreateFolderTree(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 2 && !CreateFolderTree(folder.substr(0, slash)))
        return false;
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<FileEntry> ListFolder(const std::wstring& folder) {
    std::vector<FileEntry> files;
    WIN32_FIND_DATAW data;
    platform::UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        FileEntry entry;
        entry.name = data.cFileName;
        entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        platform::UniqueFile file(::CreateFileW((folder + L"\\" + entry.name).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
        if (file) {
            std::string bytes;
            char buffer[65536];
            DWORD got = 0;
            while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
                bytes.append(buffer, got);
            entry.lines = CountLines(bytes);
        }
        files.push_back(entry);
    } while (::FindNextFileW(find.Get(), &data));
    std::sort(files.begin(), files.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
    return files;
}

}  // namespace recorder
