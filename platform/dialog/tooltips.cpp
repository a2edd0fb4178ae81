#include "platform/dialog/tooltips.h"

#include <commctrl.h>

#include <vector>

namespace platform {
namespace {

// The version 2 layout: understood by every comctl32 version, also the old
// one loaded by programs without a manifest.
TTTOOLINFOW MakeInfo(HWND owner, HWND control) {
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    return info;
}

}  // namespace

bool ToolTips::Create(HWND owner, int maxWidthPx) {
    Destroy();
    m_owner = owner;
    m_tip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    if (m_tip == nullptr) {
        return false;
    }
    ::SetWindowPos(m_tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // A width makes long texts wrap into several lines instead of one long one.
    ::SendMessageW(m_tip, TTM_SETMAXTIPWIDTH, 0, maxWidthPx);
    return true;
}

void ToolTips::Destroy() {
    if (m_tip != nullptr) {
        ::DestroyWindow(m_tip);
        m_tip = nullptr;
    }
}

bool ToolTips::Add(HWND control, const wchar_t* text) {
    if (m_tip == nullptr || control == nullptr) {
        return false;
    }
    TTTOOLINFOW info = MakeInfo(m_owner, control);
    info.lpszText = const_cast<wchar_t*>(text);
    return ::SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != FALSE;
}

bool ToolTips::AddTool(HWND control, std::wstring_view text) {
    std::wstring copy(text);  // the tooltip keeps its own copy
    return Add(control, copy.c_str());
}

bool ToolTips::AddTool(int controlId, std::wstring_view text) {
    return AddTool(::GetDlgItem(m_owner, controlId), text);
}

bool ToolTips::AddCallbackTool(HWND control) {
    return Add(control, LPSTR_TEXTCALLBACKW);
}

bool ToolTips::AddCallbackTool(int controlId) {
    return AddCallbackTool(::GetDlgItem(m_owner, controlId));
}

bool ToolTips::SetText(HWND control, std::wstring_view text) {
    if (m_tip == nullptr || control == nullptr) {
        return false;
    }
    std::wstring copy(text);
    TTTOOLINFOW info = MakeInfo(m_owner, control);
    info.lpszText = copy.data();
    ::SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    return true;
}

std::wstring ToolTips::Text(HWND control) const {
    if (m_tip == nullptr || control == nullptr) {
        return {};
    }
    // TTM_GETTEXT has no size argument; texts are limited to 1024 characters
    // by the tooltip itself, so this buffer is large enough.
    std::vector<wchar_t> buffer(1025, L'\0');
    TTTOOLINFOW info = MakeInfo(m_owner, control);
    info.lpszText = buffer.data();
    ::SendMessageW(m_tip, TTM_GETTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    if (info.lpszText == nullptr || info.lpszText == LPSTR_TEXTCALLBACKW) {
        return {};
    }
    buffer.back() = L'\0';
    return buffer.data();
}

int ToolTips::Count() const {
    return m_tip ? static_cast<int>(::SendMessageW(m_tip, TTM_GETTOOLCOUNT, 0, 0)) : 0;
}

void ToolTips::Activate(bool active) const {
    if (m_tip != nullptr) {
        ::SendMessageW(m_tip, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
    }
}

}  // namespace platform
