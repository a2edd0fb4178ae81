#include "sim/nicaiu-stub/driver_state.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>

namespace daqsim {
namespace {

Driver* g_driver = nullptr;
// How long an unload waits for the stand-in's threads to park, ms.
constexpr int kUnloadWaitMs = 1000;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[2048];
    const DWORD n = ::GetEnvironmentVariableW(name, value, 2048);
    return n > 0 && n < 2048 ? std::wstring(value, n) : std::wstring();
}

std::wstring ThisModuleFolder() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModuleFolder), &self);
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = ::GetModuleFileNameW(self, path, MAX_PATH * 2);
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

bool ReadWholeFile(const std::wstring& path, std::string& text) {
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    text.clear();
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return true;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                              n);
    return out;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                              nullptr, nullptr);
    return out;
}

bool IsAbsolute(const std::wstring& path) {
    return (path.size() > 2 && path[1] == L':') || (path.size() > 1 && path[0] == L'\\');
}

}  // namespace

Driver& Driver::Get() {
    static Driver driver;
    return driver;
}

Driver* Driver::IfCreated() {
    return g_driver;
}

Driver::Driver() {
    ::InitializeCriticalSection(&lock);
    g_driver = this;
}

void Driver::Unload() {
    BeginUnload();
    std::vector<HANDLE> live;
    for (const auto& task : tasks)
        for (HANDLE h : task->LiveThreads())
            live.push_back(h);
    long running = 0;
    for (HANDLE h : live)
        running += ThreadEnding(::GetThreadId(h)) ? 0 : 1;
    HANDLE writer = record.Thread();
    const long expected = running + (writer && ::WaitForSingleObject(writer, 0) == WAIT_TIMEOUT);
    for (int waited = 0; waited < kUnloadWaitMs && ParkedThreads() < expected; waited += 5)
        ::Sleep(5);
    const long stuck = std::max(0L, expected - ParkedThreads());
    char line[256];
    std::snprintf(line, sizeof line, "unload\t%" PRId64 "\tthreads=%ld\tstuck=%ld%s\n",
                  UtcMicroseconds(), running, stuck,
                  running == 0 ? ""
                               : "\terror=\"the program freed the driver while a task's "
                                 "threads still ran\"");
    record.Append(line);
    record.CloseAtUnload();
    for (HANDLE h : live) {
        ::TerminateThread(h, 1);
        ::WaitForSingleObject(h, 1000);
    }
}

Task* Driver::Find(daqmx::TaskHandle handle) const {
    if (handle == nullptr)
        return nullptr;
    for (const auto& task : tasks)
        if (task.get() == handle && !task->cleared)
            return task.get();
    return nullptr;
}

void Driver::RefreshScenario(bool always) {
    if (m_loaded && !always)
        return;
    std::wstring path = Environment(kScenarioVariable);
    const bool named = !path.empty();
    if (!named) {
        const std::wstring beside = ThisModuleFolder() + L"\\" + kScenarioBesideDll;
        if (FileExists(beside))
            path = beside;
    }
    std::string text;
    bool readable = true;
    if (!path.empty())
        readable = ReadWholeFile(path, text);
    const bool changed = !m_loaded || path != m_scenarioPath || text != m_scenarioText;
    if (changed) {
        m_loaded = true;
        m_scenarioPath = path;
        m_scenarioText = text;
        callCounts.clear();
        ParseResult parsed = ParseScenario(text);
        scenario = std::move(parsed.scenario);
        scenarioErrors = std::move(parsed.errors);
        if (!readable)
            scenarioErrors.push_back("cannot read " + Narrow(path));
    }

    // The record may move on its own (a test names a new file per case).
    std::wstring recordPath = Environment(kRecordVariable);
    if (recordPath.empty() && !scenario.recordPath.empty()) {
        recordPath = Widen(scenario.recordPath);
        if (!IsAbsolute(recordPath))
            recordPath = ThisModuleFolder() + L"\\" + recordPath;
    }
    const bool moved = recordPath != record.Path();
    if (moved)
        record.Open(recordPath);
    if (changed || moved)
        WriteHeader();
}

void Driver::WriteHeader() {
    char head[160];
    std::snprintf(head, sizeof head, "process\t%lu\t%" PRId64 "\tscenario=",
                  static_cast<unsigned long>(::GetCurrentProcessId()), UtcMicroseconds());
    std::string text =
        head +
        (m_scenarioPath.empty() ? std::string("default") : QuoteText(Narrow(m_scenarioPath))) +
        "\tdevice=" + QuoteText(scenario.device) + "\n";
    for (int i = 0; i < kMaxChannels; ++i) {
        const ChannelSpec& c = scenario.channels[static_cast<size_t>(i)];
        if (c.kind == WaveKind::Constant && c.volts == 0.0 && c.noise == 0.0 && c.role.empty())
            continue;
        text += "channel\tai" + std::to_string(i) + "\t" + DescribeChannel(c) + "\n";
    }
    for (const std::string& e : scenarioErrors)
        text += "scenario-error\t" + QuoteText(e) + "\n";
    record.Append(text);
}

Call::Call(std::string_view function, bool refreshScenario)
    : line(function), driver(Driver::Get()), m_function(function) {
    Lock();
    driver.RefreshScenario(refreshScenario);
    const uInt32 occurrence = ++driver.callCounts[m_function];
    m_scheduled = driver.scenario.FailureOf(m_function, occurrence);
}

Call::~Call() {
    Unlock();
}

void Call::Lock() {
    if (!m_locked) {
        ::EnterCriticalSection(&driver.lock);
        m_locked = true;
    }
}

