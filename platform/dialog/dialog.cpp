// The dialog class: creation from templates, the modal loop, and the routing
// of window messages to the virtual handlers.
#include "platform/dialog/dialog.h"

#include "platform/dialog/dialog_internal.h"

#include <cwchar>
#include <climits>
#include <vector>

namespace platform {
namespace {

using dialog_internal::EndDialogMessage;

// Modeless dialogs of this thread, for RunMessageLoop.
thread_local std::vector<Dialog*> t_modeless;

void ForgetModeless(Dialog* dialog) {
    for (auto it = t_modeless.begin(); it != t_modeless.end(); ++it) {
        if (*it == dialog) {
            t_modeless.erase(it);
            return;
        }
    }
}

// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return true;
        default:
            return false;
    }
}

bool IsTrackbar(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return ::_wcsicmp(name, TRACKBAR_CLASSW) == 0;
}

RECT AreaRect(ScreenArea area) {
    switch (area) {
        case ScreenArea::WorkArea:
            return WorkAreaRect();
        case ScreenArea::Virtual:
            return VirtualScreenRect();
        default:
            return PrimaryScreenRect();
    }
}

}  // namespace

bool InitCommonControlClasses(DWORD classes) {
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof(init);  // 8 bytes
    init.dwICC = classes;
    return ::InitCommonControlsEx(&init) != FALSE;
}

Dialog::Dialog(UINT templateId, HINSTANCE instance)
    : m_templateId(templateId), m_instance(instance ? instance : ::GetModuleHandleW(nullptr)) {}

Dialog::~Dialog() {
    // A modeless dialog still open goes with its object; the handlers must not
    // run on a half-destroyed object, so detach first.
    if (HWND hwnd = m_hwnd.load()) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        ForgetModeless(this);
        ::DestroyWindow(hwnd);
    }
}

INT_PTR Dialog::DoModal(HWND owner) {
    if (IsOpen()) {
        return -1;
    }
    m_modal = true;
    m_ended = false;
    m_result = IDCANCEL;
    HWND hwnd = ::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_templateId), owner,
                                     &Dialog::StaticProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) {
        m_modal = false;
        return -1;
    }
    bool ownerDisabled = false;
    if (owner != nullptr && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }
    if (!m_ended && m_hwnd.load() != nullptr) {
        ::ShowWindow(hwnd, SW_SHOWNORMAL);
        if (m_onInitialized) {
            m_onInitialized(hwnd);
        }
    }
    MSG msg;
    while (!m_ended && m_hwnd.load() != nullptr) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // Someone ended the thread's loop: end ours and let the outer loop see it too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_result = IDCANCEL;
            break;
        }
        if (!RouteMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    // Re-enable the owner before the dialog goes so that it gets the activation.
    if (ownerDisabled) {
        ::EnableWindow(owner, TRUE);
    }
    if (m_hwnd.load() != nullptr) {
        ::DestroyWindow(hwnd);
    }
    m_modal = false;
    return m_result;
}

bool Dialog::Create(HWND owner) {
    if (IsOpen()) {
        return false;
    }
    m_modal = false;
    m_ended = false;
    HWND hwnd = ::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_templateId), owner,
                                     &Dialog::StaticProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) {
        return false;
    }
    if (m_hwnd.load() != nullptr) {
        t_modeless.push_back(this);
    }
    return m_hwnd.load() != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    m_result = result;
    HWND hwnd = m_hwnd.load();
    if (m_modal) {
        m_ended = true;
        if (hwnd != nullptr) {
            // Wakes the loop if it is waiting in GetMessage.
            ::PostMessageW(hwnd, WM_NULL, 0, 0);
        }
    } else if (hwnd != nullptr) {
        ::DestroyWindow(hwnd);
    }
}

void Dialog::PostEndDialog(INT_PTR result) const {
    if (HWND hwnd = m_hwnd.load()) {
        ::PostMessageW(hwnd, EndDialogMessage(), static_cast<WPARAM>(result), 0);
    }
}

bool Dialog::RouteMessage(MSG& msg) {
    HWND hwnd = m_hwnd.load();
    if (hwnd == nullptr || (msg.hwnd != hwnd && !::IsChild(hwnd, msg.hwnd))) {
        return false;
    }
    if (HandleKey(msg)) {
        return true;
    }
    return ::IsDialogMessageW(hwnd, &msg) != FALSE;
}

