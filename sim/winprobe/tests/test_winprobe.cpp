// winprobe against a live dialog of this test process: the probe runs as a
// separate Windows process, as the end-to-end tests run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialog_sample_resource.h"
#include "platform/dialog/controls.h"
#include "platform/dialog/dialog.h"
#include "test_dialog_support.h"

namespace {

constexpr COLORREF kYellow = 0x00FFFF;

struct ProbeResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // UTF-8
};

std::wstring ProbePath() {
    const wchar_t* exe = _wgetenv(L"WINPROBE_EXE");
    std::wstring path = exe ? std::wstring(L"Z:") + exe : L"winprobe.exe";
    for (auto& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

// A running probe; the caller keeps pumping its own messages meanwhile (the
// probe's questions to our windows are answered by our message loop).
class Probe {
public:
    explicit Probe(const std::wstring& args) {
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        HANDLE write = nullptr;
        ::CreatePipe(&m_read, &write, &sa, 1 << 20);
        ::SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = write;
        si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        si.hStdInput = nullptr;
        std::wstring commandLine = L"\"" + ProbePath() + L"\" " + args;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &si, &pi)) {
            m_process = pi.hProcess;
            ::CloseHandle(pi.hThread);
        }
        ::CloseHandle(write);
    }
    ~Probe() {
        if (m_process) {
            ::TerminateProcess(m_process, 99);
            ::CloseHandle(m_process);
        }
        ::CloseHandle(m_read);
    }
    bool Started() const { return m_process != nullptr; }

    // Waits (pumping messages, routed to `dialog` if given) for the probe to end.
    ProbeResult Finish(platform::Dialog* dialog = nullptr, DWORD timeoutMs = 20000) {
        ProbeResult result;
        if (!m_process) {
            return result;
        }
        DWORD start = ::GetTickCount();
        for (;;) {
            DWORD wait = ::MsgWaitForMultipleObjects(1, &m_process, FALSE, 20, QS_ALLINPUT);
            if (wait == WAIT_OBJECT_0) {
                break;
            }
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!dialog || !dialog->RouteMessage(msg)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageW(&msg);
                }
            }
            if (::GetTickCount() - start > timeoutMs) {
                ADD_FAILURE() << "winprobe did not finish";
                return result;
            }
        }
        ::GetExitCodeProcess(m_process, &result.exitCode);
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(m_read, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            result.output.append(buffer, got);
        }
        return result;
    }

private:
    HANDLE m_process = nullptr;
    HANDLE m_read = nullptr;
};

ProbeResult RunProbe(const std::wstring& args, platform::Dialog* dialog = nullptr) {
    Probe probe(args);
    EXPECT_TRUE(probe.Started()) << Utf8(ProbePath());
    return probe.Finish(dialog);
}

class ProbedDialog : public platform::Dialog {
public:
    ProbedDialog() : Dialog(IDD_SAMPLE) {}
    std::vector<int> commands;
    std::vector<int> selections;  // the list's selection at each CBN_SELCHANGE
    std::vector<int> changes;     // the controls that told EN_CHANGE
    int closes = 0;

protected:
    bool OnCommand(int id, int code, HWND control) override {
        if (id == IDOK || id == IDCANCEL) {
            return false;
        }
        if (id == IDC_SCANNER_LIST && code == CBN_SELCHANGE) {
            selections.push_back(platform::ComboSelection(control));
            return true;
        }
        if (code == EN_CHANGE) {
            changes.push_back(id);
            return true;
        }
        if (code != BN_CLICKED) {
            return false;  // other notifications
        }
        commands.push_back(id);
        SetItemText(IDC_STATUS_TEXT, L"нажато " + std::to_wstring(id));
        return true;
    }
    void OnClose() override {
        ++closes;
        Dialog::OnClose();
    }
};

class Winprobe : public ::testing::Test {
protected:
    void SetUp() override {
        platform::InitCommonControlClasses();
        // Other tests share the display: a title of our own.
        m_title = L"Проба " + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(m_dialog.Create());
        m_dialog.SetTitle(m_title);
        // Out of the way of the other GUI tests' windows.
        ::SetWindowPos(m_dialog.Handle(), nullptr, 760, 560, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::ShowWindow(m_dialog.Handle(), SW_SHOW);
        platform::FaceButton(m_dialog.Item(IDC_SETTINGS)).SetFaceColor(kYellow);
    }
    std::wstring Window() const { return L"--title \"" + m_title + L"\" --timeout 5000 "; }

    std::wstring m_title;
    ProbedDialog m_dialog;
};

TEST_F(Winprobe, WaitsForTheWindowByTitleOrClass) {
    ProbeResult r = RunProbe(L"wait " + Window(), &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, Utf8(m_title) + "\n");

    r = RunProbe(L"wait --title-prefix \"Проба \" --class #32770 --timeout 5000", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);

    DWORD start = ::GetTickCount();
    r = RunProbe(L"wait --title \"Нет такого окна\" --timeout 300", &m_dialog);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.output, "");
    EXPECT_LT(::GetTickCount() - start, 15000u);  // bounded, not hanging
}

