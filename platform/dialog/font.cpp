#include "platform/dialog/font.h"

#include <string>

namespace platform {

Font::Font(std::wstring_view face, int height, int weight, BYTE charset) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    // LOGFONT holds at most 31 characters and the terminator.
    size_t n = face.size() < LF_FACESIZE - 1 ? face.size() : LF_FACESIZE - 1;
    face.copy(lf.lfFaceName, n);
    lf.lfFaceName[n] = L'\0';
    m_font = ::CreateFontIndirectW(&lf);
}

void Font::Reset() {
    if (m_font != nullptr) {
        ::DeleteObject(m_font);
        m_font = nullptr;
    }
}

void Font::ApplyTo(HWND control, bool redraw) const {
    if (control != nullptr && m_font != nullptr) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font),
                       redraw ? TRUE : FALSE);
    }
}

std::wstring ControlFontFace(HWND control) {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    if (font == nullptr) {
        return {};
    }
    LOGFONTW lf{};
    if (::GetObjectW(font, sizeof(lf), &lf) == 0) {
        return {};
    }
    return lf.lfFaceName;
}

}  // namespace platform
