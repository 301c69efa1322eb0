// The window system on Windows: icons from the program's resources, and modal
// runs of dialogs built by the system's dialog manager from templates.
#pragma once

#include "platform/Window.h"

namespace vardel::win32 {

class Win32WindowSystem final : public WindowSystem {
public:
    // Registers the common controls the templates use (the progress bar).
    Win32WindowSystem();

    // LoadIconW on the program's own module.
    IconHandle LoadIcon(int resource) override;
    // DialogBoxIndirectParamW on the template built in memory, with no
    // owner window.
    int RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) override;
};

}  // namespace vardel::win32