bool Dialog::HandleKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) {
        return false;
    }
    KeyAction action;
    if (msg.wParam == VK_RETURN) {
        action = m_enterAction;
    } else if (msg.wParam == VK_ESCAPE) {
        action = m_escapeAction;
    } else {
        return false;
    }
    if (action == KeyAction::Default) {
        return false;
    }
    if (msg.wParam == VK_RETURN) {
        // Enter on a focused push button other than OK still presses that
        // button; only the OK that Enter would give is ignored.
        HWND dialog = m_hwnd.load();
        HWND focus = ::GetFocus();
        int id = IDOK;
        if (focus != nullptr && ::IsChild(dialog, focus) &&
            (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0) {
            id = ::GetDlgCtrlID(focus);
        } else if (LRESULT def = ::SendMessageW(dialog, DM_GETDEFID, 0, 0);
                   HIWORD(def) == DC_HASDEFID) {
            id = LOWORD(def);
        }
        if (id != IDOK) {
            return false;
        }
    }
    // A control that wants the key itself (an open drop-down list, a
    // multi-line edit) still gets it.
    LRESULT code = ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam,
                                  reinterpret_cast<LPARAM>(const_cast<MSG*>(&msg)));
    if ((code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0) {
        return false;
    }
    return true;  // swallowed
}

HWND Dialog::Item(int id) const {
    HWND hwnd = m_hwnd.load();
    return hwnd ? ::GetDlgItem(hwnd, id) : nullptr;
}

std::wstring Dialog::ItemText(int id) const {
    return WindowText(Item(id));
}

void Dialog::SetItemText(int id, std::wstring_view text) const {
    SetWindowTextView(Item(id), text);
}

int Dialog::ItemInt(int id) const {
    // Like the C library's conversion: leading blanks, a sign, digits; the
    // first other character ends the number ("12.7" gives 12, "abc" gives 0).
    std::wstring text = ItemText(id);
    long value = std::wcstol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

void Dialog::SetItemInt(int id, int value) const {
    SetItemText(id, std::to_wstring(value));
}

void Dialog::ShowItem(int id, bool show) const {
    if (HWND item = Item(id)) {
        ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
    }
}

void Dialog::EnableItem(int id, bool enable) const {
    if (HWND item = Item(id)) {
        ::EnableWindow(item, enable ? TRUE : FALSE);
    }
}

void Dialog::MoveItem(int id, int x, int y, int width, int height, bool repaint) const {
    if (HWND item = Item(id)) {
        ::MoveWindow(item, x, y, width, height, repaint ? TRUE : FALSE);
    }
}

void Dialog::SetTitle(std::wstring_view title) const {
    SetWindowTextView(m_hwnd.load(), title);
}

std::wstring Dialog::Title() const {
    return WindowText(m_hwnd.load());
}

void Dialog::SetIcons(HICON big, HICON small) const {
    if (HWND hwnd = m_hwnd.load()) {
        ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
        ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
}

void Dialog::SetProgramIcons() const {
    // Icon resource 1: the one the shell shows for the executable too.
    constexpr WORD kProgramIconId = 1;
    HINSTANCE self = ::GetModuleHandleW(nullptr);
    auto load = [self](int widthMetric, int heightMetric) {
        // Shared icons belong to the system: nothing to destroy.
        HANDLE icon = ::LoadImageW(self, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                                   ::GetSystemMetrics(widthMetric),
                                   ::GetSystemMetrics(heightMetric), LR_SHARED);
        return icon ? static_cast<HICON>(icon) : ::LoadIconW(nullptr, IDI_APPLICATION);
    };
    SetIcons(load(SM_CXICON, SM_CYICON), load(SM_CXSMICON, SM_CYSMICON));
}

void Dialog::PostCommand(int id) const {
    if (HWND hwnd = m_hwnd.load()) {
        ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, id)));
    }
}

bool Dialog::SetTimer(UINT_PTR id, UINT periodMs) const {
    HWND hwnd = m_hwnd.load();
    return hwnd != nullptr && ::SetTimer(hwnd, id, periodMs, nullptr) != 0;
}

void Dialog::KillTimer(UINT_PTR id) const {
    if (HWND hwnd = m_hwnd.load()) {
        ::KillTimer(hwnd, id);
    }
}

