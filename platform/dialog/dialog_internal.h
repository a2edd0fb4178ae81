// Shared between the dialog layer's own sources only.
#pragma once

#include <windows.h>

namespace platform::dialog_internal {

// Asks a dialog, from any thread, to end itself (wParam: the result).
inline UINT EndDialogMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"SurveyEndDialog");
    return message;
}

}  // namespace platform::dialog_internal
