#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/cert_pin.h"
#include "common/http_client.h"
#include "common/proxy_config.h"
#include "platform/notifier.h"
#include "platform/text.h"

namespace {

constexpr DWORD_PTR kContext = 1;
// Ignore an unknown certificate authority and a certificate name that does
// not match the host: the update server's certificate is its own.
constexpr DWORD kSecurityFlags =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
static_assert(kSecurityFlags == 0x1100);
constexpr size_t kProxyHostMaxBytes = 255;
constexpr size_t kProxyBypassMaxBytes = 1023;
constexpr char kProxyOptionFailed[] = "Failed to set proxy option.";
constexpr char kProxyUserFailed[] = "Failed to set proxy user name.";
constexpr char kProxyPasswordFailed[] = "Failed to set proxy user password.";
constexpr char kConnectionFailed[] = "Ошибка соединения с сервером %s (Error: %d)";
// "%ls": the host is wide text; MinGW's ISO swprintf reads a plain "%s" as a
// narrow text and would send only the host's first character.
constexpr wchar_t kHeaders[] =
    L"Accept-Encoding:identity\r\nHost:%ls\r\nContent-Type: application/x-www-form-urlencoded";

struct InternetHandle {
    HINTERNET h = nullptr;
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET v) : h(v) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { Close(); }
    void Close() {
        if (h)
            ::InternetCloseHandle(h);
        h = nullptr;
    }
};

// The proxy the session is given: none for direct.
struct ProxyChoice {
    bool named = false;
    std::string text;    // "host:port", ANSI
    std::string bypass;  // ANSI, may be empty
};

ProxyChoice ChooseProxy(const ProxySettings* proxy) {
    ProxyChoice choice;
    if (!proxy)
        return choice;
    if (proxy->useProxy == 1) {
        std::wstring server = platform::ToWide(proxy->server);
        server = server.c_str();  // up to the terminator
        choice.named = true;
        choice.text = ProxyOptionText(CutToBytes(platform::WideToAnsi(server), kProxyHostMaxBytes),
                                      proxy->port);
    } else if (proxy->useProxy == -1) {
        std::string text, bypass;
        if (QuerySystemProxy(text, bypass)) {
            const ProxyEndpoint ep = SplitProxyText(text);
            choice.named = true;
            choice.text = ProxyOptionText(ep.host, ep.port);
            choice.bypass = CutToBytes(bypass, kProxyBypassMaxBytes);
        }
    }
    return choice;
}

bool SetProxy(HINTERNET session, const ProxyChoice& choice) {
    INTERNET_PROXY_INFO info = {};
    if (choice.named) {
        info.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
        info.lpszProxy = reinterpret_cast<LPCTSTR>(choice.text.c_str());
        info.lpszProxyBypass =
            choice.bypass.empty() ? nullptr : reinterpret_cast<LPCTSTR>(choice.bypass.c_str());
    } else {
        info.dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
    }
    // The texts are ANSI: the ANSI entry point reads them so.
    return ::InternetSetOptionA(session, INTERNET_OPTION_PROXY, &info, sizeof(info)) != FALSE;
}

std::string FormatConnectionFailed(const wchar_t* host, DWORD error) {
    std::string text = kConnectionFailed;
    text.replace(text.find("%d"), 2, std::to_string(static_cast<int>(error)));
    text.replace(text.find("%s"), 2, platform::WideToUtf8(host ? host : L""));
    return text;
}

// SHA-256 of the certificate the server presented on this request's
// connection (the first element of its chain); empty when WinINet gives none.
std::string ServerCertificateSha256(HINTERNET request) {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    DWORD size = sizeof(chain);
    if (!::InternetQueryOptionW(request, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &chain,
                                &size) ||
        chain == nullptr)
        return {};
    std::string sha256;
    if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
        const CERT_CONTEXT* leaf = chain->rgpChain[0]->rgpElement[0]->pCertContext;
        if (leaf != nullptr)
            sha256 = CertificateSha256(leaf->pbCertEncoded, leaf->cbCertEncoded);
    }
    ::CertFreeCertificateChain(chain);
    return sha256;
}

void Show(bool silent, const std::string& text, platform::MessageIcon icon) {
    if (!silent)
        platform::ShowMessage(text, {}, icon);
}

}  // namespace

