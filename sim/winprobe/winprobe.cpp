// winprobe: drives the suite's windows from outside, for end-to-end tests.
// Prints plain UTF-8 lines; exit code 0 on success, 1 when the window, the
// control or the box was not found in time, 2 on a usage error.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "probe_commands.h"

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;

const char kUsage[] =
    "usage: winprobe COMMAND [options]\n"
    "  list                      top-level windows: handle, class, title (tab-separated)\n"
    "  wait                      wait for the window; prints its title\n"
    "  text --id N               the text of control N\n"
    "  visible --id N            1 when control N is shown, else 0\n"
    "  face --id N               the face colour of button N as 0xBBGGRR, or none\n"
    "  click --id N [--command]  press button N (BM_CLICK; --command: WM_COMMAND to its parent)\n"
    "  set-text --id N --value T type T into edit N (WM_SETTEXT), or set IP address control N\n"
    "                            to the dotted address T (IPM_SETADDRESS; \"\" clears it)\n"
    "  check --id N [--value 0|1] the tick of check box N (1 or 0); with --value, click it\n"
    "                            until it shows that tick\n"
    "  controls                  the window's controls: id, class, text[, face colour]\n"
    "  select --id N --index K   choose entry K of drop-down list N (CB_SETCURSEL, then\n"
    "                            CBN_SELCHANGE to its parent); prints the list's text\n"
    "  move --x X --y Y          move the window's top-left corner to X, Y; prints\n"
    "                            left top width height\n"
    "  close [--wait-gone]       send WM_CLOSE to the window (and wait until it is gone)\n"
    "  boxes [--title T]         message boxes: title<TAB>text\n"
    "  box-ok [--title T] [--button N]\n"
    "                            wait for a message box, print its text, press OK (or N)\n"
    "window: --title T | --title-prefix P | --class C; --timeout MS (default 10000)\n"
    "texts: line breaks are printed as \\n and tabs as \\t\n";

struct Options {
    std::wstring command;
    winprobe::WindowQuery query;
    int id = -1;
    int button = 0;
    std::wstring value;
    bool hasValue = false;
    int index = -1;
    bool hasX = false, hasY = false;
    int x = 0, y = 0;
    DWORD timeoutMs = kDefaultTimeoutMs;
    bool viaCommand = false;
    bool waitGone = false;
};

void WriteUtf8(HANDLE out, const std::wstring& text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Line(const std::wstring& text) {
    WriteUtf8(::GetStdHandle(STD_OUTPUT_HANDLE), text + L"\n");
}

void Error(const std::wstring& text) {
    WriteUtf8(::GetStdHandle(STD_ERROR_HANDLE), L"winprobe: " + text + L"\n");
}

// One value per line: line breaks and tabs inside a text are escaped.
std::wstring Escape(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r') {
            if (i + 1 < text.size() && text[i + 1] == L'\n') {
                ++i;
            }
            out += L"\\n";
        } else if (c == L'\n') {
            out += L"\\n";
        } else if (c == L'\t') {
            out += L"\\t";
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring Hex(unsigned long long value, int digits) {
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"0x%0*llX", digits, value);
    return buffer;
}

bool ParseInt(const wchar_t* text, long long& value) {
    wchar_t* end = nullptr;
    value = std::wcstoll(text, &end, 0);
    return end != text && *end == L'\0';
}

bool Parse(int argc, wchar_t** argv, Options& o) {
    if (argc < 2) {
        return false;
    }
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::wstring a = argv[i];
        auto next = [&](std::wstring& into) {
            if (i + 1 >= argc) {
                return false;
            }
            into = argv[++i];
            return true;
        };
        auto nextInt = [&](long long& into) { return i + 1 < argc && ParseInt(argv[++i], into); };
        long long n = 0;
        if (a == L"--title") {
            if (!next(o.query.title))
                return false;
        } else if (a == L"--title-prefix") {
            if (!next(o.query.titlePrefix))
                return false;
        } else if (a == L"--class") {
            if (!next(o.query.className))
                return false;
        } else if (a == L"--id") {
            if (!nextInt(n))
                return false;
            o.id = static_cast<int>(n);
        } else if (a == L"--button") {
            if (!nextInt(n))
                return false;
            o.button = static_cast<int>(n);
        } else if (a == L"--index") {
            if (!nextInt(n) || n < 0)
                return false;
            o.index = static_cast<int>(n);
        } else if (a == L"--x" || a == L"--y") {
            if (!nextInt(n))
                return false;
            (a == L"--x" ? o.x : o.y) = static_cast<int>(n);
            (a == L"--x" ? o.hasX : o.hasY) = true;
        } else if (a == L"--timeout") {
            if (!nextInt(n) || n < 0)
                return false;
            o.timeoutMs = static_cast<DWORD>(n);
        } else if (a == L"--value") {
            if (!next(o.value))
                return false;
            o.hasValue = true;
        } else if (a == L"--command") {
            o.viaCommand = true;
        } else if (a == L"--wait-gone") {
            o.waitGone = true;
        } else {
            return false;
        }
    }
    return true;
}

bool HasWindowQuery(const Options& o) {
    return !o.query.title.empty() || !o.query.titlePrefix.empty() || !o.query.className.empty();
}

struct ControlLister {
    HWND top;
};

