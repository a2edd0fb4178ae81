// Settings records that cross between the start-up services.
#pragma once

#include <cstdint>
#include <string>

// One database connection's parameters. Narrow texts are in the system ANSI
// code page (the server names are plain ASCII host names in practice).
struct DbConnectionParams {
    std::string server;
    int32_t port = 0;
    std::string schema;
    std::string user;
    std::string password;
};

// The proxy block the HTTP client takes as it is. Texts hold at most 255
// UTF-16 characters and are zero-terminated.
struct ProxySettings {
    int32_t useProxy = 0;  // 0 direct, 1 the configured proxy, -1 the user's system proxy
    char16_t server[256] = {};
    uint16_t port = 0;
    char16_t login[256] = {};
    char16_t password[256] = {};
};
