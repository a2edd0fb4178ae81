// A dialog run modally by a worker thread of its own.
#include "platform/dialog/dialog.h"

#include "platform/dialog/dialog_internal.h"

namespace platform {

DialogThread::~DialogThread() {
    if (m_thread != nullptr) {
        // The window may still be on its way: wait until it exists (or the
        // thread gave up), then end it and join.
        ::WaitForSingleObject(m_windowReady, INFINITE);
        if (HWND window = m_window.load()) {
            ::PostMessageW(window, dialog_internal::EndDialogMessage(), IDCANCEL, 0);
        }
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
    }
    if (m_windowReady != nullptr) {
        ::CloseHandle(m_windowReady);
    }
}

bool DialogThread::Start(Factory factory, int priority) {
    if (m_thread != nullptr || !factory) {
        return false;
    }
    m_factory = std::move(factory);
    m_windowReady = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_windowReady == nullptr) {
        return false;
    }
    m_thread =
        ::CreateThread(nullptr, 0, &DialogThread::ThreadMain, this, CREATE_SUSPENDED, nullptr);
    if (m_thread == nullptr) {
        return false;
    }
    ::SetThreadPriority(m_thread, priority);
    ::ResumeThread(m_thread);
    return true;
}

bool DialogThread::Wait(DWORD timeoutMs) {
    return m_thread == nullptr || ::WaitForSingleObject(m_thread, timeoutMs) == WAIT_OBJECT_0;
}

HWND DialogThread::WaitForWindow(DWORD timeoutMs) {
    if (m_windowReady == nullptr) {
        return nullptr;
    }
    ::WaitForSingleObject(m_windowReady, timeoutMs);
    return m_window.load();
}

DWORD WINAPI DialogThread::ThreadMain(void* param) {
    auto* self = static_cast<DialogThread*>(param);
    std::unique_ptr<Dialog> dialog = self->m_factory();
    if (!dialog) {
        ::SetEvent(self->m_windowReady);
        return 1;
    }
    dialog->m_onInitialized = [self](HWND window) {
        self->m_window = window;
        ::SetEvent(self->m_windowReady);
    };
    INT_PTR result = dialog->DoModal(nullptr);
    self->m_window = nullptr;
    self->m_result = result;
    // Creation failed before the window existed.
    ::SetEvent(self->m_windowReady);
    dialog.reset();
    return 0;
}

}  // namespace platform