BOOL CALLBACK PrintControl(HWND hwnd, LPARAM) {
    wchar_t cls[256] = {};
    ::GetClassNameW(hwnd, cls, 256);
    std::wstring line = std::to_wstring(::GetDlgCtrlID(hwnd)) + L"\t" + cls + L"\t" +
                        Escape(winprobe::ControlText(hwnd).value_or(L""));
    if (auto face = winprobe::FaceColor(hwnd)) {
        line += L"\t" + Hex(*face, 6);
    }
    Line(line);
    return TRUE;
}

int Run(const Options& o) {
    if (o.command == L"list") {
        for (const auto& w : winprobe::ListTopWindows(o.query)) {
            Line(Hex(reinterpret_cast<ULONG_PTR>(w.hwnd), 8) + L"\t" + w.className + L"\t" +
                 Escape(w.title) + (w.visible ? L"" : L"\thidden"));
        }
        return 0;
    }
    if (o.command == L"boxes" || o.command == L"box-ok") {
        DWORD start = ::GetTickCount();
        for (;;) {
            auto boxes = winprobe::ListMessageBoxes(o.query.title);
            if (o.command == L"boxes") {
                for (const auto& b : boxes) {
                    Line(Escape(b.title) + L"\t" + Escape(b.text));
                }
                return 0;
            }
            if (!boxes.empty()) {
                Line(Escape(boxes.front().text));
                return winprobe::PressBoxButton(boxes.front(), o.button) ? 0 : 1;
            }
            if (::GetTickCount() - start >= o.timeoutMs) {
                Error(L"no message box");
                return 1;
            }
            ::Sleep(50);
        }
    }

    if (!HasWindowQuery(o)) {
        Error(L"name the window with --title, --title-prefix or --class");
        return 2;
    }
    HWND top = winprobe::WaitForWindow(o.query, o.timeoutMs);
    if (top == nullptr) {
        Error(L"window not found");
        return 1;
    }
    if (o.command == L"wait") {
        Line(Escape(winprobe::ControlText(top).value_or(L"")));
        return 0;
    }
    if (o.command == L"controls") {
        ::EnumChildWindows(top, &PrintControl, 0);
        return 0;
    }
    if (o.command == L"close") {
        if (!winprobe::PostClose(top)) {
            return 1;
        }
        if (o.waitGone && !winprobe::WaitGone(top, o.timeoutMs)) {
            Error(L"window still open");
            return 1;
        }
        return 0;
    }
    if (o.command == L"move") {
        if (!o.hasX || !o.hasY) {
            Error(L"--x and --y are required");
            return 2;
        }
        RECT r{};
        if (!winprobe::MoveWindowTo(top, o.x, o.y, r)) {
            Error(L"the window did not move");
            return 1;
        }
        Line(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
             std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
        return 0;
    }
    if (o.command != L"text" && o.command != L"face" && o.command != L"click" &&
        o.command != L"select" && o.command != L"set-text" && o.command != L"check" &&
        o.command != L"visible") {
        Error(L"unknown command " + o.command);
        return 2;
    }
    if (o.id < 0) {
        Error(L"--id is required");
        return 2;
    }
    HWND control = winprobe::FindControl(top, o.id);
    if (control == nullptr && !(o.command == L"click" && o.viaCommand)) {
        Error(L"no control " + std::to_wstring(o.id));
        return 1;
    }
    if (o.command == L"select") {
        if (o.index < 0) {
            Error(L"--index is required");
            return 2;
        }
        if (!winprobe::SelectComboItem(control, o.index)) {
            Error(L"no entry " + std::to_wstring(o.index) + L" in list " + std::to_wstring(o.id));
            return 1;
        }
        Line(Escape(winprobe::ControlText(control).value_or(L"")));
        return 0;
    }
    if (o.command == L"visible") {
        Line(::IsWindowVisible(control) ? L"1" : L"0");
        return 0;
    }
    if (o.command == L"text") {
        auto text = winprobe::ControlText(control);
        if (!text) {
            Error(L"the control does not answer");
            return 1;
        }
        Line(Escape(*text));
        return 0;
    }
    if (o.command == L"set-text") {
        if (!o.hasValue) {
            Error(L"--value is required");
            return 2;
        }
        if (!winprobe::SetControlText(control, o.value)) {
            Error(L"the control did not take the text");
            return 1;
        }
        return 0;
    }
    if (o.command == L"check") {
        if (o.hasValue) {
            if (o.value != L"0" && o.value != L"1") {
                Error(L"--value is 0 or 1");
                return 2;
            }
            if (!winprobe::SetCheck(control, o.value == L"1", o.timeoutMs)) {
                Error(L"the check box does not show the tick asked for");
                return 1;
            }
        }
        auto state = winprobe::CheckState(control);
        if (!state) {
            Error(L"the control does not answer");
            return 1;
        }
        Line(*state ? L"1" : L"0");
        return 0;
    }
    if (o.command == L"face") {
        auto face = winprobe::FaceColor(control);
        Line(face ? Hex(*face, 6) : L"none");
        return face ? 0 : 1;
    }
    bool ok = o.viaCommand ? winprobe::PostCommand(top, o.id) : winprobe::ClickControl(control);
    return ok ? 0 : 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    Options options;
    if (argv == nullptr || !Parse(argc, argv, options)) {
        WriteUtf8(::GetStdHandle(STD_ERROR_HANDLE),
                  std::wstring(kUsage, kUsage + sizeof(kUsage) - 1));
        if (argv) {
            ::LocalFree(argv);
        }
        return 2;
    }
    ::LocalFree(argv);
    return Run(options);
}