bool HttpRequest(const wchar_t* path, const wchar_t* host, uint32_t& replyLength,
                 std::unique_ptr<char[]>& reply, std::wstring* contentType, uint32_t* charset,
                 const wchar_t* body, const ProxySettings* proxy, bool silent) {
    replyLength = 0;
    reply.reset();
    const CertificatePin pin = ReadCertificatePin();
    const auto failConnection = [&](DWORD error) {
        Show(silent, FormatConnectionFailed(host, error), platform::MessageIcon::Warning);
        replyLength = 0;
        reply.reset();
        return false;
    };

    InternetHandle session(
        ::InternetOpenW(kHttpUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.h)
        return failConnection(::GetLastError());
    const ProxyChoice choice = ChooseProxy(proxy);
    if (!SetProxy(session.h, choice)) {
        // Some WinINet builds (Wine's) take the proxy only when the session
        // opens: open it anew with the chosen access type.
        session.Close();
        const std::wstring text = platform::AnsiToWide(choice.text);
        const std::wstring bypass = platform::AnsiToWide(choice.bypass);
        session.h = ::InternetOpenW(
            kHttpUserAgent, choice.named ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
            choice.named ? text.c_str() : nullptr,
            choice.named && !bypass.empty() ? bypass.c_str() : nullptr, 0);
        if (!session.h) {
            Show(silent, kProxyOptionFailed, platform::MessageIcon::None);
            return false;
        }
    }
    InternetHandle connection(
        ::InternetConnectW(session.h, host, kHttpsPort, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE |
                               INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_TRANSFER_BINARY,
                           kContext));
    if (!connection.h)
        return failConnection(::GetLastError());

    const bool post = body && body[0];
    InternetHandle request(::HttpOpenRequestW(
        connection.h, post ? L"POST" : L"GET", path, nullptr, nullptr, nullptr,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_SECURE, kContext));
    if (!request.h)
        return failConnection(::GetLastError());

    if (choice.named) {
        const std::wstring login = platform::ToWide(proxy->login).c_str();
        const std::wstring password = platform::ToWide(proxy->password).c_str();
        if (!::InternetSetOptionW(request.h, INTERNET_OPTION_PROXY_USERNAME,
                                  const_cast<wchar_t*>(login.c_str()),
                                  static_cast<DWORD>(login.size() + 1))) {
            Show(silent, kProxyUserFailed, platform::MessageIcon::None);
            return false;
        }
        if (!::InternetSetOptionW(request.h, INTERNET_OPTION_PROXY_PASSWORD,
                                  const_cast<wchar_t*>(password.c_str()),
                                  static_cast<DWORD>(password.size() + 1))) {
            Show(silent, kProxyPasswordFailed, platform::MessageIcon::None);
            return false;
        }
    }

    DWORD flags = kSecurityFlags;
    if (!::InternetSetOptionW(request.h, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)))
        return failConnection(::GetLastError());

    std::wstring headers(std::size(kHeaders) + wcslen(host) + 8, L'\0');
    headers.resize(static_cast<size_t>(swprintf(headers.data(), headers.size(), kHeaders, host)));
    std::string utf8Body = post ? platform::WideToUtf8(body) : std::string();
    if (!pin.set) {
        if (!::HttpSendRequestW(request.h, headers.c_str(), static_cast<DWORD>(headers.size()),
                                utf8Body.empty() ? nullptr : utf8Body.data(),
                                static_cast<DWORD>(utf8Body.size())))
            return failConnection(::GetLastError());
    } else {
        // A pinned deployment talks only to the server with that certificate.
        // The headers go first (the TLS handshake with them); another
        // certificate is refused before the form is sent or anything read,
        // as a server that cannot be reached. A pin that is not a
        // fingerprint matches nothing.
        INTERNET_BUFFERSW buffers = {};
        buffers.dwStructSize = sizeof(buffers);
        buffers.lpcszHeader = headers.c_str();
        buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
        buffers.dwBufferTotal = static_cast<DWORD>(utf8Body.size());
        if (!::HttpSendRequestExW(request.h, &buffers, nullptr, 0, kContext))
            return failConnection(::GetLastError());
        if (pin.sha256.empty() || ServerCertificateSha256(request.h) != pin.sha256)
            return failConnection(ERROR_INTERNET_SEC_INVALID_CERT);
        for (size_t sent = 0; sent < utf8Body.size();) {
            DWORD written = 0;
            if (!::InternetWriteFile(request.h, utf8Body.data() + sent,
                                     static_cast<DWORD>(utf8Body.size() - sent), &written) ||
                written == 0)
                return failConnection(::GetLastError());
            sent += written;
        }
        if (!::HttpEndRequestW(request.h, nullptr, 0, kContext))
            return failConnection(::GetLastError());
    }

    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr))
        return failConnection(::GetLastError());
    if (status != HTTP_STATUS_OK)
        return false;

    std::wstring type;
    bool haveType = false;
    if (contentType || charset) {
        wchar_t buffer[512] = {};
        DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
        if (::HttpQueryInfoW(request.h, HTTP_QUERY_CONTENT_TYPE, buffer, &bytes, nullptr)) {
            type = buffer;
            haveType = true;
        }
    }

    std::vector<char> data;
    for (;;) {
        char chunk[kReplyChunkBytes];
        DWORD read = 0;
        if (!::InternetReadFile(request.h, chunk, sizeof(chunk), &read))
            return failConnection(::GetLastError());
        if (read == 0)
            break;
        data.insert(data.end(), chunk, chunk + read);
    }
    if (!data.empty()) {
        reply.reset(new char[data.size() + 1]);
        std::memcpy(reply.get(), data.data(), data.size());
        reply[data.size()] = '\0';
        replyLength = static_cast<uint32_t>(data.size() + 1);
    }
    if (haveType) {
        if (contentType)
            *contentType = type;
        if (charset)
            *charset = type.find(L"utf-8") != std::wstring::npos ? kUtf8CodePage : 0;
    }
    request.Close();
    connection.Close();
    session.Close();
    return true;
}

bool HttpGet(const wchar_t* path, const wchar_t* host, uint32_t& replyLength,
             std::unique_ptr<char[]>& reply, const ProxySettings* proxy) {
    replyLength = 0;
    reply.reset();
    uint32_t length = 0;
    uint32_t charset = 0;
    std::unique_ptr<char[]> raw;
    if (!HttpRequest(path, host, length, raw, nullptr, &charset, nullptr, proxy, false))
        return false;
    if (length == 0)
        return false;
    std::string text(raw.get(), length - 1);
    if (charset == kUtf8CodePage)
        text = platform::Utf8ToAnsi(text);
    reply.reset(new char[text.size() + 1]);
    std::memcpy(reply.get(), text.c_str(), text.size() + 1);
    replyLength = static_cast<uint32_t>(text.size() + 1);
    return !text.empty();
}