bool Dialog::AddAboutItem(std::wstring_view caption, UINT commandId) {
    HWND hwnd = m_hwnd.load();
    // System commands of our own must stay clear of SC_* (0xF000 and up), and
    // the system uses the low four bits of a command internally.
    if (hwnd == nullptr || commandId == 0 || commandId >= 0xF000 || (commandId & 0xF) != 0) {
        return false;
    }
    HMENU menu = ::GetSystemMenu(hwnd, FALSE);
    if (menu == nullptr) {
        return false;
    }
    std::wstring text(caption);
    if (!::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) ||
        !::AppendMenuW(menu, MF_STRING, commandId, text.c_str())) {
        return false;
    }
    m_aboutCommand = commandId;
    return true;
}

void Dialog::OnMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler) {
    if (handler) {
        m_messageHandlers[message] = std::move(handler);
    } else {
        m_messageHandlers.erase(message);
    }
}

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (self == nullptr) {
        return FALSE;
    }
    LRESULT result = 0;
    bool handled = self->HandleMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
        ForgetModeless(self);
        return FALSE;
    }
    if (!handled) {
        return FALSE;
    }
    if (ReturnsResultDirectly(message)) {
        return static_cast<INT_PTR>(result);
    }
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (PreHandleMessage(message, wParam, lParam, result)) {
        return true;
    }
    if (auto it = m_messageHandlers.find(message); it != m_messageHandlers.end()) {
        // Copy: the handler may replace itself.
        auto handler = it->second;
        result = handler(wParam, lParam);
        return true;
    }
    if (message == EndDialogMessage()) {
        EndDialog(static_cast<INT_PTR>(wParam));
        return true;
    }
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog() ? TRUE : FALSE;
            return true;
        case WM_COMMAND: {
            int id = LOWORD(wParam);
            int code = HIWORD(wParam);
            HWND control = reinterpret_cast<HWND>(lParam);
            if (OnCommand(id, code, control)) {
                return true;
            }
            if (id == IDOK) {
                OnOk();
                return true;
            }
            if (id == IDCANCEL) {
                OnCancel();
                return true;
            }
            return false;
        }
        case WM_NOTIFY: {
            NMHDR& header = *reinterpret_cast<NMHDR*>(lParam);
            bool handled = false;
            result = OnNotify(static_cast<int>(header.idFrom), header, handled);
            if (handled) {
                return true;
            }
            if (header.code == TTN_GETDISPINFOW) {
                auto& info = *reinterpret_cast<NMTTDISPINFOW*>(lParam);
                HWND tool = (info.uFlags & TTF_IDISHWND) != 0
                                ? reinterpret_cast<HWND>(info.hdr.idFrom)
                                : nullptr;
                int controlId = tool ? ::GetDlgCtrlID(tool) : static_cast<int>(info.hdr.idFrom);
                m_toolTipBuffer = OnToolTipText(controlId);
                info.lpszText = m_toolTipBuffer.data();
                info.hinst = nullptr;
                result = 0;
                return true;
            }
            return false;
        }
        case WM_NOTIFYFORMAT:
            // Our controls talk to us in UTF-16.
            result = NFR_UNICODE;
            return true;
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            return true;
        case WM_HSCROLL:
        case WM_VSCROLL: {
            HWND bar = reinterpret_cast<HWND>(lParam);
            if (bar == nullptr) {
                return false;
            }
            int code = LOWORD(wParam);
            int position =
                IsTrackbar(bar) ? SliderPosition(bar) : static_cast<short>(HIWORD(wParam));
            OnScroll(::GetDlgCtrlID(bar), bar, code, position);
            return true;
        }
        case WM_SIZE:
            OnSize(LOWORD(lParam), HIWORD(lParam));
            return false;
        case WM_CLOSE:
            OnClose();
            return true;
        case WM_DESTROY:
            OnDestroy();
            return false;
        case WM_SYSCOMMAND:
            if (m_aboutCommand != 0 && (wParam & 0xFFF0) == m_aboutCommand) {
                OnAbout();
                return true;
            }
            return false;
        case WM_MOVING:
            if (m_keepOnScreen && lParam != 0) {
                ClampRectToArea(*reinterpret_cast<RECT*>(lParam), AreaRect(m_screenArea));
                result = TRUE;
                return true;
            }
            return false;
        default:
            return false;
    }
}

int RunMessageLoop() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // A copy: routing may end (and unlist) a dialog.
        std::vector<Dialog*> dialogs = t_modeless;
        bool routed = false;
        for (Dialog* dialog : dialogs) {
            if (dialog->RouteMessage(msg)) {
                routed = true;
                break;
            }
        }
        if (!routed) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace platform
