// Our thin dialog layer over Win32: modal and modeless dialogs from DIALOGEX
// templates, with virtual handlers for the messages the programs use.
//
// One include gives the whole layer: the dialog class, face-coloured buttons,
// tooltips, fonts, window placement and the control helpers.
//
// A dialog runs its own modal loop (as the programs' framework did), so that
// Enter and Escape can be handled per dialog, and so that any thread may run
// one (the update progress dialog runs on a worker thread).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dialog/child_window.h"
#include "platform/dialog/controls.h"
#include "platform/dialog/face_button.h"
#include "platform/dialog/font.h"
#include "platform/dialog/tooltips.h"
#include "platform/dialog/window_place.h"

namespace platform {

// Registers the common control classes (progress bars, trackbars, IP address
// controls, tooltips...). The programs call it first thing at start-up with
// the class set 0xFF (every class of the original set).
bool InitCommonControlClasses(DWORD classes = 0xFF);

// What a dialog does with Enter or Escape typed while it has the focus.
enum class KeyAction {
    Default,  // the usual: Enter presses the default button (OnOk), Escape calls OnCancel
    Ignore,   // the key is swallowed; clicking the OK / Cancel buttons still works, and
              // Enter on another focused push button still presses that button
};

// Where a window being dragged is held (see KeepOnScreen).
enum class ScreenArea {
    Primary,   // the primary monitor, (0, 0, screen width, screen height)
    WorkArea,  // the primary monitor less the task bar
    Virtual,   // the bounding rectangle of all monitors
};

class Dialog {
public:
    // `templateId`: the DIALOG/DIALOGEX resource. `instance`: the module holding
    // it; nullptr means the executable.
    explicit Dialog(UINT templateId, HINSTANCE instance = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog, shows it and runs its modal loop on the calling
    // thread until EndDialog. The owner (if any) is disabled meanwhile.
    // Returns the EndDialog result, or -1 when the dialog could not be created.
    // A WM_QUIT seen by the loop ends it (result IDCANCEL) and is re-posted.
    INT_PTR DoModal(HWND owner = nullptr);

    // Creates the dialog modelessly (shown when the template says WS_VISIBLE).
    // The thread's message loop must pass its messages to RouteMessage (or use
    // RunMessageLoop). EndDialog destroys a modeless dialog.
    bool Create(HWND owner = nullptr);

    // Ends the modal loop with `result` (the window is destroyed when the loop
    // returns), or destroys a modeless dialog. Safe to call from the dialog's own
    // handlers, including OnInitDialog. Other threads: use PostEndDialog.
    void EndDialog(INT_PTR result);
    // Thread-safe: asks the dialog's own thread to EndDialog(result).
    void PostEndDialog(INT_PTR result) const;

    HWND Handle() const { return m_hwnd.load(); }
    bool IsOpen() const { return m_hwnd.load() != nullptr; }
    UINT TemplateId() const { return m_templateId; }

    // Key handling for a modeless dialog in the thread's own loop; returns true
    // when the message was consumed (do not translate/dispatch it).
    bool RouteMessage(MSG& msg);

    // --- Controls by id -------------------------------------------------------
    HWND Item(int id) const;
    std::wstring ItemText(int id) const;
    void SetItemText(int id, std::wstring_view text) const;
    // Decimal value of the control's text; text that is not a number gives 0.
    int ItemInt(int id) const;
    void SetItemInt(int id, int value) const;
    void ShowItem(int id, bool show) const;
    void EnableItem(int id, bool enable) const;
    // Moves and sizes a child control, in client pixels.
    void MoveItem(int id, int x, int y, int width, int height, bool repaint = true) const;
    void SetTitle(std::wstring_view title) const;
    std::wstring Title() const;
    void SetIcons(HICON big, HICON small) const;
    // The program's own icon (icon resource 1 of the executable, at the
    // system's large and small icon sizes) on the title bar and the taskbar;
    // the system's generic one when the program has none.
    void SetProgramIcons() const;

    // Posts WM_COMMAND (id, BN_CLICKED) to this dialog, as a click would.
    void PostCommand(int id) const;

    // --- Timers (WM_TIMER -> OnTimer(id)) ------------------------------------
    bool SetTimer(UINT_PTR id, UINT periodMs) const;
    void KillTimer(UINT_PTR id) const;

    // --- Behaviour switches ---------------------------------------------------
    void SetEnterAction(KeyAction action) { m_enterAction = action; }
    void SetEscapeAction(KeyAction action) { m_escapeAction = action; }
    // Appends a separator and `caption` to the system menu; choosing it calls
    // OnAbout. `commandId` must be below 0xF000 and a multiple of 16 (16 is the
    // usual about-box command). Call from OnInitDialog.
    bool AddAboutItem(std::wstring_view caption, UINT commandId = 0x0010);
    // While the window is dragged (WM_MOVING) its rectangle is held inside `area`.
    void KeepOnScreen(bool enable, ScreenArea area = ScreenArea::Primary) {
        m_keepOnScreen = enable;
        m_screenArea = area;
    }
    // Handler for one private message (WM_APP + n, a registered message, or the
    // plain numbers some controls send to their parents). Its result is the
    // message's result. Replaces an earlier handler for the same message.
    void OnMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler);

protected:
    // WM_INITDIALOG. Return true to let the system focus the first control.
    virtual bool OnInitDialog() { return true; }
    virtual void OnTimer(UINT_PTR id) {}
    // WM_COMMAND from a control, menu or accelerator. Return true when handled;
    // IDOK and IDCANCEL that are not handled here go to OnOk / OnCancel.
    virtual bool OnCommand(int id, int code, HWND control) { return false; }
    // WM_NOTIFY. Set `handled` and return the result when handled.
    virtual LRESULT OnNotify(int id, NMHDR& header, bool& handled) { return 0; }
    // WM_HSCROLL / WM_VSCROLL from a trackbar (or scroll bar) control;
    // `code` is TB_THUMBTRACK, TB_ENDTRACK, SB_... ; `position` from the message.
    virtual void OnScroll(int controlId, HWND control, int code, int position) {}
    virtual void OnSize(int clientWidth, int clientHeight) {}
    // Enter, the OK button (IDOK). Default: EndDialog(IDOK).
    virtual void OnOk() { EndDialog(IDOK); }
    // Escape, the Cancel button (IDCANCEL). Default: EndDialog(IDCANCEL).
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_CLOSE (title-bar close button, Alt+F4, WM_CLOSE from outside).
    // Default: OnCancel().
    virtual void OnClose() { OnCancel(); }
    // WM_DESTROY: kill timers and release what OnInitDialog acquired.
    virtual void OnDestroy() {}
    // The about item of the system menu (see AddAboutItem).
    virtual void OnAbout() {}
    // Tooltip text asked for a tool registered with a text callback
    // (ToolTips::AddCallbackTool); `controlId` is the tool's control id.
    virtual std::wstring OnToolTipText(int controlId) { return {}; }
    // Sees every message before the handlers above. Return true (and set
    // `result`) to stop the message here.
    virtual bool PreHandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return false;
    }

private:
    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleKey(const MSG& msg);
    friend class DialogThread;

