// The window system on Windows: icons from the program's resources, and modal
// runs of dialogs that the system's dialog manager builds from templates.
#pragma once

#include "platform/Window.h"

namespace vardel::win32 {

class Win32WindowSystem final : public WindowSystem {
public:
    // Registers the common controls the templates use (the progress bar).
    Win32WindowSystem();

    // LoadIconW on the program's own module.
    IconHandle LoadIcon(int resource) override;
    // The dialog manager creates the window from the template built in
    // memory (CreateDialogIndirectParamW, no owner); the modal loop here
    // passes its messages through IsDialogMessageW, as DialogBox's own loop
    // does, and delivers the ticks of the fast timers when nothing else waits.
    int RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) override;
};

}  // namespace vardel::win32
