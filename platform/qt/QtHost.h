// The framework's start-up on Qt: the application object of Qt, the window
// system and the signals that stand for command messages, for as long as the
// program's main function runs.
#pragma once

#include <QApplication>
#include <memory>
#include <vector>

#include "platform/qt/QtWindowSystem.h"
#include "platform/qt/SignalCommands.h"
#include "platform/qt/WindowSystemStart.h"

namespace vardel::qt {

class QtHost {
public:
    // Qt is given the program's name only: the program reads no command line.
    // Without a display the process ends here, with one line and status 1.
    QtHost(const char* programName, const std::vector<SignalRoute>& routes);
    ~QtHost();
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    QtWindowSystem& Windows() { return windows_; }

private:
    int argc_ = 1;
    char* argv_[2];
    WindowSystemStart start_;
    QApplication application_;
    QtWindowSystem windows_;
    SignalCommands signals_;
};

}  // namespace vardel::qt