    UINT m_templateId;
    HINSTANCE m_instance;
    std::atomic<HWND> m_hwnd{nullptr};
    bool m_modal = false;
    bool m_ended = false;
    INT_PTR m_result = IDCANCEL;
    KeyAction m_enterAction = KeyAction::Default;
    KeyAction m_escapeAction = KeyAction::Default;
    UINT m_aboutCommand = 0;
    bool m_keepOnScreen = false;
    ScreenArea m_screenArea = ScreenArea::Primary;
    std::map<UINT, std::function<LRESULT(WPARAM, LPARAM)>> m_messageHandlers;
    std::wstring m_toolTipBuffer;  // keeps the text of the last TTN_GETDISPINFO answer alive
    std::function<void(HWND)> m_onInitialized;  // DialogThread learns the shown window
};

// Runs the thread's message loop for modeless dialogs until WM_QUIT; returns
// its exit code.
int RunMessageLoop();

// A dialog shown by a worker thread that runs its own modal loop. The dialog is
// constructed, run and destroyed on that thread.
class DialogThread {
public:
    using Factory = std::function<std::unique_ptr<Dialog>()>;

    DialogThread() = default;
    // Ends a dialog still open (EndDialog(IDCANCEL)) and joins the thread.
    ~DialogThread();
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    // Starts the thread (created suspended, given `priority`, then resumed).
    bool Start(Factory factory, int priority = THREAD_PRIORITY_IDLE);
    // Waits for the thread to end; true when it has.
    bool Wait(DWORD timeoutMs = INFINITE);
    // The thread handle, for waits of the caller's own.
    HANDLE ThreadHandle() const { return m_thread; }
    // The dialog's window while it is open (nullptr before and after).
    HWND Window() const { return m_window.load(); }
    // Blocks until the dialog's window exists or the thread ended; bounded.
    HWND WaitForWindow(DWORD timeoutMs);
    // The modal result, once the thread has ended (-1 if the dialog failed).
    INT_PTR Result() const { return m_result.load(); }

private:
    static DWORD WINAPI ThreadMain(void* self);

    Factory m_factory;
    HANDLE m_thread = nullptr;
    HANDLE m_windowReady = nullptr;  // manual-reset event, set once the window exists or failed
    std::atomic<HWND> m_window{nullptr};
    std::atomic<INT_PTR> m_result{-1};
};

}  // namespace platform
