// The dialog layer on a real display (Wine with Xvfb): sample dialogs from the
// test's own resource templates, driven step by step from their timers so
// that the real modal loop runs between the steps.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog_sample_resource.h"
#include "platform/dialog/dialog.h"
#include "test_dialog_support.h"

namespace {

using platform::Dialog;
using platform::FaceButton;

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kGreen = 0x00FF00;
constexpr COLORREF kYellow = 0x00FFFF;
constexpr COLORREF kLightBlue = 0xFFAA88;

constexpr UINT_PTR kStepTimer = 900;
constexpr UINT_PTR kSafetyTimer = 901;
constexpr INT_PTR kScriptDone = 4242;
constexpr INT_PTR kSafetyExpired = -2;

// Runs `steps` one per timer tick (50 ms apart) after OnInitDialog, then ends
// with kScriptDone. A safety timer bounds the whole run.
class ScriptedDialog : public Dialog {
public:
    using Step = std::function<void(ScriptedDialog&)>;

    explicit ScriptedDialog(std::vector<Step> steps, UINT templateId = IDD_SAMPLE)
        : Dialog(templateId), m_steps(std::move(steps)) {}

    std::vector<int> commands;  // ids of WM_COMMAND seen by OnCommand
    int okCalls = 0;
    int cancelCalls = 0;
    int closeCalls = 0;
    int aboutCalls = 0;
    int destroyCalls = 0;
    std::vector<UINT_PTR> timers;
    std::vector<std::pair<int, int>> scrolls;  // (control id, position)
    std::wstring toolTipAnswer;
    bool swallowOk = false;  // OnOk does nothing (as a dialog whose OK has no action)
    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(ScriptedDialog&, int)> onCommand;

    using Dialog::EndDialog;

protected:
    bool OnInitDialog() override {
        if (onInit) {
            onInit(*this);
        }
        SetTimer(kStepTimer, 50);
        SetTimer(kSafetyTimer, 20000);
        return true;
    }
    void OnTimer(UINT_PTR id) override {
        timers.push_back(id);
        if (id == kSafetyTimer) {
            ADD_FAILURE() << "script did not finish in time";
            EndDialog(kSafetyExpired);
            return;
        }
        if (id != kStepTimer) {
            return;
        }
        if (m_next < m_steps.size()) {
            // The step may pump messages; take it out first.
            Step step = m_steps[m_next++];
            step(*this);
        } else {
            KillTimer(kStepTimer);
            EndDialog(kScriptDone);
        }
    }
    bool OnCommand(int id, int code, HWND) override {
        if (id == IDOK || id == IDCANCEL) {
            return false;
        }
        if (code != BN_CLICKED) {
            return false;  // focus and edit-change notifications
        }
        commands.push_back(id);
        if (onCommand) {
            onCommand(*this, id);
        }
        return true;
    }
    void OnOk() override {
        ++okCalls;
        if (!swallowOk) {
            Dialog::OnOk();
        }
    }
    void OnCancel() override {
        ++cancelCalls;
        Dialog::OnCancel();
    }
    void OnClose() override {
        ++closeCalls;
        Dialog::OnClose();
    }
    void OnAbout() override { ++aboutCalls; }
    void OnDestroy() override { ++destroyCalls; }
    void OnScroll(int id, HWND, int, int position) override { scrolls.emplace_back(id, position); }
    std::wstring OnToolTipText(int controlId) override {
        return controlId == IDC_INFO ? toolTipAnswer : std::wstring();
    }

private:
    std::vector<Step> m_steps;
    size_t m_next = 0;
};

class DialogLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::InitCommonControlClasses()); }
};

TEST_F(DialogLayer, ModalLoopRunsHandlersAndReturnsEndResult) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            // Texts come from the UTF-8 template unchanged.
            EXPECT_EQ(d.Title(), L"Образец");
            EXPECT_EQ(d.ItemText(IDC_SETTINGS), L"Параметры");
            EXPECT_EQ(d.ItemText(IDC_STATUS_TEXT), L"начальный угол");
            EXPECT_TRUE(::IsWindowVisible(d.Handle()));
        },
        [](ScriptedDialog& d) {
            // A click on a button reaches OnCommand with its id.
            ::SendMessageW(d.Item(IDC_VIEW), BM_CLICK, 0, 0);
            EXPECT_EQ(d.commands, std::vector<int>{IDC_VIEW});
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_EQ(dialog.destroyCalls, 1);
    EXPECT_GE(dialog.timers.size(), 3u);
}

