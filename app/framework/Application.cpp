#include "app/framework/Application.h"

namespace vardel {

namespace {
Application* running = nullptr;
}  // namespace

Application::Application() { running = this; }

Application::~Application() {
    if (running == this) {
        running = nullptr;
    }
}

Application* Application::Running() { return running; }

int Application::Run(WindowSystem& windows) {
    windows_ = &windows;
    // Whatever InitInstance answers, there is nothing more to run: a true
    // would ask for the framework's own message loop, which no window of this
    // program needs.
    static_cast<void>(InitInstance());
    const int status = ExitInstance();
    windows_ = nullptr;
    return status;
}

int Application::ExitInstance() { return 0; }

}  // namespace vardel
