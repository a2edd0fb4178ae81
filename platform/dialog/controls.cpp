#include "platform/dialog/controls.h"

#include <commctrl.h>

#include <array>
#include <string>

namespace platform {

std::wstring WindowText(HWND window) {
    if (window == nullptr) {
        return {};
    }
    int length = ::GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SetWindowTextView(HWND window, std::wstring_view text) {
    if (window != nullptr) {
        std::wstring copy(text);
        ::SetWindowTextW(window, copy.c_str());
    }
}

void ButtonSetIcon(HWND button, HICON icon) {
    if (button == nullptr) {
        return;
    }
    LONG style = ::GetWindowLongW(button, GWL_STYLE);
    if ((style & BS_ICON) == 0) {
        ::SetWindowLongW(button, GWL_STYLE, style | BS_ICON);
    }
    ::SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

bool IsChecked(HWND checkBox) {
    return checkBox != nullptr &&
           ::SendMessageW(checkBox, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
}

void SetChecked(HWND checkBox, bool checked) {
    if (checkBox != nullptr) {
        ::SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void ComboClear(HWND combo) {
    if (combo != nullptr) {
        ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    }
}

int ComboAdd(HWND combo, std::wstring_view text) {
    if (combo == nullptr) {
        return -1;
    }
    std::wstring copy(text);
    LRESULT index = ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(copy.c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

int ComboCount(HWND combo) {
    if (combo == nullptr) {
        return 0;
    }
    LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

int ComboSelection(HWND combo) {
    if (combo == nullptr) {
        return -1;
    }
    LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return index < 0 ? -1 : static_cast<int>(index);
}

void ComboSetSelection(HWND combo, int index) {
    if (combo != nullptr) {
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index < 0 ? -1 : index), 0);
    }
}

std::wstring ComboItemText(HWND combo, int index) {
    if (combo == nullptr || index < 0) {
        return {};
    }
    LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                    reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SliderSetRange(HWND slider, int minimum, int maximum, bool redraw) {
    if (slider != nullptr) {
        ::SendMessageW(slider, TBM_SETRANGEMIN, FALSE, minimum);
        ::SendMessageW(slider, TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
    }
}

void SliderSetPosition(HWND slider, int position) {
    if (slider != nullptr) {
        ::SendMessageW(slider, TBM_SETPOS, TRUE, position);
    }
}

int SliderPosition(HWND slider) {
    return slider ? static_cast<int>(::SendMessageW(slider, TBM_GETPOS, 0, 0)) : 0;
}

namespace {

// "a.b.c.d", each number 0..255 in one to three digits, blanks around allowed.
bool ParseDotted(std::wstring_view text, std::array<BYTE, 4>& parts) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) {
        text.remove_suffix(1);
    }
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != L'.') {
                return false;
            }
            ++pos;
        }
        int value = 0;
        int digits = 0;
        while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9' && digits < 4) {
            value = value * 10 + (text[pos] - L'0');
            ++digits;
            ++pos;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return false;
        }
        parts[part] = static_cast<BYTE>(value);
    }
    return pos == text.size();
}

}  // namespace

bool IpAddressSet(HWND control, std::wstring_view dotted) {
    if (control == nullptr) {
        return false;
    }
    std::array<BYTE, 4> parts{};
    if (!ParseDotted(dotted, parts)) {
        IpAddressClear(control);
        return false;
    }
    ::SendMessageW(control, IPM_SETADDRESS, 0,
                   static_cast<LPARAM>(MAKEIPADDRESS(parts[0], parts[1], parts[2], parts[3])));
    return true;
}

std::wstring IpAddressText(HWND control) {
    if (control == nullptr) {
        return {};
    }
    DWORD address = 0;
    LRESULT filled = ::SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    if (filled <= 0) {
        return {};
    }
    return std::to_wstring(FIRST_IPADDRESS(address)) + L'.' +
           std::to_wstring(SECOND_IPADDRESS(address)) + L'.' +
           std::to_wstring(THIRD_IPADDRESS(address)) + L'.' +
           std::to_wstring(FOURTH_IPADDRESS(address));
}

void IpAddressClear(HWND control) {
    if (control != nullptr) {
        ::SendMessageW(control, IPM_CLEARADDRESS, 0, 0);
    }
}

void ProgressMarquee(HWND progress, bool on, UINT stepMs) {
    if (progress == nullptr) {
        return;
    }
    if (on) {
        LONG style = ::GetWindowLongW(progress, GWL_STYLE);
        if ((style & PBS_MARQUEE) == 0) {
            ::SetWindowLongW(progress, GWL_STYLE, style | PBS_MARQUEE);
        }
    }
    ::SendMessageW(progress, PBM_SETMARQUEE, on ? TRUE : FALSE, stepMs);
}

}  // namespace platform
