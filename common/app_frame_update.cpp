// The frame's update steps over the suite's update checker.
#include <memory>

#include "common/app_frame.h"
#include "common/update_checker.h"
#include "platform/heap_report.h"

namespace {

class UpdateCheckerSteps : public StartupUpdateSteps {
public:
    explicit UpdateCheckerSteps(int32_t appId) : m_checker(appId) {}
    bool CheckInstallation() override { return m_checker.CheckInstallation(); }
    bool RunStartupUpdate() override { return m_checker.RunStartupUpdate(); }

private:
    UpdateChecker m_checker;
};

}  // namespace

UpdateStepsFactory SuiteUpdateSteps() {
    return [](int32_t appId) -> std::unique_ptr<StartupUpdateSteps> {
        return std::make_unique<UpdateCheckerSteps>(appId);
    };
}

int RunServiceProgram(AppFrameTable table, const MainDialogRunner& mainDialog) {
    const platform::HeapReport heapReport;  // only when the soak asks for it
    AppFrame frame(std::move(table), SuiteUpdateSteps());
    return frame.Run(mainDialog);
}
