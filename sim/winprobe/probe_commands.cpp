#include "probe_commands.h"

#include <commctrl.h>

#include <cwchar>
#include <utility>

#include "platform/dialog/face_button.h"

namespace winprobe {
namespace {

constexpr UINT kSendTimeoutMs = 2000;  // a hung target must not hang the probe
constexpr DWORD kPollMs = 50;

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

// WM_GETTEXT with a time-out, marshalled across processes by the system.
std::optional<std::wstring> SendGetText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &length)) {
        return std::nullopt;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(),
                               reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &copied)) {
        return std::nullopt;
    }
    text.resize(copied < text.size() ? static_cast<size_t>(copied) : text.size() - 1);
    return text;
}

bool Matches(const TopWindow& w, const WindowQuery& q) {
    if (q.visibleOnly && !w.visible) {
        return false;
    }
    if (!q.title.empty() && w.title != q.title) {
        return false;
    }
    if (!q.titlePrefix.empty() && w.title.compare(0, q.titlePrefix.size(), q.titlePrefix) != 0) {
        return false;
    }
    if (!q.className.empty() && _wcsicmp(w.className.c_str(), q.className.c_str()) != 0) {
        return false;
    }
    return true;
}

struct Collect {
    const WindowQuery* query;
    std::vector<TopWindow>* out;
};

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM param) {
    auto* c = reinterpret_cast<Collect*>(param);
    TopWindow w;
    w.hwnd = hwnd;
    w.className = ClassOf(hwnd);
    w.title = SendGetText(hwnd).value_or(L"");
    w.visible = ::IsWindowVisible(hwnd) != FALSE;
    if (Matches(w, *c->query)) {
        c->out->push_back(std::move(w));
    }
    return TRUE;
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<ChildSearch*>(param);
    if (::GetDlgCtrlID(hwnd) == s->id) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct BoxScan {
    std::wstring text;
    std::vector<int> buttons;
    bool foreign = false;  // a child a message box never has
};

BOOL CALLBACK ScanBox(HWND hwnd, LPARAM param) {
    auto* scan = reinterpret_cast<BoxScan*>(param);
    std::wstring cls = ClassOf(hwnd);
    int id = ::GetDlgCtrlID(hwnd);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        // The message text: id 0xFFFF on Windows, 100 in Wine; the icon has no text.
        if (id == 0xFFFF || id == 100) {
            scan->text = SendGetText(hwnd).value_or(L"");
        }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        if (::IsWindowVisible(hwnd)) {
            scan->buttons.push_back(id);
        }
    } else {
        scan->foreign = true;
    }
    return TRUE;
}

}  // namespace

std::vector<TopWindow> ListTopWindows(const WindowQuery& query) {
    std::vector<TopWindow> out;
    Collect c{&query, &out};
    ::EnumWindows(&CollectTop, reinterpret_cast<LPARAM>(&c));
    return out;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        std::vector<TopWindow> found = ListTopWindows(query);
        // Prefer a visible one when several match.
        for (const auto& w : found) {
            if (w.visible) {
                return w.hwnd;
            }
        }
        if (!found.empty()) {
            return found.front().hwnd;
        }
        if (::GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        ::Sleep(kPollMs);
    }
}

bool WaitGone(HWND window, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (::IsWindow(window)) {
        if (::GetTickCount() - start >= timeoutMs) {
            return false;
        }
        ::Sleep(kPollMs);
    }
    return true;
}

HWND FindControl(HWND top, int id) {
    if (HWND direct = ::GetDlgItem(top, id)) {
        return direct;
    }
    ChildSearch s{id, nullptr};
    ::EnumChildWindows(top, &FindChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

namespace {

bool IsIpAddressControl(HWND control) {
    return _wcsicmp(ClassOf(control).c_str(), WC_IPADDRESSW) == 0;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

// The four field edits of an IP address control, left to right.
std::vector<HWND> AddressFields(HWND control) {
    std::vector<HWND> fields;
    ::EnumChildWindows(control, &CollectChild, reinterpret_cast<LPARAM>(&fields));
    std::vector<HWND> direct;
    for (HWND f : fields) {
        if (::GetParent(f) == control)
            direct.push_back(f);
    }
    // By position: the order of the children is the control's own business.
    for (size_t i = 1; i < direct.size(); ++i) {
        for (size_t j = i; j > 0; --j) {
            RECT a{}, b{};
            ::GetWindowRect(direct[j - 1], &a);
            ::GetWindowRect(direct[j], &b);
            if (b.left >= a.left)
                break;
            std::swap(direct[j - 1], direct[j]);
        }
    }
    return direct;
}

// "a.b.c.d" with each of its four numbers 0..255; false for anything else.
bool ParseDotted(const std::wstring& text, BYTE (&parts)[4]) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != L'.')
                return false;
            ++at;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[at] - L'0');
            ++at;
            ++digits;
        }
        if (digits == 0 || value > 255)
            return false;
        parts[i] = static_cast<BYTE>(value);
    }
    return at == text.size();
}

bool SendTimed(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                 result ? result : &ignored) != 0;
}

}  // namespace

