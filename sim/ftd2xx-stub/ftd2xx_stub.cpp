// A stand-in for FTDI's D2XX library ("ftd2xx.dll") with the three calls
// the sensor service makes to find its odometer converter's virtual COM
// port. Configured by the environment, read at every call:
//
//   SURVEY_FTDI_COM=N       one adapter (device index 0) on COM N; -1: an
//                           adapter without a COM port; unset: no adapter
//   SURVEY_FTDI_FAIL=call:status[,call:status...]
//                           the named call (open, close, getcom) returns that
//                           FT_STATUS instead, e.g. "getcom:4"
//   SURVEY_FTDI_RECORD=path every call appended to this file, one line each:
//                           call <utc_us> <function> <status> <name>=<value>...
//
// Like the real driver, an adapter is opened by one handle at a time; a
// second FT_Open before FT_Close answers FT_DEVICE_NOT_OPENED.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "sensors/ftd2xx_api.h"

namespace {

using ftd2xx::FT_HANDLE;
using ftd2xx::FT_STATUS;

constexpr FT_STATUS kInvalidHandle = 1;
constexpr FT_STATUS kInvalidParameter = 6;
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ull;

// The one adapter's handle while it is open.
int g_adapter = 0;
FT_HANDLE g_open = nullptr;
CRITICAL_SECTION g_lock;
bool g_lockReady = [] {
    ::InitializeCriticalSection(&g_lock);
    return true;
}();

class Guard {
public:
    Guard() { ::EnterCriticalSection(&g_lock); }
    ~Guard() { ::LeaveCriticalSection(&g_lock); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// The port of the adapter, or nothing when none is attached.
bool AdapterPort(LONG& port) {
    const std::wstring text = Environment(L"SURVEY_FTDI_COM");
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != L'\0')
        return false;
    port = value;
    return true;
}

// The status SURVEY_FTDI_FAIL gives `call`, if any.
bool ScheduledFailure(const wchar_t* call, FT_STATUS& status) {
    const std::wstring list = Environment(L"SURVEY_FTDI_FAIL");
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos)
            comma = list.size();
        const std::wstring item = list.substr(start, comma - start);
        const size_t colon = item.find(L':');
        if (colon != std::wstring::npos && item.compare(0, colon, call) == 0) {
            status = static_cast<FT_STATUS>(std::wcstoul(item.c_str() + colon + 1, nullptr, 10));
            return true;
        }
        start = comma + 1;
    }
    return false;
}

void Record(const char* function, FT_STATUS status, const std::string& fields) {
    const std::wstring path = Environment(L"SURVEY_FTDI_RECORD");
    if (path.empty())
        return;
    FILETIME ft;
    ::GetSystemTimePreciseAsFileTime(&ft);
    const std::uint64_t t =
        (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    char head[128];
    std::snprintf(head, sizeof head, "call\t%lld\t%s\t%lu",
                  (long long)((t - kUnixEpochFileTime) / 10), function,
                  static_cast<unsigned long>(status));
    const std::string line = head + fields + "\n";
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

const char* PointerField(const void* p) {
    return p ? "ptr" : "null";
}

}  // namespace

extern "C" {

FT_STATUS WINAPI FT_Open(int deviceNumber, FT_HANDLE* pHandle) {
    Guard guard;
    FT_STATUS status = ftd2xx::FT_OK;
    LONG port = 0;
    if (ScheduledFailure(L"open", status)) {
    } else if (pHandle == nullptr) {
        status = kInvalidParameter;
    } else if (deviceNumber != 0 || !AdapterPort(port)) {
        status = ftd2xx::FT_DEVICE_NOT_FOUND;
    } else if (g_open != nullptr) {
        status = ftd2xx::FT_DEVICE_NOT_OPENED;  // in use by an earlier handle
    } else {
        g_open = &g_adapter;
        *pHandle = g_open;
    }
    Record("FT_Open", status,
           "\tdeviceNumber=" + std::to_string(deviceNumber) + "\tpHandle=" + PointerField(pHandle));
    return status;
}

FT_STATUS WINAPI FT_Close(FT_HANDLE ftHandle) {
    Guard guard;
    FT_STATUS status = ftd2xx::FT_OK;
    if (ScheduledFailure(L"close", status)) {
    } else if (ftHandle == nullptr || ftHandle != g_open) {
        status = kInvalidHandle;
    } else {
        g_open = nullptr;
    }
    Record(
        "FT_Close", status,
        std::string("\tftHandle=") + (ftHandle == &g_adapter ? "adapter" : PointerField(ftHandle)));
    return status;
}

FT_STATUS WINAPI FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lplComPortNumber) {
    Guard guard;
    FT_STATUS status = ftd2xx::FT_OK;
    LONG port = ftd2xx::kNoComPort;
    if (ScheduledFailure(L"getcom", status)) {
    } else if (ftHandle == nullptr || ftHandle != g_open) {
        status = kInvalidHandle;
    } else if (lplComPortNumber == nullptr) {
        status = kInvalidParameter;
    } else {
        if (!AdapterPort(port))
            port = ftd2xx::kNoComPort;
        *lplComPortNumber = port;
    }
    Record("FT_GetComPortNumber", status,
           std::string("\tftHandle=") +
               (ftHandle == &g_adapter ? "adapter" : PointerField(ftHandle)) +
               "\tport=" + std::to_string(status == ftd2xx::FT_OK ? port : 0));
    return status;
}

}  // extern "C"
