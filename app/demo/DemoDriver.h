// The demonstration's stand-in for the user, for runs without a display: it
// presses the start button once it is enabled, prints each label as it
// changes, and when the button offers the restart it saves a picture of the
// window, presses the button once more (the reset frame) and closes the
// window. A run that has not finished in two minutes is given up.
#pragma once

#include <QString>
#include <map>

#include "platform/qt/HostObserver.h"

namespace vardel::demo {

class DemoDriver : public qt::HostObserver {
public:
    // Null: the picture goes to the temporary folder.
    explicit DemoDriver(const char* picturePath);

    // True once the upgrade run reached its end and the picture was saved.
    [[nodiscard]] bool Finished() const { return finished_; }

    void WindowOpened(qt::QtDialogWindow& window) override;
    void ControlTextSet(qt::QtDialogWindow& window, int control, const QString& text) override;
    void ControlEnabled(qt::QtDialogWindow& window, int control, bool enabled) override;
    void WindowEnded(qt::QtDialogWindow& window, int result) override;

private:
    void PressStart(qt::QtDialogWindow& window);
    void SavePicture(qt::QtDialogWindow& window);

    QString picturePath_;
    std::map<int, QString> shown_;
    QString startText_;
    bool pressed_ = false;
    bool finished_ = false;
};

}  // namespace vardel::demo
