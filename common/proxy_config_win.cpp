// WinHTTP's view of the user's proxy settings (kept apart from WinINet,
// whose header declares the same names).
#include <windows.h>
#include <winhttp.h>

#include "common/proxy_config.h"
#include "platform/text.h"

bool QuerySystemProxy(std::string& proxy, std::string& bypass) {
    proxy.clear();
    bypass.clear();
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config))
        return false;
    if (config.lpszProxy && config.lpszProxy[0]) {
        proxy = platform::WideToAnsi(config.lpszProxy);
        if (config.lpszProxyBypass)
            bypass = platform::WideToAnsi(config.lpszProxyBypass);
    }
    for (LPWSTR text : {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass})
        if (text)
            ::GlobalFree(text);
    return !proxy.empty();
}
