// The demonstration's companion. It prints each label as it changes and saves
// a picture of the window when the button offers the restart. Without a
// display it also stands in for the user: it presses the start button once it
// is enabled, presses it once more at the end (the reset frame) and closes the
// window; such a run that has not finished in two minutes is given up. With a
// display the user does the pressing and closes the window.
//
// On a terminal the percentage, step and status labels make one live line
// instead of a line each time they change; elsewhere (a log, a test reading
// the output) every change is a plain line of its own.
#pragma once

#include <QString>
#include <map>
#include <optional>

#include "app/demo/LiveLine.h"
#include "platform/qt/HostObserver.h"

namespace vardel::demo {

class DemoDriver : public qt::HostObserver {
public:
    // Null: the picture goes to the temporary folder. terminalColumns: the
    // width of the terminal that standard output is, 0 when it is none.
    DemoDriver(const char* picturePath, bool actForUser, int terminalColumns);

    // True once the upgrade run reached its end and the picture was saved.
    [[nodiscard]] bool Finished() const { return finished_; }

    void WindowOpened(qt::QtDialogWindow& window) override;
    void ControlTextSet(qt::QtDialogWindow& window, int control, const QString& text) override;
    void ControlEnabled(qt::QtDialogWindow& window, int control, bool enabled) override;
    void WindowEnded(qt::QtDialogWindow& window, int result) override;

private:
    void PressStart(qt::QtDialogWindow& window);
    void SavePicture(qt::QtDialogWindow& window);
    void Say(const QString& line);
    bool ShowLive(int control, const QString& text);

    QString picturePath_;
    std::map<int, QString> shown_;
    QString startText_;
    bool actForUser_;
    bool pressed_ = false;
    bool finished_ = false;
    std::optional<LiveLine> live_;
};

}  // namespace vardel::demo