TEST_F(DialogLayer, EndDialogFromInitialisationNeverShowsTheWindow) {
    ScriptedDialog dialog({});
    bool wasVisible = true;
    dialog.onInit = [&](ScriptedDialog& d) {
        d.EndDialog(7);
        wasVisible = ::IsWindowVisible(d.Handle()) != FALSE;
    };
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_FALSE(wasVisible);
    EXPECT_EQ(dialog.destroyCalls, 1);
}

TEST_F(DialogLayer, MissingTemplateFailsWithMinusOne) {
    ScriptedDialog dialog({}, 4711);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dialog.IsOpen());
}

TEST_F(DialogLayer, EnterAndEscapeAreIgnoredWhenTheDialogSaysSo) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            ::SetFocus(d.Item(IDC_ANGLE_EDIT));
            ::PostMessageW(d.Item(IDC_ANGLE_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
            ::PostMessageW(d.Item(IDC_ANGLE_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        },
        [](ScriptedDialog& d) {
            EXPECT_EQ(d.okCalls, 0);
            EXPECT_EQ(d.cancelCalls, 0);
            EXPECT_TRUE(d.IsOpen());
            // The buttons themselves still work.
            d.swallowOk = true;
            ::SendMessageW(d.Item(IDOK), BM_CLICK, 0, 0);
            EXPECT_EQ(d.okCalls, 1);
            // Enter on another focused push button presses that button.
            ::SendMessageW(d.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.Item(IDC_VIEW)),
                           TRUE);
            ::PostMessageW(d.Item(IDC_VIEW), WM_KEYDOWN, VK_RETURN, 0x001C0001);
        },
        [](ScriptedDialog& d) {
            EXPECT_EQ(d.commands, std::vector<int>{IDC_VIEW});
            EXPECT_EQ(d.okCalls, 1);
        },
    });
    dialog.SetEnterAction(platform::KeyAction::Ignore);
    dialog.SetEscapeAction(platform::KeyAction::Ignore);
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, EnterPressesOkAndEscapeCancelsByDefault) {
    ScriptedDialog enter({
        [](ScriptedDialog& d) {
            ::SetFocus(d.Item(IDC_ANGLE_EDIT));
            ::PostMessageW(d.Item(IDC_ANGLE_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
        },
        [](ScriptedDialog&) { ADD_FAILURE() << "Enter did not end the dialog"; },
    });
    EXPECT_EQ(enter.DoModal(), IDOK);
    EXPECT_EQ(enter.okCalls, 1);

    ScriptedDialog escape({
        [](ScriptedDialog& d) {
            ::SetFocus(d.Item(IDC_ANGLE_EDIT));
            ::PostMessageW(d.Item(IDC_ANGLE_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        },
        [](ScriptedDialog&) { ADD_FAILURE() << "Escape did not end the dialog"; },
    });
    EXPECT_EQ(escape.DoModal(), IDCANCEL);
    EXPECT_EQ(escape.cancelCalls, 1);
}

TEST_F(DialogLayer, DialogThatIgnoresOkStaysOpenOnEnter) {
    // A main window whose OK has no action: Enter reaches OnOk, which does nothing.
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            ::SetFocus(d.Item(IDC_ANGLE_EDIT));
            ::PostMessageW(d.Item(IDC_ANGLE_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
        },
        [](ScriptedDialog& d) {
            EXPECT_EQ(d.okCalls, 1);
            EXPECT_TRUE(d.IsOpen());
        },
    });
    dialog.swallowOk = true;
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, CloseGoesThroughOnCloseToOnCancel) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) { ::PostMessageW(d.Handle(), WM_CLOSE, 0, 0); },
        [](ScriptedDialog&) { ADD_FAILURE() << "WM_CLOSE did not end the dialog"; },
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.closeCalls, 1);
    EXPECT_EQ(dialog.cancelCalls, 1);
}

