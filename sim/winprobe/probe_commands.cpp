#include "probe_commands.h"

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

std::optional<std::wstring> ControlText(HWND control) {
    return SendGetText(control);
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

}  // namespace winprobe
