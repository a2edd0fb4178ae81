// Closing the main window on Windows: the same WM_CLOSE the operator's close
// button sends, posted so the caller never waits for the window's thread.
#include <windows.h>

#include "common/app_context.h"

namespace app_context {

bool DefaultCloseRequest(std::uintptr_t hwnd) {
    if (hwnd == 0)
        return false;
    return ::PostMessageW(reinterpret_cast<HWND>(hwnd), WM_CLOSE, 0, 0) != FALSE;
}

}  // namespace app_context
