// The application object: runs the main dialog modally once and then lets
// the process end. It keeps no settings and reads no command line.
#pragma once

#include "app/framework/Application.h"
#include "engine/UpgradeEngine.h"
#include "platform/Platform.h"

namespace vardel {

class UpgradeApp : public Application {
public:
    // Only keeps the two references: the process-wide engine is constructed
    // after the application object and must not be touched before then.
    UpgradeApp(UpgradeEngine& engine, Platform& platform);

    bool InitInstance() override;

private:
    UpgradeEngine& engine_;
    Platform& platform_;
};

}  // namespace vardel