std::optional<std::wstring> ControlText(HWND control) {
    if (control != nullptr && IsIpAddressControl(control)) {
        const std::vector<HWND> fields = AddressFields(control);
        if (fields.size() == 4) {
            std::wstring dotted;
            bool blank = true;
            for (size_t i = 0; i < fields.size(); ++i) {
                const std::optional<std::wstring> part = SendGetText(fields[i]);
                if (!part)
                    return std::nullopt;
                blank = blank && part->empty();
                dotted += (i > 0 ? L"." : L"") + *part;
            }
            return blank ? std::wstring() : dotted;
        }
    }
    return SendGetText(control);
}

bool SetControlText(HWND control, const std::wstring& text) {
    if (control == nullptr)
        return false;
    if (!IsIpAddressControl(control)) {
        DWORD_PTR done = 0;
        return SendTimed(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &done) &&
               done != FALSE;
    }
    if (text.empty())
        return SendTimed(control, IPM_CLEARADDRESS, 0, 0, nullptr);
    BYTE parts[4] = {};
    if (!ParseDotted(text, parts))
        return false;
    // The address travels in the message itself: nothing to marshal.
    return SendTimed(control, IPM_SETADDRESS, 0,
                     static_cast<LPARAM>(MAKEIPADDRESS(parts[0], parts[1], parts[2], parts[3])),
                     nullptr);
}

std::optional<bool> CheckState(HWND control) {
    DWORD_PTR state = 0;
    if (control == nullptr || !SendTimed(control, BM_GETCHECK, 0, 0, &state))
        return std::nullopt;
    return state == BST_CHECKED;
}

bool SetCheck(HWND control, bool checked, DWORD timeoutMs) {
    std::optional<bool> now = CheckState(control);
    if (!now)
        return false;
    if (*now == checked)
        return true;
    if (!ClickControl(control))
        return false;
    const DWORD start = ::GetTickCount();
    for (;;) {
        now = CheckState(control);
        if (now && *now == checked)
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(kPollMs);
    }
}

std::optional<COLORREF> FaceColor(HWND control) {
    if (auto fromProperty = platform::DecodeFaceColor(
            reinterpret_cast<DWORD_PTR>(::GetPropW(control, platform::kFaceColorProperty)))) {
        return fromProperty;
    }
    // A window that keeps no property may still answer the message.
    static const UINT query = ::RegisterWindowMessageW(platform::kFaceColorMessage);
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(control, query, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer)) {
        return std::nullopt;
    }
    return platform::DecodeFaceColor(answer);
}

std::vector<MessageBoxInfo> ListMessageBoxes(const std::wstring& titleFilter) {
    WindowQuery query;
    query.className = L"#32770";
    query.visibleOnly = true;
    query.title = titleFilter;
    std::vector<MessageBoxInfo> boxes;
    for (const TopWindow& w : ListTopWindows(query)) {
        BoxScan scan;
        ::EnumChildWindows(w.hwnd, &ScanBox, reinterpret_cast<LPARAM>(&scan));
        bool hasText =
            FindControl(w.hwnd, 0xFFFF) != nullptr || FindControl(w.hwnd, 100) != nullptr;
        if (scan.foreign || scan.buttons.empty() || !hasText) {
            continue;
        }
        boxes.push_back(MessageBoxInfo{w.hwnd, w.title, scan.text, scan.buttons});
    }
    return boxes;
}

bool PressBoxButton(const MessageBoxInfo& box, int buttonId) {
    int id = buttonId;
    if (id == 0) {
        id = box.buttons.front();
        for (int b : box.buttons) {
            if (b == IDOK) {
                id = IDOK;
            }
        }
    }
    HWND button = ::GetDlgItem(box.hwnd, id);
    return ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool ClickControl(HWND control) {
    return ::PostMessageW(control, BM_CLICK, 0, 0) != FALSE;
}

bool PostCommand(HWND top, int id) {
    HWND control = FindControl(top, id);
    HWND parent = control ? ::GetParent(control) : top;
    return ::PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(control)) != FALSE;
}

bool PostClose(HWND window) {
    return ::PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
}

bool SelectComboItem(HWND combo, int index) {
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &count) ||
        index < 0 || static_cast<DWORD_PTR>(index) >= count) {
        return false;
    }
    DWORD_PTR selected = 0;
    if (!::SendMessageTimeoutW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &selected) ||
        static_cast<LRESULT>(selected) != index) {
        return false;
    }
    // CB_SETCURSEL itself notifies nobody; a choice in the list does.
    const int id = ::GetDlgCtrlID(combo);
    return ::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(combo)) != FALSE;
}

bool MoveWindowTo(HWND window, int x, int y, RECT& placed) {
    if (!::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)) {
        return false;
    }
    // The owner's thread moves it; wait (bounded) until it has.
    const DWORD start = ::GetTickCount();
    do {
        if (::GetWindowRect(window, &placed) && placed.left == x && placed.top == y) {
            return true;
        }
        ::Sleep(kPollMs);
    } while (::GetTickCount() - start < kSendTimeoutMs);
    return false;
}

}  // namespace winprobe
