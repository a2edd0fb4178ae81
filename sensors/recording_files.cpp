#include "sensors/recording_files.h"

#include <windows.h>

#include <utility>

#include "platform/text.h"
#include "sensors/recording_control.h"
#include "sensors/sensor_lines.h"

namespace {

// Stdio buffer of each per-input file: about two seconds of lines.
constexpr size_t kChannelFileBuffer = 64 * 1024;

std::wstring Wide(const char* utf8) {
    return platform::Utf8ToWide(utf8);
}

}  // namespace

ChannelFileSet::ChannelFileSet(ChannelFileSet&& other) noexcept
    : m_files(std::exchange(other.m_files, {})), m_buffers(std::move(other.m_buffers)) {}

ChannelFileSet& ChannelFileSet::operator=(ChannelFileSet&& other) noexcept {
    if (this != &other) {
        CloseAll();
        m_files = std::exchange(other.m_files, {});
        m_buffers = std::move(other.m_buffers);
    }
    return *this;
}

ChannelFileSet ChannelFileSet::Open(const SensorSetup& setup) {
    ChannelFileSet set;
    for (size_t i = 0; i < kInputCount; ++i) {
        const char* name = ChannelFileName(setup.channels[i].purpose);
        if (name == nullptr)
            continue;
        FILE* f = ::_wfopen(Wide(name).c_str(), L"at");
        if (f == nullptr)
            continue;
        set.m_buffers[i] = std::make_unique<char[]>(kChannelFileBuffer);
        std::setvbuf(f, set.m_buffers[i].get(), _IOFBF, kChannelFileBuffer);
        std::fputs(kChannelFileHeader, f);
        set.m_files[i] = f;
    }
    return set;
}

unsigned ChannelFileSet::Mask() const {
    unsigned mask = 0;
    for (size_t i = 0; i < kInputCount; ++i) {
        if (m_files[i] != nullptr)
            mask |= 1u << i;
    }
    return mask;
}

void ChannelFileSet::Write(int input, const char* line, size_t length) {
    if (input < 0 || input >= kInputCount)
        return;
    if (FILE* f = m_files[static_cast<size_t>(input)])
        std::fwrite(line, 1, length, f);
}

void ChannelFileSet::CloseAll() {
    for (size_t i = 0; i < kInputCount; ++i) {
        if (FILE* f = std::exchange(m_files[i], nullptr))
            std::fclose(f);
        m_buffers[i].reset();
    }
}

void WriteSessionFile(const SensorSetup& setup) {
    // A profile name without a path would land in the Windows folder.
    std::wstring path = CurrentDirectory();
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    path += Wide(kSessionFileName);
    for (const ProfileEntry& e : SessionEntries(setup))
        ::WritePrivateProfileStringW(Wide(e.section.c_str()).c_str(), Wide(e.key.c_str()).c_str(),
                                     Wide(e.value.c_str()).c_str(), path.c_str());
}

bool AppendSnapshot(std::string_view line) {
    FILE* f = ::_wfopen(Wide(kSnapshotFileName).c_str(), L"at");
    if (f == nullptr)
        return false;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
    return true;
}

bool CalibrationFile::Create() {
    Close();
    m_file = ::_wfopen(Wide(kCalibrationFileName).c_str(), L"wt");
    if (m_file == nullptr)
        return false;
    const std::string header = CalibrationFileHeader();
    std::fputs(header.c_str(), m_file);
    std::fflush(m_file);
    return true;
}

void CalibrationFile::Close() {
    if (FILE* f = std::exchange(m_file, nullptr))
        std::fclose(f);
}

bool EnterRecordingFolder(const std::string& ansiFolder) {
    std::string folder = ansiFolder.substr(0, kMaxFolderLength);
    return ::SetCurrentDirectoryW(platform::AnsiToWide(folder).c_str()) != FALSE;
}

bool LeaveRecordingFolder() {
    return ::SetCurrentDirectoryW(L"..") != FALSE;
}

std::wstring CurrentDirectory() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring path(n, L'\0');
    const DWORD written = ::GetCurrentDirectoryW(n, path.data());
    path.resize(written < n ? written : 0);
    return path;
}
