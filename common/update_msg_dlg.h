// The progress window shown by a worker thread while database command sets
// run; it closes itself once the main thread signals the event.
#pragma once

#include <windows.h>

#include "platform/dialog/dialog.h"

inline constexpr UINT kUpdateMsgDlgTemplate = 6001;
inline constexpr int kUpdateProgressBar = 6002;

class CUpdateMsgDlg : public platform::Dialog {
public:
    // `done`: auto-reset event, signalled when the work is over (not owned).
    explicit CUpdateMsgDlg(HANDLE done);

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;

private:
    HANDLE m_done;
};
