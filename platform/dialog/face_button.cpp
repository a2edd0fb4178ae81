// Face-coloured buttons. A face button is an owner-drawn push button with two
// window subclasses: one on the button (its colours, the published face
// colour, drawing) and one on its parent, which hands WM_DRAWITEM back to the
// button so that any parent window works without code of its own.
#include "platform/dialog/face_button.h"

#include <commctrl.h>

#include <string>

#include "platform/dialog/controls.h"

namespace platform {
namespace {

constexpr UINT_PTR kSubclassId = 0x53465142;  // "SFQB": ours, on both windows

// The button's FaceState (a pointer of this process), beside the published colour.
constexpr wchar_t kStateProperty[] = L"SurveyFaceButtonState";

struct FaceState {
    COLORREF face;
    COLORREF text;
};

UINT FaceColorMessage() {
    static const UINT message = ::RegisterWindowMessageW(kFaceColorMessage);
    return message;
}

// Parent -> button: "draw yourself", lParam the DRAWITEMSTRUCT.
UINT DrawMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"SurveyFaceButtonDraw");
    return message;
}

FaceState* StateOf(HWND button);

void Publish(HWND button, COLORREF face) {
    ::SetPropW(button, kFaceColorProperty,
               reinterpret_cast<HANDLE>(static_cast<DWORD_PTR>(kFaceColorTag | (face & 0xFFFFFF))));
}

void DrawFace(HWND button, const FaceState& state, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    bool pressed = (item.itemState & ODS_SELECTED) != 0;
    bool disabled = (item.itemState & ODS_DISABLED) != 0;

    HBRUSH brush = ::CreateSolidBrush(state.face);
    ::FillRect(dc, &rect, brush);
    ::DeleteObject(brush);
    ::DrawEdge(dc, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    std::wstring text = WindowText(button);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(button, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? ::SelectObject(dc, font) : nullptr;
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = ::SetTextColor(dc, disabled ? ::GetSysColor(COLOR_GRAYTEXT) : state.text);

    RECT textRect = rect;
    ::InflateRect(&textRect, -2, -2);
    if (pressed) {
        ::OffsetRect(&textRect, 1, 1);
    }
    LONG style = ::GetWindowLongW(button, GWL_STYLE);
    if ((style & BS_MULTILINE) != 0) {
        // Word-wrapped and centred vertically.
        RECT measure = textRect;
        int height = ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure,
                                 DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
        int free = (textRect.bottom - textRect.top) - height;
        if (free > 0) {
            textRect.top += free / 2;
        }
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_CENTER | DT_WORDBREAK);
    } else {
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    ::SetTextColor(dc, oldColor);
    ::SetBkMode(dc, oldMode);
    if (oldFont != nullptr) {
        ::SelectObject(dc, oldFont);
    }
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
        RECT focus = rect;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(dc, &focus);
    }
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR data) {
    auto* state = reinterpret_cast<FaceState*>(data);
    if (message == FaceColorMessage()) {
        return static_cast<LRESULT>(kFaceColorTag | (state->face & 0xFFFFFF));
    }
    if (message == DrawMessage()) {
        DrawFace(hwnd, *state, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    }
    switch (message) {
        case WM_LBUTTONDBLCLK:
            // An owner-drawn button reports a quick second click as a double
            // click; ours are push buttons, so each click is a click.
            return ::DefSubclassProc(hwnd, WM_LBUTTONDOWN, wParam, lParam);
        case BM_SETSTYLE:
            // The dialog manager toggles default/non-default push styles; keep
            // the button owner-drawn.
            return ::DefSubclassProc(hwnd, message, (wParam & ~BS_TYPEMASK) | BS_OWNERDRAW, lParam);
        case WM_SETTEXT:
        case WM_ENABLE: {
            LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
            ::InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_NCDESTROY:
            ::RemovePropW(hwnd, kFaceColorProperty);
            ::RemovePropW(hwnd, kStateProperty);
            ::RemoveWindowSubclass(hwnd, &ButtonProc, id);
            delete state;
            return ::DefSubclassProc(hwnd, message, wParam, lParam);
        default:
            return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR) {
    if (message == WM_DRAWITEM && lParam != 0) {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.CtlType == ODT_BUTTON && StateOf(item.hwndItem) != nullptr) {
            ::SendMessageW(item.hwndItem, DrawMessage(), 0, lParam);
            return TRUE;
        }
    } else if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &ParentProc, id);
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

FaceState* StateOf(HWND button) {
    // Only meaningful in the process that owns the button.
    if (button == nullptr) {
        return nullptr;
    }
    DWORD owner = 0;
    ::GetWindowThreadProcessId(button, &owner);
    if (owner != ::GetCurrentProcessId()) {
        return nullptr;
    }
    return static_cast<FaceState*>(::GetPropW(button, kStateProperty));
}

// The button's state, attaching it with the system colours when it is not a
// face button yet.
FaceState* EnsureState(HWND button) {
    if (FaceState* state = StateOf(button)) {
        return state;
    }
    FaceButton attached;
    if (!attached.Attach(button)) {
        return nullptr;
    }
    return StateOf(button);
}

}  // namespace

bool FaceButton::Attach(HWND button, COLORREF face, COLORREF text) {
    if (button == nullptr || !::IsWindow(button)) {
        return false;
    }
    m_hwnd = button;
    if (FaceState* state = StateOf(button)) {
        state->face = face;
        state->text = text;
    } else {
        auto* fresh = new FaceState{face, text};
        if (!::SetWindowSubclass(button, &ButtonProc, kSubclassId,
                                 reinterpret_cast<DWORD_PTR>(fresh))) {
            delete fresh;
            return false;
        }
        ::SetPropW(button, kStateProperty, fresh);
        LONG style = ::GetWindowLongW(button, GWL_STYLE);
        ::SetWindowLongW(button, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
        if (HWND parent = ::GetParent(button)) {
            // Idempotent: installing it again for a second button only updates it.
            ::SetWindowSubclass(parent, &ParentProc, kSubclassId, 0);
        }
    }
    Publish(button, face);
    ::InvalidateRect(button, nullptr, TRUE);
    return true;
}

void FaceButton::SetFaceColor(COLORREF face) const {
    FaceState* state = EnsureState(m_hwnd);
    if (state == nullptr || state->face == face) {
        return;
    }
    state->face = face;
    Publish(m_hwnd, face);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void FaceButton::SetTextColor(COLORREF text) const {
    FaceState* state = EnsureState(m_hwnd);
    if (state == nullptr || state->text == text) {
        return;
    }
    state->text = text;
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void FaceButton::SetText(std::wstring_view text) const {
    if (m_hwnd != nullptr && WindowText(m_hwnd) != text) {
        SetWindowTextView(m_hwnd, text);  // the subclass repaints
    }
}

std::optional<COLORREF> FaceButton::FaceColor() const {
    if (FaceState* state = StateOf(m_hwnd)) {
        return state->face;
    }
    return std::nullopt;
}

std::optional<COLORREF> FaceButton::TextColor() const {
    if (FaceState* state = StateOf(m_hwnd)) {
        return state->text;
    }
    return std::nullopt;
}

std::optional<COLORREF> ReadFaceColor(HWND window) {
    if (window == nullptr) {
        return std::nullopt;
    }
    return DecodeFaceColor(reinterpret_cast<DWORD_PTR>(::GetPropW(window, kFaceColorProperty)));
}

}  // namespace platform
