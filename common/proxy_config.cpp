#include "common/proxy_config.h"

#include <climits>

namespace {

// Reads a decimal number the way the C library's atoi does: leading blanks,
// an optional sign, digits up to the first other character; clamped to int32.
int32_t LeadingInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > INT32_MAX)
            return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -v : v);
}

}  // namespace

ProxyEndpoint SplitProxyText(std::string_view text) {
    ProxyEndpoint ep;
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        ep.host = std::string(text);
        return ep;
    }
    ep.host = std::string(text.substr(0, colon));
    ep.port = LeadingInt(text.substr(colon + 1));
    return ep;
}

std::string ProxyOptionText(std::string_view host, int32_t port) {
    return std::string(host) + ":" + std::to_string(port);
}

std::string CutToBytes(std::string_view text, size_t maxBytes) {
    return std::string(text.substr(0, maxBytes));
}
