#include "sim/nicaiu-stub/driver_state.h"

#include <algorithm>
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

std::string TaskField(const Task* task) {
    return task ? std::to_string(task->Id()) : std::string("invalid");
}

}  // namespace daqsim
