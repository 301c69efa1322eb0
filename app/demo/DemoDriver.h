// The demonstration's companion. It prints each label as it changes and saves
// a picture of the window when the button offers the restart. Without a
// display it also stands in for the user: it presses the start button once it
// is enabled, presses it once more at the end (the reset frame) and closes the
// window; such a run that has not finished in two minutes is given up. With a
// display the user does the pressing and closes the window.
#pragma once

#include <QString>
#include <map>

#include "platform/qt/HostObserver.h"

namespace vardel::demo {

class DemoDriver : public qt::HostObserver {
public:
    // Null: the picture goes to the temporary folder.
    DemoDriver(const char* picturePath, bool actForUser);

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
    bool actForUser_;
    bool pressed_ = false;
    bool finished_ = false;
};

}  // namespace vardel::demo
