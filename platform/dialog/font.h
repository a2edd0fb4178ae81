// Fonts for controls, owned RAII-style.
#pragma once

#include <windows.h>

#include <string_view>
#include <utility>

namespace platform {

class Font {
public:
    Font() = default;
    // `height` in logical units as LOGFONT takes it (negative: character height),
    // `weight` FW_* (600 semi-bold), `charset` (204 = RUSSIAN_CHARSET).
    Font(std::wstring_view face, int height, int weight = FW_NORMAL,
         BYTE charset = DEFAULT_CHARSET);
    ~Font() { Reset(); }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    Font(Font&& other) noexcept : m_font(std::exchange(other.m_font, nullptr)) {}
    Font& operator=(Font&& other) noexcept {
        if (this != &other) {
            Reset();
            m_font = std::exchange(other.m_font, nullptr);
        }
        return *this;
    }

    HFONT Get() const { return m_font; }
    explicit operator bool() const { return m_font != nullptr; }
    void Reset();

    // Gives the font to a control (WM_SETFONT). The font must outlive the control's use of it.
    void ApplyTo(HWND control, bool redraw = true) const;

private:
    HFONT m_font = nullptr;
};

// The face name of the font a control uses (empty: the system font).
std::wstring ControlFontFace(HWND control);

}  // namespace platform
