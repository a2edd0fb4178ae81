#include "sensors/recording_files.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "platform/text.h"
#include "sensors/recording_control.h"
#include "sensors/sensor_lines.h"

namespace {

// Stdio buffer of each stream per input writing to it: about two seconds
// of lines, so that nothing is written out between two flushes (1 s).
constexpr size_t kChannelFileBuffer = 64 * 1024;

std::wstring Wide(const char* utf8) {
    return platform::Utf8ToWide(utf8);
}

}  // namespace

ChannelFileSet::ChannelFileSet(ChannelFileSet&& other) noexcept
    : m_files(std::exchange(other.m_files, {})),
      m_streams(std::exchange(other.m_streams, {})),
      m_buffers(std::move(other.m_buffers)),
      m_failed(other.m_failed.exchange(false)) {}

ChannelFileSet& ChannelFileSet::operator=(ChannelFileSet&& other) noexcept {
    if (this != &other) {
        CloseAll();
        m_files = std::exchange(other.m_files, {});
        m_streams = std::exchange(other.m_streams, {});
        m_buffers = std::move(other.m_buffers);
        m_failed.store(other.m_failed.exchange(false));
    }
    return *this;
}

ChannelFileSet ChannelFileSet::Open(const SensorSetup& setup) {
    ChannelFileSet set;
    std::array<const char*, kInputCount> names{};
    for (size_t i = 0; i < kInputCount; ++i)
        names[i] = ChannelFileName(setup.channels[i].purpose);
    for (size_t i = 0; i < kInputCount; ++i) {
        if (names[i] == nullptr)
            continue;
        // A later input of an already opened name writes to that stream.
        size_t first = 0;
        while (first < i && (names[first] == nullptr || std::strcmp(names[first], names[i]) != 0))
            ++first;
        if (first < i) {
            set.m_files[i] = set.m_files[first];
            continue;
        }
        FILE* f = ::_wfopen(Wide(names[i]).c_str(), L"at");
        if (f == nullptr)
            continue;
        size_t inputs = 0;
        for (size_t j = i; j < kInputCount; ++j)
            inputs += names[j] != nullptr && std::strcmp(names[j], names[i]) == 0;
        const size_t size = kChannelFileBuffer * inputs;
        set.m_buffers[i] = std::make_unique<char[]>(size);
        std::setvbuf(f, set.m_buffers[i].get(), _IOFBF, size);
        set.Check(std::fputs(kChannelFileHeader, f) >= 0);
        set.m_files[i] = f;
        set.m_streams[i] = f;
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
        Check(std::fwrite(line, 1, length, f) == length);
}

void ChannelFileSet::Flush() {
    for (FILE* f : m_streams) {
        if (f != nullptr)
            Check(std::fflush(f) == 0);
    }
}

bool ChannelFileSet::CloseAll() {
    m_files = {};
    for (size_t i = 0; i < kInputCount; ++i) {
        if (FILE* f = std::exchange(m_streams[i], nullptr))
            Check(std::fclose(f) == 0);
        m_buffers[i].reset();
    }
    return !Failed();
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
