// CPing: one ICMP echo to a scanner's address before the service connects
// to it. The ICMP echo functions are loaded at run time from the system
// folder: "Iphlpapi.dll", or "ICMP.DLL" where that lacks them.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/handles.h"
#include "platform/winsock.h"

// What a successful ping learned.
struct PingReply {
    uint16_t family = 0;  // 2: IPv4
    in_addr address{};    // the replying address
    uint32_t roundTripMs = 0;
    uint32_t status = 0;       // ICMP status of the reply (not examined by the service)
    std::vector<uint8_t> raw;  // the 80-byte reply buffer of the last ping
};

class CPing {
public:
    // Echo payload (bytes of 'E'), reply buffer, time to live, time-out.
    static constexpr WORD kRequestSize = 32;
    static constexpr DWORD kReplyBufferSize = 80;
    static constexpr UCHAR kTimeToLive = 10;
    static constexpr DWORD kTimeoutMs = 5000;
    static constexpr uint8_t kPayloadByte = 69;
    // Error set when the library or an entry point is missing.
    static constexpr DWORD kNoIcmpError = 120;   // ERROR_CALL_NOT_IMPLEMENTED
    static constexpr DWORD kNoMemoryError = 14;  // ERROR_OUTOFMEMORY

    CPing();
    virtual ~CPing();
    CPing(const CPing&) = delete;
    CPing& operator=(const CPing&) = delete;

    // 1 when an echo reply arrived (whatever its ICMP status), else 0 with
    // the system error code set. `host`: an address or a name (its first
    // IPv4 address is pinged). `timeoutMs`: how long to wait for the echo.
    int Ping(const char* host, PingReply& reply, DWORD timeoutMs = kTimeoutMs);

    virtual void FillRequestData(uint8_t* buffer, size_t size);

    bool Loaded() const { return m_library.Valid(); }

private:
    using IcmpCreateFileFn = HANDLE(WINAPI*)();
    using IcmpCloseHandleFn = BOOL(WINAPI*)(HANDLE);
    using IcmpSendEchoFn = DWORD(WINAPI*)(HANDLE, ULONG destination, LPVOID request,
                                          WORD requestSize, void* options, LPVOID reply,
                                          DWORD replySize, DWORD timeoutMs);
    // Resolved for completeness; the service pings IPv4 only.
    using OtherIcmpFn = FARPROC;

    bool Bind(const wchar_t* libraryName, bool full);
    void Unload();

    platform::UniqueModule m_library;
    IcmpCreateFileFn m_icmpCreateFile = nullptr;
    OtherIcmpFn m_icmp6CreateFile = nullptr;
    IcmpSendEchoFn m_icmpSendEcho = nullptr;
    OtherIcmpFn m_icmp6SendEcho2 = nullptr;
    OtherIcmpFn m_icmpSendEcho2Ex = nullptr;
    IcmpCloseHandleFn m_icmpCloseHandle = nullptr;
    platform::WinsockSession m_winsock;  // name resolution needs it
};
