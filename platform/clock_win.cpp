#include <windows.h>

#include "platform/clock.h"

namespace platform {
namespace {

CivilTime FromSystemTime(const SYSTEMTIME& st) {
    return CivilTime{st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
}

SYSTEMTIME ToSystemTime(const CivilTime& t) {
    SYSTEMTIME st{};
    st.wYear = t.year;
    st.wMonth = t.month;
    st.wDayOfWeek = t.dayOfWeek;
    st.wDay = t.day;
    st.wHour = t.hour;
    st.wMinute = t.minute;
    st.wSecond = t.second;
    st.wMilliseconds = t.milliseconds;
    return st;
}

// SetSystemTime needs SE_SYSTEMTIME_NAME enabled in the process token.
bool EnableSystemTimePrivilege() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return false;
    }
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = ::LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &tp.Privileges[0].Luid) &&
              ::AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) &&
              ::GetLastError() == ERROR_SUCCESS;
    ::CloseHandle(token);
    return ok;
}

class WinClock : public Clock {
public:
    CivilTime UtcNow() override {
        SYSTEMTIME st;
        ::GetSystemTime(&st);
        return FromSystemTime(st);
    }
    CivilTime LocalNow() override {
        SYSTEMTIME st;
        ::GetLocalTime(&st);
        return FromSystemTime(st);
    }
    int32_t TimeZoneBiasMinutes() override {
        TIME_ZONE_INFORMATION tz{};
        const DWORD r = ::GetTimeZoneInformation(&tz);
        int32_t bias = tz.Bias;
        if (r == TIME_ZONE_ID_DAYLIGHT)
            bias += tz.DaylightBias;
        else if (r == TIME_ZONE_ID_STANDARD)
            bias += tz.StandardBias;
        return bias;
    }
    uint64_t PreciseFileTime() override {
        FILETIME ft;
        ::GetSystemTimePreciseAsFileTime(&ft);
        return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    }
    int64_t PerformanceCounter() override {
        LARGE_INTEGER v;
        ::QueryPerformanceCounter(&v);
        return v.QuadPart;
    }
    int64_t PerformanceFrequency() override {
        LARGE_INTEGER v;
        ::QueryPerformanceFrequency(&v);
        return v.QuadPart;
    }
    uint64_t TickMs() override { return ::GetTickCount64(); }
    bool SetUtc(const CivilTime& utc) override {
        EnableSystemTimePrivilege();
        const SYSTEMTIME st = ToSystemTime(utc);
        return ::SetSystemTime(&st) != FALSE;
    }
};

}  // namespace

Clock& DefaultClock() {
    static WinClock clock;
    return clock;
}

}  // namespace platform
