// HTTPS client of the update server (WinINet): small form posts and gets
// with short text replies, through the configured or the user's proxy.
//
// A reply is a heap buffer with one zero byte appended; its length counts
// that terminator, so an empty reply has length 0 (and no buffer) and a
// reply of n bytes has length n + 1.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/settings_types.h"

inline constexpr wchar_t kHttpUserAgent[] = L"MarvestoClient";
inline constexpr uint16_t kHttpsPort = 443;
inline constexpr uint32_t kReplyChunkBytes = 1024;
inline constexpr uint32_t kUtf8CodePage = 65001;

// Posts `body` (UTF-16, sent as UTF-8) to `path` on `host` over HTTPS, or
// gets `path` when the body is null or empty. `proxy` null means direct.
// True when the server answered with status 200 (the reply may be empty).
// `contentType` and `charset` are optional (charset: 65001 when the content
// type names "utf-8", else 0). Failures show their message unless `silent`;
// a status other than 200 shows none.
bool HttpRequest(const wchar_t* path, const wchar_t* host, uint32_t& replyLength,
                 std::unique_ptr<char[]>& reply, std::wstring* contentType, uint32_t* charset,
                 const wchar_t* body, const ProxySettings* proxy, bool silent);

// GET of `path`; a UTF-8 reply is converted to the system ANSI code page.
// Never silent. True when the request succeeded and the reply is not empty.
bool HttpGet(const wchar_t* path, const wchar_t* host, uint32_t& replyLength,
             std::unique_ptr<char[]>& reply, const ProxySettings* proxy);
