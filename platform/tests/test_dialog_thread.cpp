// A dialog shown by a worker thread that runs its own modal loop and closes
// itself when an event is signalled, while the main thread keeps working.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "dialog_sample_resource.h"
#include "platform/dialog/dialog.h"

namespace {

// Polls the event on a timer (500 ms at first, then every 250 ms) and ends
// itself with IDCANCEL once it is signalled.
class EventClosedDialog : public platform::Dialog {
public:
    EventClosedDialog(HANDLE done, std::atomic<DWORD>* threadId)
        : Dialog(IDD_PROGRESS), m_done(done), m_threadId(threadId) {}

protected:
    bool OnInitDialog() override {
        *m_threadId = ::GetCurrentThreadId();
        platform::ProgressMarquee(Item(IDC_PROGRESS), true, 50);
        SetTimer(1, 500);
        return true;
    }
    void OnTimer(UINT_PTR id) override {
        KillTimer(id);
        if (::WaitForSingleObject(m_done, 0) == WAIT_OBJECT_0 && IsOpen()) {
            ::PostMessageW(Handle(), WM_COMMAND, IDCANCEL, 0);
        }
        SetTimer(1, 250);
    }

private:
    HANDLE m_done;
    std::atomic<DWORD>* m_threadId;
};

class DialogThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::InitCommonControlClasses());
        m_done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(m_done, nullptr);
    }
    void TearDown() override { ::CloseHandle(m_done); }

    HANDLE m_done = nullptr;
    std::atomic<DWORD> m_threadId{0};
};

TEST_F(DialogThreadTest, ClosesItselfWhenTheEventIsSignalled) {
    platform::DialogThread thread;
    ASSERT_TRUE(
        thread.Start([this] { return std::make_unique<EventClosedDialog>(m_done, &m_threadId); }));
    HWND window = thread.WaitForWindow(10000);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(m_threadId.load(), ::GetCurrentThreadId());
    EXPECT_EQ(::GetWindowThreadProcessId(window, nullptr), m_threadId.load());
    EXPECT_EQ(::GetThreadPriority(thread.ThreadHandle()), THREAD_PRIORITY_IDLE);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_NE(::GetWindowLongW(::GetDlgItem(window, IDC_PROGRESS), GWL_STYLE) & PBS_MARQUEE, 0);

    // The main thread is busy; the dialog stays up on its own thread.
    ::Sleep(700);
    EXPECT_FALSE(thread.Wait(0));
    EXPECT_TRUE(::IsWindow(window));

    ::SetEvent(m_done);
    ASSERT_TRUE(thread.Wait(10000));
    EXPECT_EQ(thread.Result(), IDCANCEL);
    EXPECT_EQ(thread.Window(), nullptr);
    EXPECT_FALSE(::IsWindow(window));
}

TEST_F(DialogThreadTest, EventSignalledBeforeTheWindowExistsStillCloses) {
    ::SetEvent(m_done);
    platform::DialogThread thread;
    ASSERT_TRUE(
        thread.Start([this] { return std::make_unique<EventClosedDialog>(m_done, &m_threadId); },
                     THREAD_PRIORITY_NORMAL));
    ASSERT_TRUE(thread.Wait(10000));
    EXPECT_EQ(thread.Result(), IDCANCEL);
}

TEST_F(DialogThreadTest, DestructorEndsADialogStillOpen) {
    HWND window = nullptr;
    {
        platform::DialogThread thread;
        ASSERT_TRUE(thread.Start(
            [this] { return std::make_unique<EventClosedDialog>(m_done, &m_threadId); }));
        window = thread.WaitForWindow(10000);
        ASSERT_NE(window, nullptr);
    }
    EXPECT_FALSE(::IsWindow(window));
}

TEST_F(DialogThreadTest, FactoryWithoutDialogEndsTheThread) {
    platform::DialogThread thread;
    ASSERT_TRUE(thread.Start([] { return std::unique_ptr<platform::Dialog>(); }));
    EXPECT_EQ(thread.WaitForWindow(10000), nullptr);
    ASSERT_TRUE(thread.Wait(10000));
    EXPECT_EQ(thread.Result(), -1);
    EXPECT_FALSE(thread.Start([] { return std::unique_ptr<platform::Dialog>(); }));
}

// A plain dialog held on screen while the operator drags it by its title bar.
class HeldDialog : public platform::Dialog {
public:
    explicit HeldDialog(RECT* finalRect) : Dialog(IDD_SAMPLE), m_finalRect(finalRect) {
        KeepOnScreen(true);
    }

protected:
    bool OnInitDialog() override {
        ::SetWindowPos(Handle(), HWND_TOPMOST, 200, 300, 0, 0, SWP_NOSIZE);
        SetTimer(1, 15000);  // bounds the test
        return true;
    }
    void OnTimer(UINT_PTR) override { EndDialog(IDABORT); }
    void OnOk() override {
        ::GetWindowRect(Handle(), m_finalRect);
        EndDialog(IDOK);
    }

private:
    RECT* m_finalRect;
};

void MouseInput(DWORD flags, int x = 0, int y = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if ((flags & MOUSEEVENTF_ABSOLUTE) != 0) {
        // Absolute coordinates run 0..65535 across the primary screen.
        input.mi.dx = static_cast<LONG>(x * 65535LL / (::GetSystemMetrics(SM_CXSCREEN) - 1));
        input.mi.dy = static_cast<LONG>(y * 65535LL / (::GetSystemMetrics(SM_CYSCREEN) - 1));
    }
    ::SendInput(1, &input, sizeof(input));
    ::Sleep(60);
}

TEST(DialogDrag, DraggingPastTheLeftEdgeStopsAtZero) {
    platform::InitCommonControlClasses();
    platform::DialogThread thread;
    RECT finalRect{};
    ASSERT_TRUE(thread.Start([&finalRect] { return std::make_unique<HeldDialog>(&finalRect); },
                             THREAD_PRIORITY_NORMAL));
    HWND window = thread.WaitForWindow(10000);
    ASSERT_NE(window, nullptr);
    ::Sleep(200);
    RECT start{};
    ::GetWindowRect(window, &start);
    int grabX = start.left + 60;
    int grabY = start.top + ::GetSystemMetrics(SM_CYCAPTION) / 2 + 2;
    constexpr DWORD kMove = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    MouseInput(kMove, grabX, grabY);
    MouseInput(MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 6; ++step) {
        MouseInput(kMove, grabX - step * 80, grabY + step * 5);
    }
    MouseInput(MOUSEEVENTF_LEFTUP);
    ::Sleep(200);
    ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(thread.Wait(20000));
    ASSERT_EQ(thread.Result(), IDOK) << "the dialog timed out";
    // Dragged 480 pixels left from x = 200: held at 0, moved down as dragged.
    EXPECT_EQ(finalRect.left, 0);
    EXPECT_EQ(finalRect.right - finalRect.left, start.right - start.left);
    EXPECT_EQ(finalRect.top, start.top + 30);
}

}  // namespace
