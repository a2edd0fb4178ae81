// Orvanta.exe: the application frame's start-up (single instance, settings,
// start-up update, COM, version text, configuration file), then the main
// dialog modally until the operator closes it, then the frame's clean-up.
#include <windows.h>

#include "common/app_frame.h"
#include "gnss/orvanta_dlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunServiceProgram(OrvantaFrameTable(), [](AppFrame& app) {
        COrvantaDlg dialog(app.Config(), app.Version());
        dialog.DoModal();
    });
}
