// rand_s: the C library's secure random numbers.
#define _CRT_RAND_S
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/http_client.h"
#include "common/sha1_hex.h"
#include "common/update_msg_dlg.h"
#include "common/update_system_win.h"
#include "platform/text.h"

namespace update {

// ---- Transport -------------------------------------------------------------

WinTransport::WinTransport(std::wstring host, ProxySettings proxy, bool directMode)
    : m_host(std::move(host)), m_proxy(proxy), m_directMode(directMode) {}

bool WinTransport::Post(std::u16string_view path, std::string_view body, std::string& reply) {
    reply.clear();
    uint32_t length = 0;
    std::unique_ptr<char[]> buffer;
    const std::wstring widePath = platform::ToWide(path);
    const std::wstring wideBody = platform::Utf8ToWide(body);
    const bool ok = HttpRequest(widePath.c_str(), m_host.c_str(), length, buffer, nullptr, nullptr,
                                wideBody.c_str(), m_directMode ? nullptr : &m_proxy, !m_directMode);
    if (ok && length > 0)
        reply.assign(buffer.get(), length - 1);
    return ok;
}

bool WinTransport::GetPublicAddress(std::string& address) {
    address.clear();
    uint32_t length = 0;
    std::unique_ptr<char[]> buffer;
    const std::wstring path = platform::ToWide(kUserIpPath);
    if (!HttpGet(path.c_str(), m_host.c_str(), length, buffer, m_directMode ? nullptr : &m_proxy))
        return false;
    address = platform::AnsiToUtf8(std::string_view(buffer.get(), length - 1));
    return !address.empty();
}

// ---- Hasher ----------------------------------------------------------------

std::optional<std::string> CryptoHasher::Sha1Hex(std::string_view text) {
    char out[kSha1HexBufferBytes] = {};
    if (!::Sha1Hex(text, out))
        return std::nullopt;
    return std::string(out);
}

// ---- System ----------------------------------------------------------------

struct WinSystem::Progress {
    HANDLE done = nullptr;  // auto-reset, signalled when the work is over
    platform::DialogThread thread;
};

WinSystem::WinSystem() = default;

WinSystem::~WinSystem() {
    EndProgress();
}

uint32_t WinSystem::SecureRandom() {
    unsigned int value = 0;
    if (rand_s(&value) != 0)
        value = static_cast<unsigned int>(::GetTickCount()) ^ ::GetCurrentProcessId();
    return value;
}

bool WinSystem::CreateAndDeleteFile(const std::u16string& path) {
    const std::wstring wide = platform::ToWide(path);
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    ::DeleteFileW(wide.c_str());
    return true;
}

bool WinSystem::FileReadable(const std::u16string& path) {
    const std::wstring wide = platform::ToWide(path);
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

std::string WinSystem::LocalAddressTo(uint16_t remotePort) {
    // Room for one row first, then once more with the size the system asks for.
    ULONG size = sizeof(MIB_TCPTABLE);
    std::vector<uint8_t> buffer(size);
    DWORD rc = ::GetTcpTable(reinterpret_cast<PMIB_TCPTABLE>(buffer.data()), &size, TRUE);
    if (rc == ERROR_INSUFFICIENT_BUFFER) {
        buffer.assign(size, 0);
        rc = ::GetTcpTable(reinterpret_cast<PMIB_TCPTABLE>(buffer.data()), &size, TRUE);
    }
    if (rc != NO_ERROR)
        return {};
    const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW& row = table->table[i];
        if (row.dwState != MIB_TCP_STATE_ESTAB)
            continue;
        if (ntohs(static_cast<u_short>(row.dwRemotePort)) != remotePort)
            continue;
        const auto* a = reinterpret_cast<const uint8_t*>(&row.dwLocalAddr);
        std::string text = std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
                           std::to_string(a[2]) + "." + std::to_string(a[3]);
        return text.size() > 6 ? text : std::string();
    }
    return {};
}

bool WinSystem::StartProcess(const std::u16string& exePath, const std::u16string& commandLine,
                             uint32_t& error) {
    const std::wstring exe = platform::ToWide(exePath);
    std::wstring line = platform::ToWide(commandLine);  // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        error = ::GetLastError();
        return false;
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    error = 0;
    return true;
}

void WinSystem::BeginProgress() {
    EndProgress();
    m_progress = std::make_unique<Progress>();
    m_progress->done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = m_progress->done;
    m_progress->thread.Start([done] { return std::make_unique<CUpdateMsgDlg>(done); },
                             THREAD_PRIORITY_IDLE);
    ::Sleep(500);  // let the window come up before the work starts
}

void WinSystem::EndProgress() {
    if (!m_progress)
        return;
    if (m_progress->done)
        ::SetEvent(m_progress->done);
    m_progress->thread.Wait(INFINITE);
    if (m_progress->done)
        ::CloseHandle(m_progress->done);
    m_progress.reset();
}

void WinSystem::BeginWait() {
    m_previousCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

void WinSystem::EndWait() {
    ::SetCursor(m_previousCursor ? m_previousCursor : ::LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace update