TEST_F(Winprobe, ReadsTextsAndFaceColours) {
    ProbeResult r = RunProbe(L"text " + Window() + L"--id 1047", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "начальный угол\n");

    m_dialog.SetItemText(IDC_ANGLE_EDIT, L"первая\r\nвторая\tтаб");
    r = RunProbe(L"text " + Window() + L"--id 1011", &m_dialog);
    EXPECT_EQ(r.output, "первая\\nвторая\\tтаб\n");

    r = RunProbe(L"face " + Window() + L"--id 1004", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "0x00FFFF\n");

    platform::FaceButton(m_dialog.Item(IDC_SETTINGS)).SetFaceColor(0xFFAA88);
    r = RunProbe(L"face " + Window() + L"--id 1004", &m_dialog);
    EXPECT_EQ(r.output, "0xFFAA88\n");

    r = RunProbe(L"face " + Window() + L"--id 1011", &m_dialog);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.output, "none\n");

    r = RunProbe(L"text " + Window() + L"--id 4711", &m_dialog);
    EXPECT_EQ(r.exitCode, 1u);

    r = RunProbe(L"controls " + Window(), &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_NE(r.output.find("1004\tButton\tПараметры\t0xFFAA88\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("1047\tStatic\tначальный угол\n"), std::string::npos) << r.output;
}

TEST_F(Winprobe, ClicksButtonsAndClosesTheWindow) {
    ProbeResult r = RunProbe(L"click " + Window() + L"--id 1004", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    dialog_test::PumpMessages(200);
    // 1004 is a face (owner-drawn) button.
    EXPECT_EQ(m_dialog.commands, std::vector<int>{IDC_SETTINGS});
    r = RunProbe(L"text " + Window() + L"--id 1047", &m_dialog);
    EXPECT_EQ(r.output, "нажато 1004\n");

    r = RunProbe(L"click " + Window() + L"--id 1024 --command", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    dialog_test::PumpMessages(200);
    EXPECT_EQ(m_dialog.commands, (std::vector<int>{IDC_SETTINGS, IDC_VIEW}));

    r = RunProbe(L"close " + Window() + L"--wait-gone", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(m_dialog.closes, 1);
    EXPECT_FALSE(m_dialog.IsOpen());
}

// Presses OK itself if the probe does not, so the test can never hang on the box.
DWORD WINAPI BoxWatchdog(void* title) {
    for (int i = 0; i < 300; ++i) {
        ::Sleep(50);
        if (HWND box = ::FindWindowW(L"#32770", static_cast<const wchar_t*>(title))) {
            if (i > 200) {
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return 1;
            }
        }
    }
    return 0;
}

TEST_F(Winprobe, ReadsAndConfirmsAMessageBox) {
    ProbeResult none = RunProbe(L"boxes --title \"" + m_title + L" box\"", &m_dialog);
    EXPECT_EQ(none.exitCode, 0u);
    EXPECT_EQ(none.output, "");

    std::wstring boxTitle = m_title + L" box";
    Probe probe(L"box-ok --title \"" + boxTitle + L"\" --timeout 10000");
    ASSERT_TRUE(probe.Started());
    HANDLE watchdog = ::CreateThread(nullptr, 0, &BoxWatchdog, boxTitle.data(), 0, nullptr);
    // The box runs its own loop; the probe finds it and presses OK.
    int pressed = ::MessageBoxW(m_dialog.Handle(), L"Orvanta уже работает\nвторая строка",
                                boxTitle.c_str(), MB_OK | MB_ICONWARNING);
    EXPECT_EQ(pressed, IDOK);
    ProbeResult r = probe.Finish(&m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "Orvanta уже работает\\nвторая строка\n");
    ::WaitForSingleObject(watchdog, 20000);
    DWORD watchdogPressed = 0;
    ::GetExitCodeThread(watchdog, &watchdogPressed);
    EXPECT_EQ(watchdogPressed, 0u) << "the probe did not press OK";
    ::CloseHandle(watchdog);
}

TEST_F(Winprobe, SelectsAListEntryAsAUserWould) {
    HWND list = m_dialog.Item(IDC_SCANNER_LIST);
    for (const wchar_t* item : {L"пути", L"уклона", L"левый лазер"}) {
        platform::ComboAdd(list, item);
    }
    platform::ComboSetSelection(list, 0);

    ProbeResult r = RunProbe(L"select " + Window() + L"--id 1035 --index 2", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "левый лазер\n");
    dialog_test::PumpMessages(200);
    EXPECT_EQ(m_dialog.selections, std::vector<int>{2});
    EXPECT_EQ(platform::ComboSelection(list), 2);

    // No such entry: nothing chosen, nobody told.
    r = RunProbe(L"select " + Window() + L"--id 1035 --index 3", &m_dialog);
    EXPECT_EQ(r.exitCode, 1u);
    dialog_test::PumpMessages(200);
    EXPECT_EQ(m_dialog.selections, std::vector<int>{2});
    EXPECT_EQ(platform::ComboSelection(list), 2);

    EXPECT_EQ(RunProbe(L"select " + Window() + L"--id 1035", &m_dialog).exitCode, 2u);
    EXPECT_EQ(RunProbe(L"select " + Window() + L"--id 4711 --index 0", &m_dialog).exitCode, 1u);
}

TEST_F(Winprobe, MovesTheWindowAndTellsWhereItIs) {
    RECT before{};
    ::GetWindowRect(m_dialog.Handle(), &before);
    ProbeResult r = RunProbe(L"move " + Window() + L"--x 40 --y 70", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    RECT after{};
    ::GetWindowRect(m_dialog.Handle(), &after);
    EXPECT_EQ(after.left, 40);
    EXPECT_EQ(after.top, 70);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    EXPECT_EQ(r.output, "40 70 " + std::to_string(after.right - after.left) + " " +
                            std::to_string(after.bottom - after.top) + "\n");

    EXPECT_EQ(RunProbe(L"move " + Window() + L"--x 40", &m_dialog).exitCode, 2u);
}

bool Has(const std::vector<int>& ids, int id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST_F(Winprobe, TypesIntoEditsAndAddressControlsAndTicksCheckBoxes) {
    ProbeResult r = RunProbe(L"set-text " + Window() + L"--id 1011 --value 12.5", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    dialog_test::PumpMessages(200);
    EXPECT_EQ(m_dialog.ItemText(IDC_ANGLE_EDIT), L"12.5");
    EXPECT_TRUE(Has(m_dialog.changes, IDC_ANGLE_EDIT)) << "the edit tells its parent";

    // The address control: set as a whole, read back field by field.
    m_dialog.changes.clear();
    r = RunProbe(L"set-text " + Window() + L"--id 1008 --value 127.0.8.3", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    dialog_test::PumpMessages(200);
    EXPECT_EQ(platform::IpAddressText(m_dialog.Item(IDC_ADDRESS)), L"127.0.8.3");
    EXPECT_TRUE(Has(m_dialog.changes, IDC_ADDRESS)) << "the address control tells its parent";
    r = RunProbe(L"text " + Window() + L"--id 1008", &m_dialog);
    EXPECT_EQ(r.output, "127.0.8.3\n");
    for (const wchar_t* bad : {L"300.1.1.1", L"1.2.3", L"1.2.3.4.5", L"a.b.c.d"}) {
        r = RunProbe(L"set-text " + Window() + L"--id 1008 --value " + bad, &m_dialog);
        EXPECT_EQ(r.exitCode, 1u) << Utf8(bad);
    }
    EXPECT_EQ(platform::IpAddressText(m_dialog.Item(IDC_ADDRESS)), L"127.0.8.3");
    r = RunProbe(L"set-text " + Window() + L"--id 1008 --value \"\"", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(platform::IpAddressText(m_dialog.Item(IDC_ADDRESS)), L"");
    EXPECT_EQ(RunProbe(L"text " + Window() + L"--id 1008", &m_dialog).output, "\n");

    // The check box is clicked, as with the mouse, only when its tick differs.
    r = RunProbe(L"check " + Window() + L"--id 1006", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "0\n");
    r = RunProbe(L"check " + Window() + L"--id 1006 --value 1", &m_dialog);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "1\n");
    dialog_test::PumpMessages(200);
    EXPECT_TRUE(platform::IsChecked(m_dialog.Item(IDC_CONNECTED)));
    EXPECT_EQ(m_dialog.commands, std::vector<int>{IDC_CONNECTED});
    r = RunProbe(L"check " + Window() + L"--id 1006 --value 1", &m_dialog);
    EXPECT_EQ(r.output, "1\n");
    dialog_test::PumpMessages(200);
    EXPECT_EQ(m_dialog.commands, std::vector<int>{IDC_CONNECTED});
    r = RunProbe(L"check " + Window() + L"--id 1006 --value 0", &m_dialog);
    EXPECT_EQ(r.output, "0\n");
    EXPECT_FALSE(platform::IsChecked(m_dialog.Item(IDC_CONNECTED)));

    EXPECT_EQ(RunProbe(L"set-text " + Window() + L"--id 1011", &m_dialog).exitCode, 2u);
    EXPECT_EQ(RunProbe(L"check " + Window() + L"--id 1006 --value 2", &m_dialog).exitCode, 2u);
}

TEST_F(Winprobe, UsageErrors) {
    EXPECT_EQ(RunProbe(L"").exitCode, 2u);
    EXPECT_EQ(RunProbe(L"text --id 5").exitCode, 2u);
    EXPECT_EQ(RunProbe(L"text " + Window(), &m_dialog).exitCode, 2u);
    EXPECT_EQ(RunProbe(L"frobnicate " + Window(), &m_dialog).exitCode, 2u);
    EXPECT_EQ(RunProbe(L"wait --timeout x --title a").exitCode, 2u);
}

}  // namespace
