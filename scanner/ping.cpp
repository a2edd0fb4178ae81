#include "scanner/ping.h"

#include <ipexport.h>
#include <ws2tcpip.h>

#include <cstring>
#include <new>

#include "platform/known_library.h"

CPing::CPing() {
    if (!Bind(L"Iphlpapi.dll", true))
        Bind(L"ICMP.DLL", false);
}

CPing::~CPing() {
    Unload();
}

void CPing::Unload() {
    m_library.Reset();
    m_icmpCreateFile = nullptr;
    m_icmp6CreateFile = nullptr;
    m_icmpSendEcho = nullptr;
    m_icmp6SendEcho2 = nullptr;
    m_icmpSendEcho2Ex = nullptr;
    m_icmpCloseHandle = nullptr;
}

bool CPing::Bind(const wchar_t* libraryName, bool full) {
    m_library = platform::LoadSystemLibrary(libraryName);
    if (!m_library)
        return false;
    HMODULE m = m_library.Get();
    platform::BindProc(m, "IcmpCreateFile", m_icmpCreateFile);
    platform::BindProc(m, "IcmpSendEcho", m_icmpSendEcho);
    platform::BindProc(m, "IcmpCloseHandle", m_icmpCloseHandle);
    if (full) {
        platform::BindProc(m, "Icmp6CreateFile", m_icmp6CreateFile);
        platform::BindProc(m, "Icmp6SendEcho2", m_icmp6SendEcho2);
        platform::BindProc(m, "IcmpSendEcho2Ex", m_icmpSendEcho2Ex);
    }
    if (m_icmpCreateFile == nullptr || m_icmpSendEcho == nullptr || m_icmpCloseHandle == nullptr) {
        Unload();
        return false;
    }
    return true;
}

void CPing::FillRequestData(uint8_t* buffer, size_t size) {
    std::memset(buffer, kPayloadByte, size);
}

int CPing::Ping(const char* host, PingReply& reply, DWORD timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host != nullptr ? host : "", "0", &hints, &found);
    if (resolved != 0 || found == nullptr) {
        ::SetLastError(static_cast<DWORD>(resolved != 0 ? resolved : WSAHOST_NOT_FOUND));
        return 0;
    }
    const in_addr destination = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);

    if (m_icmpCreateFile == nullptr || m_icmpCloseHandle == nullptr) {
        ::SetLastError(kNoIcmpError);
        return 0;
    }
    const HANDLE icmp = m_icmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE || icmp == nullptr)
        return 0;
    if (m_icmpSendEcho == nullptr) {
        m_icmpCloseHandle(icmp);
        ::SetLastError(kNoIcmpError);
        return 0;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(kReplyBufferSize, 0);
    } catch (const std::bad_alloc&) {
        m_icmpCloseHandle(icmp);
        ::SetLastError(kNoMemoryError);
        return 0;
    }
    uint8_t request[kRequestSize];
    FillRequestData(request, sizeof request);
    IP_OPTION_INFORMATION options{};
    options.Ttl = kTimeToLive;
    options.Tos = 0;
    options.Flags = 0;
    options.OptionsSize = 0;
    options.OptionsData = nullptr;
    const DWORD replies = m_icmpSendEcho(icmp, destination.S_un.S_addr, request, kRequestSize,
                                         &options, buffer.data(), kReplyBufferSize, timeoutMs);
    const DWORD error = ::GetLastError();
    m_icmpCloseHandle(icmp);
    if (replies != 1) {
        ::SetLastError(error);
        return 0;
    }
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(buffer.data());
    reply.family = AF_INET;
    reply.address.S_un.S_addr = echo->Address;
    reply.roundTripMs = echo->RoundTripTime;
    reply.status = echo->Status;
    reply.raw = std::move(buffer);
    return 1;
}
