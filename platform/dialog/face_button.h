// Face-coloured push buttons: owner-drawn buttons whose face and text colours
// are set at run time. The programs use them as coloured indicators and
// labels (red fault, green good, yellow stale...).
//
// The face colour is also published for test drivers in other processes:
// - window property kFaceColorProperty holds kFaceColorTag | COLORREF;
// - the registered message kFaceColorMessage answers the same value.
// A control that is not a face button has no property and answers 0.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

namespace platform {

inline constexpr wchar_t kFaceColorProperty[] = L"SurveyFaceColor";
inline constexpr wchar_t kFaceColorMessage[] = L"SurveyGetFaceColor";
// Set in the published value so that a black face (0) differs from "none".
inline constexpr DWORD kFaceColorTag = 0x01000000;

// Decodes a published value (the property or the message's answer).
inline std::optional<COLORREF> DecodeFaceColor(DWORD_PTR published) {
    if ((published & kFaceColorTag) == 0) {
        return std::nullopt;
    }
    return static_cast<COLORREF>(published & 0x00FFFFFF);
}

// A handle on a face button; the state lives with the window, so copies are
// cheap and the handle may outlive the window (its calls then do nothing).
// Use it on the thread that owns the button (the dialog's thread).
class FaceButton {
public:
    FaceButton() = default;
    explicit FaceButton(HWND button) : m_hwnd(button) {}

    // Turns an existing push button (typically from a dialog template) into a
    // face button with the given colours. Returns false if `button` is not a window.
    bool Attach(HWND button, COLORREF face = ::GetSysColor(COLOR_BTNFACE),
                COLORREF text = ::GetSysColor(COLOR_BTNTEXT));
    HWND Handle() const { return m_hwnd; }

    // Each setter repaints the button when the value changes.
    void SetFaceColor(COLORREF face) const;
    void SetTextColor(COLORREF text) const;
    void SetText(std::wstring_view text) const;
    std::optional<COLORREF> FaceColor() const;
    std::optional<COLORREF> TextColor() const;

private:
    HWND m_hwnd = nullptr;
};

// Reads the face colour of any window, also one of another process (through
// the property). nullopt: not a face button.
std::optional<COLORREF> ReadFaceColor(HWND window);

}  // namespace platform
