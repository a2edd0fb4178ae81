// Orvanta.exe: the application frame's start-up (single instance, settings,
// start-up update, COM, version text, configuration file), then the main
// dialog modally until the operator closes it, then the frame's clean-up.
#include <windows.h>

#include <memory>

#include "common/app_frame.h"
#include "common/update_checker.h"
#include "gnss/orvanta_dlg.h"

namespace {

// The frame's view of the update checker.
class OrvantaUpdateSteps : public StartupUpdateSteps {
public:
    explicit OrvantaUpdateSteps(int32_t appId) : m_checker(appId) {}
    bool CheckInstallation() override { return m_checker.CheckInstallation(); }
    bool RunStartupUpdate() override { return m_checker.RunStartupUpdate(); }

private:
    UpdateChecker m_checker;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    AppFrame frame(OrvantaFrameTable(), [](int32_t appId) -> std::unique_ptr<StartupUpdateSteps> {
        return std::make_unique<OrvantaUpdateSteps>(appId);
    });
    return frame.Run([](AppFrame& app) {
        COrvantaDlg dialog(app.Config(), app.Version());
        dialog.DoModal();
    });
}
