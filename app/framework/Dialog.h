// The dialog side of the application framework: a dialog object that runs
// modally from a template among the program's resources, a data exchange that
// binds control objects to the window's controls, a progress-bar control
// object, and a command map from notification and identifier range to
// handler. Plain C++ over the narrow Window interface; no window system here.
#pragma once

#include <cstddef>

#include "platform/Window.h"

namespace vardel {

class Dialog;

// One run of a dialog's DoDataExchange, in either direction.
struct DataExchange {
    Dialog& dialog;
    bool saving = false;  // true: from the controls into the dialog object
};

// A progress bar of the window, reached through its dialog. Until it is
// bound, and after the window is gone, setting its position does nothing.
class ProgressCtrl {
public:
    void Bind(Dialog& owner, int control);
    void SetPos(int position);

private:
    Dialog* owner_ = nullptr;
    int control_ = 0;
};

// Binds a control object to the control with that identifier.
void DDX_Control(DataExchange& dx, int control, ProgressCtrl& object);

// One entry of a command map: the handler for a notification from the
// controls or commands firstId to lastId.
template <typename D>
struct CommandMapEntry {
    int notification;
    int firstId;
    int lastId;
    void (D::*handler)();
};

class Dialog : public DialogMessages {
public:
    Dialog(int templateId, WindowSystem& windows);

    // Runs the dialog modally; returns what EndDialog was given, or -1 when
    // the template is missing or the window could not be created.
    int DoModal();

    [[nodiscard]] bool HasWindow() const { return window_ != nullptr; }
    // Only while the window exists.
    Window& GetWindow() { return *window_; }

    void EndDialog(int result);
    // Runs DoDataExchange in the given direction.
    void UpdateData(bool saving);

protected:
    // Binds the control objects; returns 1 so that the focus is placed for us.
    virtual int OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx);
    // Timer messages that the dialog does not want end here.
    virtual void OnTimer(int timer);
    // The dialog's own commands; false when none of its handlers took it.
    virtual bool OnCommand(int id, int notification);
    virtual void OnOK();
    virtual void OnCancel();

    // Calls the first entry of the map that matches the command, if any.
    template <typename D, std::size_t N>
    bool DispatchCommand(const CommandMapEntry<D> (&map)[N], D& dialog, int id, int notification) {
        for (const CommandMapEntry<D>& entry : map) {
            if (entry.notification == notification && entry.firstId <= id && id <= entry.lastId) {
                (dialog.*entry.handler)();
                return true;
            }
        }
        return false;
    }

    WindowSystem& windows_;

private:
    int InitDialog(Window& window) final;
    void Timer(int timer) final;
    void Command(int id, int notification) final;
    void Destroyed() final;

    int templateId_;
    Window* window_ = nullptr;
};

}  // namespace vardel
