// The application side of the framework: the one application object of the
// program, which registers itself when it is constructed, and the start-up
// that calls its InitInstance once the window system is there.
#pragma once

#include "platform/Window.h"

namespace vardel {

class Dialog;

class Application {
public:
    // Registers this object as the running application.
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The object that registered last and still lives; null when none.
    static Application* Running();

    // The framework's start-up: InitInstance, then ExitInstance, whose result
    // is the program's exit status. The program's one window is modal and
    // runs inside InitInstance, so the framework has no message loop of its
    // own to run afterwards.
    int Run(WindowSystem& windows);

    virtual bool InitInstance() = 0;
    virtual int ExitInstance();

    void SetMainWindow(Dialog* dialog) { mainWindow_ = dialog; }
    [[nodiscard]] Dialog* MainWindow() const { return mainWindow_; }

protected:
    // Only during Run.
    WindowSystem& Windows() { return *windows_; }

private:
    WindowSystem* windows_ = nullptr;
    Dialog* mainWindow_ = nullptr;
};

}  // namespace vardel
