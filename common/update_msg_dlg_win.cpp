#include "common/update_msg_dlg.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kFirstPollMs = 500;
constexpr UINT kPollMs = 250;
constexpr UINT kMarqueeStepMs = 50;

}  // namespace

CUpdateMsgDlg::CUpdateMsgDlg(HANDLE done) : platform::Dialog(kUpdateMsgDlgTemplate), m_done(done) {
    // The window only reports progress: the keys must not close it early.
    SetEnterAction(platform::KeyAction::Ignore);
    SetEscapeAction(platform::KeyAction::Ignore);
}

bool CUpdateMsgDlg::OnInitDialog() {
    if (HWND bar = Item(kUpdateProgressBar)) {
        ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
        ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, kMarqueeStepMs);
    }
    SetTimer(kPollTimer, kFirstPollMs);
    return true;
}

void CUpdateMsgDlg::OnTimer(UINT_PTR id) {
    if (id != kPollTimer)
        return;
    KillTimer(kPollTimer);
    if (::WaitForSingleObject(m_done, 0) == WAIT_OBJECT_0 && ::IsWindow(Handle()))
        ::PostMessageW(Handle(), WM_COMMAND, IDCANCEL, 0);
    SetTimer(kPollTimer, kPollMs);
}