void Call::Unlock() {
    if (m_locked) {
        m_locked = false;
        ::LeaveCriticalSection(&driver.lock);
    }
}

int32 Call::FinishScheduled() {
    if (!driver.scenarioErrors.empty()) {
        std::string text = "The stand-in driver's scenario has errors:";
        for (const std::string& e : driver.scenarioErrors)
            text += "\n" + e;
        return Finish(kErrInvalidDevice, text);
    }
    line.Integer("scheduled", 1);
    const std::string text =
        m_scheduled->text.empty()
            ? "The stand-in driver failed this call as its scenario asked.\n\nStatus Code: " +
                  std::to_string(m_scheduled->status)
            : m_scheduled->text;
    return Finish(m_scheduled->status, text);
}

int32 Call::Finish(int32 status, std::string_view error) {
    if (m_finished)
        return status;
    m_finished = true;
    if (status < 0) {
        Lock();
        driver.lastError.assign(error.empty() ? std::string_view("NI-DAQmx error") : error);
    }
    driver.record.Append(line.Finish(status, UtcMicroseconds(), status < 0 ? error : ""));
    Unlock();
    // Set-up and shutdown calls are few and tests read the record right after
    // them; only the reads' lines wait for the writer thread.
    if (m_function != "DAQmxReadAnalogF64" || status < 0)
        driver.record.Flush();
    return status;
}

namespace {

// The NI USB-6008's device key, as sim/register_daq_device.py writes it.
constexpr wchar_t kDeviceKey[] = L"System\\CurrentControlSet\\Enum\\USB\\VID_3923&PID_717A";

struct SavedValue {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
};
struct SavedInstance {
    std::wstring name;
    std::vector<SavedValue> values;
};

std::atomic<bool> g_unplugTaken{false};
std::atomic<bool> g_deviceGone{false};

// The instances under the device key with their values, then the key is deleted.
std::vector<SavedInstance> HideDeviceKey() {
    std::vector<SavedInstance> saved;
    HKEY device = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceKey, 0, KEY_READ, &device) != ERROR_SUCCESS)
        return saved;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(device, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        SavedInstance instance{std::wstring(name, length), {}};
        HKEY key = nullptr;
        if (::RegOpenKeyExW(device, instance.name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            for (DWORD v = 0;; ++v) {
                wchar_t valueName[256];
                DWORD nameLength = 256;
                BYTE data[1024];
                DWORD size = sizeof data;
                SavedValue value;
                if (::RegEnumValueW(key, v, valueName, &nameLength, nullptr, &value.type, data,
                                    &size) != ERROR_SUCCESS)
                    break;
                value.name.assign(valueName, nameLength);
                value.data.assign(data, data + size);
                instance.values.push_back(std::move(value));
            }
            ::RegCloseKey(key);
        }
        saved.push_back(std::move(instance));
    }
    ::RegCloseKey(device);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDeviceKey);
    return saved;
}

void ShowDeviceKey(const std::vector<SavedInstance>& saved) {
    for (const SavedInstance& instance : saved) {
        const std::wstring path = std::wstring(kDeviceKey) + L"\\" + instance.name;
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr) != ERROR_SUCCESS)
            continue;
        for (const SavedValue& v : instance.values)
            ::RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(),
                             static_cast<DWORD>(v.data.size()));
        ::RegCloseKey(key);
    }
}

struct Replug {
    DWORD goneMs = 0;
    std::vector<SavedInstance> saved;
    HMODULE module = nullptr;
};

// Holds a reference on the DLL, so that it outlives a FreeLibrary of the program.
DWORD WINAPI ReplugMain(void* param) {
    std::unique_ptr<Replug> replug(static_cast<Replug*>(param));
    ::Sleep(replug->goneMs);
    g_deviceGone = false;
    ShowDeviceKey(replug->saved);
    Driver& driver = Driver::Get();
    driver.record.Append("replug\t" + std::to_string(UtcMicroseconds()) + "\n");
    driver.record.Flush();
    const HMODULE module = replug->module;
    replug.reset();
    ::FreeLibraryAndExitThread(module, 0);
}

}  // namespace

bool TakeUnplug() {
    return !g_unplugTaken.exchange(true);
}

bool DeviceGone() {
    return g_deviceGone.load();
}

void UnplugDevice(const Unplug& unplug) {
    g_deviceGone = true;
    auto replug = std::make_unique<Replug>();
    replug->goneMs = static_cast<DWORD>(unplug.goneS * 1000.0);
    replug->saved = HideDeviceKey();
    Driver& driver = Driver::Get();
    char line[128];
    std::snprintf(line, sizeof line, "unplug\t%" PRId64 "\tstatus=%ld\tgone_s=%s\tinstances=%zu\n",
                  UtcMicroseconds(), static_cast<long>(unplug.status),
                  FormatDouble(unplug.goneS).c_str(), replug->saved.size());
    driver.record.Append(line);
    driver.record.Flush();
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCWSTR>(&ReplugMain), &replug->module);
    HANDLE thread = ::CreateThread(nullptr, 0, &ReplugMain, replug.get(), 0, nullptr);
    if (thread == nullptr) {
        g_deviceGone = false;
        ShowDeviceKey(replug->saved);
        ::FreeLibrary(replug->module);
        return;
    }
    replug.release();
    ::CloseHandle(thread);
}

std::string TaskField(const Task* task) {
    return task ? std::to_string(task->Id()) : std::string("invalid");
}

}  // namespace daqsim
