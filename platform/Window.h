// The narrow window interface between a dialog object and the window system
// that shows it. The dialog object calls Window while its window is open; the
// window system delivers the window's messages through DialogMessages, one at
// a time, on the one user-interface thread. Nothing here throws.
#pragma once

#include <cstdint>

#include "platform/DialogTemplate.h"

namespace vardel {

// An icon loaded from the program's resources; 0 means none.
using IconHandle = std::intptr_t;

// Which of a window's two icons is set.
inline constexpr int ICON_SMALL = 0;
inline constexpr int ICON_BIG = 1;

// Commands that the dialog manager itself sends: Enter, and Escape or a
// request to close the window.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
// The notification code of a clicked button.
inline constexpr int BN_CLICKED = 0;

// An open dialog window; controls are named by their template identifiers.
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window() = default;

    virtual void SetControlText(int control, const char16_t* text) = 0;
    virtual void EnableControl(int control, bool enable) = 0;
    // A progress bar clamps the position to its range, as its control does.
    virtual void SetBarPosition(int control, int position) = 0;
    // Timer messages with this identifier about every periodMs, never more
    // than one waiting at a time. The timer ends with the window.
    virtual void StartTimer(int timer, std::uint32_t periodMs) = 0;
    virtual void SetIcon(int which, IconHandle icon) = 0;
    // Keeps the window above all others, in place and at its size.
    virtual void MakeTopmost() = 0;
    // Ends the modal run once the current message has been handled; the run
    // returns result. No message reaches the dialog after that one.
    virtual void EndDialog(int result) = 0;
};

// The messages of a dialog window, in the order a window sends them:
// InitDialog once, before the window is shown; then timer and command
// messages; then Destroyed once, after which window is gone.
class DialogMessages {
public:
    DialogMessages() = default;
    DialogMessages(const DialogMessages&) = delete;
    DialogMessages& operator=(const DialogMessages&) = delete;
    virtual ~DialogMessages() = default;

    // Nonzero: the window system gives the focus to the first control that
    // takes it.
    virtual int InitDialog(Window& window) = 0;
    virtual void Timer(int timer) = 0;
    virtual void Command(int id, int notification) = 0;
    virtual void Destroyed() = 0;
};

// The services that do not need an open window.
class WindowSystem {
public:
    WindowSystem() = default;
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;
    virtual ~WindowSystem() = default;

    // The icon resource of that number, with all its images; 0 when missing.
    virtual IconHandle LoadIcon(int resource) = 0;
    // Builds a window from the template, runs it modally and delivers its
    // messages until EndDialog; returns the result given to EndDialog, or -1
    // when the window could not be created.
    virtual int RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) = 0;
};

}  // namespace vardel
