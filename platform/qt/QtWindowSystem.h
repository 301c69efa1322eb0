// The window system on Qt Widgets: icons from Qt's resource system, and modal
// runs of dialog windows built from templates.
#pragma once

#include <QIcon>
#include <vector>

#include "platform/Window.h"

namespace vardel::qt {

class HostObserver;
class QtDialogWindow;

class QtWindowSystem : public WindowSystem {
public:
    // Icon resources live at ":/icon/<number>", one file with all the images.
    IconHandle LoadIcon(int resource) override;
    int RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) override;

    // A null icon for a handle it did not give out.
    [[nodiscard]] QIcon Icon(IconHandle icon) const;
    // The window of the innermost modal run; null when none runs.
    [[nodiscard]] QtDialogWindow* ActiveWindow() const;
    // A command message to the active window; dropped when none runs.
    void SendCommand(int id) const;
    // Watches every window opened from now on; null for none.
    void SetObserver(HostObserver* observer) { observer_ = observer; }

private:
    std::vector<QIcon> icons_;  // a handle is an index plus one
    std::vector<QtDialogWindow*> running_;
    HostObserver* observer_ = nullptr;
};

}  // namespace vardel::qt
