#include "platform/dialog/window_place.h"

namespace platform {

bool PlaceWithClientSize(HWND window, int x, int y, int clientWidth, int clientHeight) {
    if (window == nullptr) {
        return false;
    }
    RECT rect{0, 0, clientWidth, clientHeight};
    DWORD style = static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE));
    BOOL hasMenu = (style & WS_CHILD) == 0 && ::GetMenu(window) != nullptr;
    if (!::AdjustWindowRectEx(&rect, style, hasMenu, exStyle)) {
        return false;
    }
    return ::SetWindowPos(window, nullptr, x, y, rect.right - rect.left, rect.bottom - rect.top,
                          SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool SetClientSize(HWND window, int clientWidth, int clientHeight) {
    RECT current{};
    if (window == nullptr || !::GetWindowRect(window, &current)) {
        return false;
    }
    POINT topLeft{current.left, current.top};
    if ((::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0) {
        ::ScreenToClient(::GetParent(window), &topLeft);
    }
    return PlaceWithClientSize(window, topLeft.x, topLeft.y, clientWidth, clientHeight);
}

SIZE ClientSize(HWND window) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

RECT PrimaryScreenRect() {
    return RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

RECT WorkAreaRect() {
    RECT rect{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rect, 0)) {
        return PrimaryScreenRect();
    }
    return rect;
}

RECT VirtualScreenRect() {
    int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    int y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void ClampRectToArea(RECT& proposed, const RECT& area) {
    PixelRect clamped =
        ClampToArea(PixelRect{proposed.left, proposed.top, proposed.right, proposed.bottom},
                    PixelRect{area.left, area.top, area.right, area.bottom});
    proposed = RECT{clamped.left, clamped.top, clamped.right, clamped.bottom};
}

}  // namespace platform
