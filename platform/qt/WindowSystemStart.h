// The start of Qt's window system, ended the way a command-line tool ends
// when there is no display to open the window on: one line on standard error
// that says what is missing and what to set, and exit status 1, where Qt would
// abort with a core dump.
#pragma once

#include <string>

namespace vardel::qt {

class WindowSystemStart {
public:
    // Before Qt's application object: ends the process when no display is
    // named at all, and otherwise holds Qt's messages back until Started(), so
    // that a platform plugin that cannot start ends it with one line too.
    explicit WindowSystemStart(const char* programName);
    // The application object is up: Qt's messages go where they went before,
    // the ones held back first.
    void Started();
    ~WindowSystemStart();
    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;

private:
    bool watching_ = false;
};

}  // namespace vardel::qt
