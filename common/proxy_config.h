// Proxy texts of the HTTP client: the split of the user's system proxy text
// and the "host:port" text given to the internet session.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ProxyEndpoint {
    std::string host;  // ANSI
    int32_t port = 0;  // 0 when the text names none
};

// Splits at the LAST colon: what follows is the port (read as a decimal
// number, 0 when there is none), what precedes it the host. Without a colon
// the whole text is the host and the port is 0. A text listing several
// proxies is split the same way.
ProxyEndpoint SplitProxyText(std::string_view text);

// "%s:%d": the named-proxy text of the internet session.
std::string ProxyOptionText(std::string_view host, int32_t port);

// Cuts an ANSI text to at most `maxBytes` bytes (the session takes the
// configured proxy host in 255 bytes, the bypass list in 1023).
std::string CutToBytes(std::string_view text, size_t maxBytes);

// Windows only: the current user's system proxy text and bypass list (ANSI)
// from WinHTTP; false when the query fails or names no proxy server.
bool QuerySystemProxy(std::string& proxy, std::string& bypass);
