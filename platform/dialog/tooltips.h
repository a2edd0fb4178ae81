// Tooltips for the controls of one window, by control id or by window handle.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

class ToolTips {
public:
    ToolTips() = default;
    ~ToolTips() { Destroy(); }
    ToolTips(const ToolTips&) = delete;
    ToolTips& operator=(const ToolTips&) = delete;

    // Creates the tooltip window for `owner` (a dialog); call from OnInitDialog.
    bool Create(HWND owner, int maxWidthPx = 400);
    void Destroy();
    HWND Handle() const { return m_tip; }

    // A tool with a fixed text (changeable with SetText), by window handle or by
    // the owner's control id.
    bool AddTool(HWND control, std::wstring_view text);
    bool AddTool(int controlId, std::wstring_view text);
    // A tool whose text the owner supplies each time it is shown
    // (Dialog::OnToolTipText receives the control id).
    bool AddCallbackTool(HWND control);
    bool AddCallbackTool(int controlId);

    bool SetText(HWND control, std::wstring_view text);
    bool SetText(int controlId, std::wstring_view text) {
        return SetText(::GetDlgItem(m_owner, controlId), text);
    }
    // The text registered for a tool (empty for callback tools or unknown ones).
    std::wstring Text(HWND control) const;
    std::wstring Text(int controlId) const { return Text(::GetDlgItem(m_owner, controlId)); }
    int Count() const;
    void Activate(bool active) const;

private:
    bool Add(HWND control, const wchar_t* text);

    HWND m_tip = nullptr;
    HWND m_owner = nullptr;
};

}  // namespace platform
