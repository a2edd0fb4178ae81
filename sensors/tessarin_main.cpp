// Tessarin.exe: the application frame's start-up (single instance, settings,
// start-up update, COM, version text, configuration file), then the main
// dialog modally until the operator closes it, then the frame's clean-up.
#include <windows.h>

#include <string>

#include "common/app_frame.h"
#include "platform/text.h"
#include "sensors/tessarin_dlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const std::u16string arguments =
        commandLine != nullptr ? platform::ToU16(commandLine) : std::u16string();
    return RunServiceProgram(TessarinFrameTable(), [&](AppFrame& app) {
        CTessarinDlg dialog(app.Config(), app.Version(), arguments);
        dialog.DoModal();
    });
}
