// A dialog window built from a template with Qt Widgets. It turns key presses,
// close requests, button clicks and timer events into the dialog's messages,
// and carries out what the dialog asks of its window.
#pragma once

#include <QDialog>
#include <QWidget>
#include <map>
#include <vector>

#include "platform/DialogTemplate.h"
#include "platform/Window.h"
#include "platform/qt/DialogUnits.h"

namespace vardel::qt {

class HostObserver;
class QtWindowSystem;

class QtDialogWindow : public QDialog, public Window {
public:
    // Builds the window, hidden, with its controls in template order.
    QtDialogWindow(const DialogTemplate& dialogTemplate, DialogMessages& messages,
                   const QtWindowSystem& system, HostObserver* observer);
    ~QtDialogWindow() override;
    QtDialogWindow(const QtDialogWindow&) = delete;
    QtDialogWindow& operator=(const QtDialogWindow&) = delete;

    // False when a control's class is not one this window system knows.
    [[nodiscard]] bool IsComplete() const { return complete_; }
    [[nodiscard]] DialogBaseUnits BaseUnits() const { return units_; }
    // The control with that identifier; null when there is none.
    [[nodiscard]] QWidget* Control(int id) const;
    [[nodiscard]] bool Ended() const { return ended_; }

    // InitDialog, then the modal run; Destroyed when the run is over.
    int Run();
    // A command message from outside the window (a signal, a test).
    void SendCommand(int id);

    void SetControlText(int control, const char16_t* text) override;
    void EnableControl(int control, bool enable) override;
    void SetBarPosition(int control, int position) override;
    void StartTimer(int timer, std::uint32_t periodMs) override;
    void SetIcon(int which, IconHandle icon) override;
    void MakeTopmost() override;
    void EndDialog(int result) override;

    // Escape and the window manager's close request both come here.
    void reject() override;
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void BuildControls(const DialogTemplate& dialogTemplate);
    QWidget* BuildControl(const ControlTemplate& control);
    void PlaceCentred();
    void Deliver(int id, int notification);
    void FocusFirstControl();
    [[nodiscard]] bool HasDefaultButton() const;

    DialogMessages& messages_;
    const QtWindowSystem& system_;
    HostObserver* observer_;
    DialogBaseUnits units_;
    bool complete_ = true;
    bool centred_ = false;
    bool ended_ = false;
    int result_ = -1;
    std::map<int, QWidget*> controls_;
    std::vector<QWidget*> templateOrder_;
    std::map<int, int> timers_;  // Qt's timer identifier to the dialog's
};

}  // namespace vardel::qt
