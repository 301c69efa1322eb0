// Hooks through which a demonstration build watches and drives the window
// the way a person would. The program proper installs none.
#pragma once

#include <QString>

namespace vardel::qt {

class QtDialogWindow;

class HostObserver {
public:
    HostObserver() = default;
    HostObserver(const HostObserver&) = delete;
    HostObserver& operator=(const HostObserver&) = delete;
    virtual ~HostObserver() = default;

    // The window is built and initialised, about to be shown.
    virtual void WindowOpened(QtDialogWindow& /*window*/) {}
    virtual void ControlTextSet(QtDialogWindow& /*window*/, int /*control*/,
                                const QString& /*text*/) {}
    virtual void ControlEnabled(QtDialogWindow& /*window*/, int /*control*/, bool /*enabled*/) {}
    virtual void WindowEnded(QtDialogWindow& /*window*/, int /*result*/) {}
};

}  // namespace vardel::qt
