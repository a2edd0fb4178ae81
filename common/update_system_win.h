// The update flow's Win32 parts: WinINet transport, CryptoAPI hasher, and
// files, processes, the TCP table and the progress window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/settings_types.h"
#include "common/update_core.h"

namespace update {

class WinTransport : public Transport {
public:
    // `directMode`: no proxy and messages shown; otherwise `proxy` and silent.
    WinTransport(std::wstring host, ProxySettings proxy, bool directMode);
    bool Post(std::u16string_view path, std::string_view body, std::string& reply) override;
    bool GetPublicAddress(std::string& address) override;

private:
    std::wstring m_host;
    ProxySettings m_proxy;
    bool m_directMode;
};

class CryptoHasher : public Hasher {
public:
    std::optional<std::string> Sha1Hex(std::string_view text) override;
};

class WinSystem : public System {
public:
    WinSystem();
    ~WinSystem() override;
    uint32_t SecureRandom() override;
    bool CreateAndDeleteFile(const std::u16string& path) override;
    bool FileReadable(const std::u16string& path) override;
    std::string LocalAddressTo(uint16_t remotePort) override;
    bool StartProcess(const std::u16string& exePath, const std::u16string& commandLine,
                      uint32_t& error) override;
    void BeginProgress() override;
    void EndProgress() override;
    void BeginWait() override;
    void EndWait() override;

private:
    struct Progress;
    std::unique_ptr<Progress> m_progress;
    HCURSOR m_previousCursor = nullptr;
};

}  // namespace update