TEST_F(DialogLayer, FaceColourIsDrawnPublishedAndReadable) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            FaceButton settings;
            ASSERT_TRUE(settings.Attach(d.Item(IDC_SETTINGS), kRed, RGB(0, 0, 0)));
            // Setting a colour on a plain button attaches it on the way.
            FaceButton(d.Item(IDC_VIEW)).SetFaceColor(kGreen);
            FaceButton(d.Item(IDC_INFO)).SetFaceColor(RGB(0, 0, 0));
            FaceButton(d.Item(IDC_INFO)).SetTextColor(RGB(255, 255, 255));
        },
        [](ScriptedDialog& d) {
            ::RedrawWindow(d.Handle(), nullptr, nullptr,
                           RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            HWND settings = d.Item(IDC_SETTINGS);
            EXPECT_EQ(platform::ReadFaceColor(settings), kRed);
            EXPECT_EQ(platform::ReadFaceColor(d.Item(IDC_VIEW)), kGreen);
            // Black differs from "not a face button".
            EXPECT_EQ(platform::ReadFaceColor(d.Item(IDC_INFO)), RGB(0, 0, 0));
            EXPECT_EQ(platform::ReadFaceColor(d.Item(IDC_ANGLE_EDIT)), std::nullopt);
            UINT query = ::RegisterWindowMessageW(platform::kFaceColorMessage);
            EXPECT_EQ(::SendMessageW(settings, query, 0, 0),
                      static_cast<LRESULT>(platform::kFaceColorTag | kRed));
            EXPECT_EQ(::SendMessageW(d.Item(IDC_ANGLE_EDIT), query, 0, 0), 0);
            // The face is really painted (inside the 2-pixel edge).
            EXPECT_EQ(dialog_test::WindowPixel(settings, 5, 5), kRed);
        },
        [](ScriptedDialog& d) {
            FaceButton settings(d.Item(IDC_SETTINGS));
            settings.SetFaceColor(kYellow);
            settings.SetText(L"Запись 12");
            ::UpdateWindow(settings.Handle());
            EXPECT_EQ(platform::ReadFaceColor(settings.Handle()), kYellow);
            EXPECT_EQ(settings.FaceColor(), kYellow);
            EXPECT_EQ(d.ItemText(IDC_SETTINGS), L"Запись 12");
        },
        [](ScriptedDialog& d) {
            // The change is painted (the display is updated between steps).
            EXPECT_EQ(dialog_test::WindowPixel(d.Item(IDC_SETTINGS), 5, 5), kYellow);
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, FaceButtonStaysAPushButton) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            HWND button = d.Item(IDC_SETTINGS);
            FaceButton(button).SetFaceColor(kLightBlue);
            // The dialog manager's default-button styling must not undo the owner drawing.
            ::SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            EXPECT_EQ(::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
            // Two quick clicks are two clicks, not a click and a double click.
            ::SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            ::SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            ::SendMessageW(button, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
            ::SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            EXPECT_EQ(d.commands, (std::vector<int>{IDC_SETTINGS, IDC_SETTINGS}));
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, ClientAreaSizingAndKeepingOnScreen) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            ASSERT_TRUE(platform::PlaceWithClientSize(d.Handle(), 100, 100, 820, 648));
            SIZE client = platform::ClientSize(d.Handle());
            EXPECT_EQ(client.cx, 820);
            EXPECT_EQ(client.cy, 648);
            RECT outer{};
            ::GetWindowRect(d.Handle(), &outer);
            EXPECT_EQ(outer.left, 100);
            EXPECT_EQ(outer.top, 100);
            ASSERT_TRUE(platform::SetClientSize(d.Handle(), 171, 210));
            client = platform::ClientSize(d.Handle());
            EXPECT_EQ(client.cx, 171);
            EXPECT_EQ(client.cy, 210);
        },
        [](ScriptedDialog& d) {
            RECT outer{};
            ::GetWindowRect(d.Handle(), &outer);
            int w = outer.right - outer.left;
            int h = outer.bottom - outer.top;
            RECT screen = platform::PrimaryScreenRect();
            // Dragged past the left edge: held at x = 0.
            RECT moving{-40, 50, -40 + w, 50 + h};
            ::SendMessageW(d.Handle(), WM_MOVING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&moving));
            EXPECT_EQ(moving.left, 0);
            EXPECT_EQ(moving.right, w);
            EXPECT_EQ(moving.top, 50);
            // Past the bottom right corner: held inside.
            moving = RECT{screen.right - 10, screen.bottom - 5, screen.right - 10 + w,
                          screen.bottom - 5 + h};
            ::SendMessageW(d.Handle(), WM_MOVING, 0, reinterpret_cast<LPARAM>(&moving));
            EXPECT_EQ(moving.right, screen.right);
            EXPECT_EQ(moving.bottom, screen.bottom);
            EXPECT_EQ(moving.right - moving.left, w);
        },
    });
    dialog.KeepOnScreen(true);
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, TooltipsByIdByHandleAndByCallback) {
    platform::ToolTips tips;
    ScriptedDialog dialog({
        [&](ScriptedDialog& d) {
            ASSERT_TRUE(tips.Create(d.Handle()));
            EXPECT_TRUE(tips.AddTool(IDC_SETTINGS, L"Параметры подключения сканеров"));
            EXPECT_TRUE(
                tips.AddTool(d.Item(IDC_VIEW), L"Положение центра и размер отображаемого окна"));
            EXPECT_TRUE(tips.AddCallbackTool(IDC_INFO));
            EXPECT_FALSE(tips.AddTool(4711, L"no such control"));
            EXPECT_EQ(tips.Count(), 3);
            EXPECT_EQ(tips.Text(IDC_SETTINGS), L"Параметры подключения сканеров");
            EXPECT_EQ(tips.Text(d.Item(IDC_VIEW)), L"Положение центра и размер отображаемого окна");
            tips.SetText(IDC_SETTINGS, L"Синхронность проверена");
            EXPECT_EQ(tips.Text(IDC_SETTINGS), L"Синхронность проверена");
        },
        [&](ScriptedDialog& d) {
            // The callback tool asks the dialog for its current text.
            d.toolTipAnswer = L"Нет данных > 30c, путь обнулен";
            NMTTDISPINFOW info{};
            info.hdr.hwndFrom = tips.Handle();
            info.hdr.idFrom = reinterpret_cast<UINT_PTR>(d.Item(IDC_INFO));
            info.hdr.code = TTN_GETDISPINFOW;
            info.uFlags = TTF_IDISHWND;
            ::SendMessageW(d.Handle(), WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
            ASSERT_NE(info.lpszText, nullptr);
            EXPECT_EQ(std::wstring(info.lpszText), d.toolTipAnswer);
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, AboutItemPrivateMessagesAndTimers) {
    ScriptedDialog dialog({
        [](ScriptedDialog& d) {
            ASSERT_TRUE(d.AddAboutItem(L"&О проекте Orvanta...", 16));
            EXPECT_FALSE(d.AddAboutItem(L"bad", 0xF010));
            HMENU menu = ::GetSystemMenu(d.Handle(), FALSE);
            wchar_t text[64] = {};
            ::GetMenuStringW(menu, 16, text, 64, MF_BYCOMMAND);
            EXPECT_STREQ(text, L"&О проекте Orvanta...");
            ::SendMessageW(d.Handle(), WM_SYSCOMMAND, 16, 0);
            EXPECT_EQ(d.aboutCalls, 1);

            int calls = 0;
            d.OnMessage(WM_APP + 7, [&calls](WPARAM w, LPARAM) -> LRESULT {
                ++calls;
                return static_cast<LRESULT>(w) * 2;
            });
            EXPECT_EQ(::SendMessageW(d.Handle(), WM_APP + 7, 21, 0), 42);
            // The plain message number a child control sends its parent.
            d.OnMessage(107, [&calls](WPARAM, LPARAM) -> LRESULT { return ++calls; });
            EXPECT_EQ(::SendMessageW(d.Handle(), 107, 0, 0), 2);
            d.OnMessage(107, nullptr);
            EXPECT_EQ(calls, 2);
            EXPECT_TRUE(d.SetTimer(103, 10));
        },
        [](ScriptedDialog&) {},
        [](ScriptedDialog& d) {
            d.KillTimer(103);
            size_t fired = 0;
            for (UINT_PTR id : d.timers) {
                fired += id == 103;
            }
            EXPECT_GE(fired, 1u);
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, ControlHelpers) {
    platform::Font bold(L"MS SansSerif", -12, 600, RUSSIAN_CHARSET);
    ScriptedDialog dialog({
        [&](ScriptedDialog& d) {
            HWND combo = d.Item(IDC_SCANNER_LIST);
            platform::ComboClear(combo);
            EXPECT_EQ(platform::ComboSelection(combo), -1);
            EXPECT_EQ(platform::ComboAdd(combo, L"Сканер1"), 0);
            EXPECT_EQ(platform::ComboAdd(combo, L"Сканер2"), 1);
            platform::ComboSetSelection(combo, 1);
            EXPECT_EQ(platform::ComboCount(combo), 2);
            EXPECT_EQ(platform::ComboSelection(combo), 1);
            EXPECT_EQ(platform::ComboItemText(combo, 1), L"Сканер2");
            EXPECT_EQ(platform::ComboItemText(combo, 5), L"");

            HWND slider = d.Item(IDC_ANGLE_SLIDER);
            platform::SliderSetRange(slider, 10, 5000);
            platform::SliderSetPosition(slider, 6000);  // clamped by the control
            EXPECT_EQ(platform::SliderPosition(slider), 5000);
            platform::SliderSetPosition(slider, 1500);
            ::SendMessageW(d.Handle(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                           reinterpret_cast<LPARAM>(slider));
            ASSERT_EQ(d.scrolls.size(), 1u);
            EXPECT_EQ(d.scrolls[0], std::make_pair(IDC_ANGLE_SLIDER, 1500));

            HWND address = d.Item(IDC_ADDRESS);
            EXPECT_EQ(platform::IpAddressText(address), L"");
            EXPECT_TRUE(platform::IpAddressSet(address, L"192.168.0.17"));
            EXPECT_EQ(platform::IpAddressText(address), L"192.168.0.17");
            EXPECT_FALSE(platform::IpAddressSet(address, L"192.168.0.256"));
            EXPECT_EQ(platform::IpAddressText(address), L"");
            EXPECT_FALSE(platform::IpAddressSet(address, L"10.0.0"));
            EXPECT_FALSE(platform::IpAddressSet(address, L"1.2.3.4x"));

            HWND check = d.Item(IDC_CONNECTED);
            EXPECT_FALSE(platform::IsChecked(check));
            platform::SetChecked(check, true);
            EXPECT_TRUE(platform::IsChecked(check));

            d.SetItemText(IDC_ANGLE_EDIT, L"370");
            EXPECT_EQ(d.ItemInt(IDC_ANGLE_EDIT), 370);
            d.SetItemText(IDC_ANGLE_EDIT, L"12.7");
            EXPECT_EQ(d.ItemInt(IDC_ANGLE_EDIT), 12);
            d.SetItemText(IDC_ANGLE_EDIT, L"-10");
            EXPECT_EQ(d.ItemInt(IDC_ANGLE_EDIT), -10);
            d.SetItemText(IDC_ANGLE_EDIT, L"abc");
            EXPECT_EQ(d.ItemInt(IDC_ANGLE_EDIT), 0);
            d.SetItemInt(IDC_ANGLE_EDIT, -25);
            EXPECT_EQ(d.ItemText(IDC_ANGLE_EDIT), L"-25");

            ASSERT_TRUE(bold);
            bold.ApplyTo(d.Item(IDC_STATUS_TEXT));
            EXPECT_EQ(platform::ControlFontFace(d.Item(IDC_STATUS_TEXT)), L"MS SansSerif");

            d.ShowItem(IDC_ADDRESS, false);
            EXPECT_FALSE(::IsWindowVisible(address));
            d.EnableItem(IDC_CONNECTED, false);
            EXPECT_FALSE(::IsWindowEnabled(check));
            d.MoveItem(IDC_VIEW, 10, 20, 70, 20);
            RECT r{};
            ::GetWindowRect(d.Item(IDC_VIEW), &r);
            ::MapWindowPoints(nullptr, d.Handle(), reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, 10);
            EXPECT_EQ(r.top, 20);
            EXPECT_EQ(r.right - r.left, 70);
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

// A drawing surface inside the dialog that tells its parent about a double click
// with a plain message number, as the profile display does.
class SurfaceStub : public platform::ChildWindow {
public:
    int doubleClicks = 0;

protected:
    bool HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message == WM_LBUTTONDBLCLK) {
            ++doubleClicks;
            ::SendMessageW(::GetParent(Handle()), 107, 0, 0);
            return true;
        }
        if (message == WM_ERASEBKGND) {
            result = TRUE;  // paints all of itself
            return true;
        }
        return false;
    }
};

TEST_F(DialogLayer, ChildWindowAndButtonIcon) {
    auto surface = std::make_unique<SurfaceStub>();
    int notified = 0;
    HWND surfaceWindow = nullptr;
    ScriptedDialog dialog({
        [&](ScriptedDialog& d) {
            d.OnMessage(107, [&notified](WPARAM, LPARAM) -> LRESULT { return ++notified; });
            ASSERT_TRUE(surface->Create(d.Handle(), 1001, RECT{10, 90, 210, 190},
                                        WS_CHILD | WS_VISIBLE | WS_BORDER));
            surfaceWindow = surface->Handle();
            EXPECT_EQ(d.Item(1001), surfaceWindow);
            EXPECT_EQ(::GetClassLongW(surfaceWindow, GCL_STYLE) & CS_DBLCLKS,
                      static_cast<DWORD>(CS_DBLCLKS));
            ::SendMessageW(surfaceWindow, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
            EXPECT_EQ(surface->doubleClicks, 1);
            EXPECT_EQ(notified, 1);
            // A second object of the same class registers nothing twice.
            SurfaceStub another;
            EXPECT_TRUE(another.Create(d.Handle(), 1002, RECT{0, 0, 5, 5}));
            another.Destroy();
            EXPECT_EQ(d.Item(1002), nullptr);

            HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
            platform::ButtonSetIcon(d.Item(IDC_VIEW), icon);
            EXPECT_EQ(::SendMessageW(d.Item(IDC_VIEW), BM_GETIMAGE, IMAGE_ICON, 0),
                      reinterpret_cast<LRESULT>(icon));
        },
        [&](ScriptedDialog&) {
            // The object goes first: its window goes with it.
            surface.reset();
            EXPECT_FALSE(::IsWindow(surfaceWindow));
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
}

TEST_F(DialogLayer, ModelessDialogRoutesKeysAndEndsByDestroying) {
    ScriptedDialog dialog({});
    ASSERT_TRUE(dialog.Create());
    ASSERT_TRUE(dialog.IsOpen());
    ::ShowWindow(dialog.Handle(), SW_SHOW);
    dialog.SetEscapeAction(platform::KeyAction::Ignore);
    MSG escape{dialog.Item(IDC_ANGLE_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
    EXPECT_TRUE(dialog.RouteMessage(escape));
    EXPECT_EQ(dialog.cancelCalls, 0);
    MSG foreign{nullptr, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_FALSE(dialog.RouteMessage(foreign));
    // EndDialog destroys a modeless dialog at once; a quit ends the loop.
    ::PostMessageW(dialog.Item(IDOK), BM_CLICK, 0, 0);
    ::PostQuitMessage(5);
    EXPECT_EQ(platform::RunMessageLoop(), 5);
    EXPECT_EQ(dialog.okCalls, 1);
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_EQ(dialog.destroyCalls, 1);
}

TEST_F(DialogLayer, ScreenshotOfTheColouredSample) {
    platform::ToolTips tips;
    std::wstring path = dialog_test::BinaryTreePath(L"screenshots/dialog_sample.png");
    ScriptedDialog dialog({
        [&](ScriptedDialog& d) {
            // Other tests share the display: stay on top of their windows.
            ::SetWindowPos(d.Handle(), HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE);
            FaceButton(d.Item(IDC_SETTINGS)).SetFaceColor(kYellow);
            FaceButton(d.Item(IDC_VIEW)).SetFaceColor(kGreen);
            FaceButton info(d.Item(IDC_INFO));
            info.SetFaceColor(kRed);
            info.SetTextColor(RGB(255, 255, 255));
            platform::ComboAdd(d.Item(IDC_SCANNER_LIST), L"Сканер1");
            platform::ComboSetSelection(d.Item(IDC_SCANNER_LIST), 0);
            platform::SliderSetRange(d.Item(IDC_ANGLE_SLIDER), 0, 360);
            platform::SliderSetPosition(d.Item(IDC_ANGLE_SLIDER), 90);
            d.SetItemText(IDC_ANGLE_EDIT, L"90.0");
            platform::IpAddressSet(d.Item(IDC_ADDRESS), L"192.168.0.1");
            platform::SetChecked(d.Item(IDC_CONNECTED), true);
            tips.Create(d.Handle());
            tips.AddTool(IDC_SETTINGS, L"Параметры подключения сканеров");
        },
        [](ScriptedDialog& d) {
            ::RedrawWindow(d.Handle(), nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        },
        [&](ScriptedDialog& d) {
            EXPECT_TRUE(dialog_test::SaveScreenPng(path));
            EXPECT_EQ(dialog_test::ScreenPixel(d.Item(IDC_VIEW), 5, 5), kGreen);
        },
    });
    EXPECT_EQ(dialog.DoModal(), kScriptDone);
    EXPECT_NE(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
