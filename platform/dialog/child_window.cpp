#include "platform/dialog/child_window.h"

namespace platform {

ChildWindow::~ChildWindow() {
    Destroy();
}

bool ChildWindow::Create(HWND parent, int id, const RECT& rect, DWORD style, DWORD exStyle,
                         const wchar_t* className) {
    if (m_hwnd != nullptr) {
        return false;
    }
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &ChildWindow::StaticProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = className;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    HWND hwnd =
        ::CreateWindowExW(exStyle, className, L"", style | WS_CHILD, rect.left, rect.top,
                          rect.right - rect.left, rect.bottom - rect.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
    return hwnd != nullptr && m_hwnd == hwnd;
}

void ChildWindow::Destroy() {
    if (HWND hwnd = m_hwnd) {
        // Detach first: the handler must not run on an object being destroyed.
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        ::DestroyWindow(hwnd);
    }
}

LRESULT CALLBACK ChildWindow::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ChildWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<ChildWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<ChildWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    bool handled = self->HandleMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
    }
    return handled ? result : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace platform
