#include "app/UpgradeApp.h"

#include "app/MainDialog.h"

namespace vardel {

UpgradeApp::UpgradeApp(UpgradeEngine& engine, Platform& platform)
    : engine_(engine), platform_(platform) {}

// The whole upgrade run happens inside the one modal run. Its result, and the
// failure to create the window, change nothing: the process ends either way.
bool UpgradeApp::InitInstance() {
    {
        MainDialog dialog(engine_, platform_, Windows());
        SetMainWindow(&dialog);
        static_cast<void>(dialog.DoModal());
        SetMainWindow(nullptr);
    }
    return false;
}

}  // namespace vardel
