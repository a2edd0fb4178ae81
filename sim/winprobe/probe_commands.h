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
// not ask controls of other processes). An IP address control answers with
// its four fields joined by points ("" when all are blank).
std::optional<std::wstring> ControlText(HWND control);
std::optional<COLORREF> FaceColor(HWND control);

// Sets a control's text as typing would: WM_SETTEXT for an edit (which
// tells its parent EN_CHANGE itself); for an IP address control the dotted
// address through IPM_SETADDRESS ("" clears it), after which the control
// tells its parent EN_CHANGE. False when the control does not answer or the
// text is no dotted address.
bool SetControlText(HWND control, const std::wstring& text);

// The tick of a check box (BM_GETCHECK); nothing when it does not answer.
std::optional<bool> CheckState(HWND control);
// Clicks the check box (queued BM_CLICK, as a mouse click) when its tick
// differs from `checked`, and waits until it shows `checked`.
bool SetCheck(HWND control, bool checked, DWORD timeoutMs);

// Visible dialog-class windows that look like message boxes.
std::vector<MessageBoxInfo> ListMessageBoxes(const std::wstring& titleFilter);
// Presses `buttonId` of a box (0: OK if it has one, else its first button).
bool PressBoxButton(const MessageBoxInfo& box, int buttonId);

// Queued clicks so a click that opens a modal window does not block us.
bool ClickControl(HWND control);
bool PostCommand(HWND top, int id);
bool PostClose(HWND window);

// Selects entry `index` of drop-down list `combo` and tells its parent with
// CBN_SELCHANGE, as a user's choice in the list does (queued, like clicks).
// False when the list has no such entry.
bool SelectComboItem(HWND combo, int index);

// Moves a top-level window's outer top-left corner to (x, y), keeping its
// size; its outer rectangle afterwards in `placed`.
bool MoveWindowTo(HWND window, int x, int y, RECT& placed);

}  // namespace winprobe
