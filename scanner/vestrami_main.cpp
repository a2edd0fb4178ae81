// Vestrami.exe: the application frame's start-up (single instance, settings,
// start-up update, COM, version text, configuration file), then the main
// dialog modally until the operator closes it, then the frame's clean-up.
// The command line is an optional vehicle index.
#include <windows.h>

#include "common/app_frame.h"
#include "scanner/vestrami_dlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const std::wstring arguments = commandLine != nullptr ? commandLine : L"";
    return RunServiceProgram(VestramiFrameTable(), [&arguments](AppFrame& app) {
        CVestramiDlg dialog(app.Config(), app.Version(), arguments);
        dialog.DoModal();
    });
}
