// What winprobe does to the windows of other processes: finding top-level
// windows and message boxes, reading control texts and face colours, and
// pressing buttons. Every wait is bounded by the caller's time-out.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace winprobe {

struct WindowQuery {
    std::wstring title;        // exact title; empty: any
    std::wstring titlePrefix;  // title starts with this; empty: any
    std::wstring className;    // exact class; empty: any
    bool visibleOnly = false;
};

struct TopWindow {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    bool visible = false;
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
    std::vector<int> buttons;  // control ids of its buttons (IDOK, IDYES...)
};

std::vector<TopWindow> ListTopWindows(const WindowQuery& query);
// Polls until a matching window exists or `timeoutMs` passes.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);
// Polls until `window` is gone; true when it is.
bool WaitGone(HWND window, DWORD timeoutMs);

// A control by id anywhere below `top` (nested controls included).
HWND FindControl(HWND top, int id);
// The text through WM_GETTEXT, which crosses processes (GetWindowText does
// not ask controls of other processes).
std::optional<std::wstring> ControlText(HWND control);
std::optional<COLORREF> FaceColor(HWND control);

// Visible dialog-class windows that look like message boxes.
std::vector<MessageBoxInfo> ListMessageBoxes(const std::wstring& titleFilter);
// Presses `buttonId` of a box (0: OK if it has one, else its first button).
bool PressBoxButton(const MessageBoxInfo& box, int buttonId);

// Queued clicks so a click that opens a modal window does not block us.
bool ClickControl(HWND control);
bool PostCommand(HWND top, int id);
bool PostClose(HWND window);

}  // namespace winprobe
