// Custom child windows (a drawing surface inside a dialog, for instance): a
// window class of our own whose messages go to a virtual handler.
#pragma once

#include <windows.h>

namespace platform {

class ChildWindow {
public:
    ChildWindow() = default;
    // Destroys the window if it still exists.
    virtual ~ChildWindow();
    ChildWindow(const ChildWindow&) = delete;
    ChildWindow& operator=(const ChildWindow&) = delete;

    // Registers `className` once per process (arrow cursor, no background brush:
    // the window paints all of itself; double clicks on) and creates the child
    // with control id `id` at `rect` in the parent's client coordinates.
    bool Create(HWND parent, int id, const RECT& rect, DWORD style = WS_CHILD | WS_VISIBLE,
                DWORD exStyle = 0, const wchar_t* className = L"SurveyChildWindow");
    void Destroy();
    HWND Handle() const { return m_hwnd; }

protected:
    // Return true (and set `result`) for the messages handled; the others go
    // to DefWindowProc.
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return false;
    }

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};

}  // namespace platform
