// The program: its process-wide objects and its entry. The serial device that
// stands for "COM4:" is fixed when the program is built (VARDEL_COM4_DEVICE).
#include <csignal>
#include <vector>

#include "app/UpgradeApp.h"
#include "app/resources/Resource.h"
#include "engine/UpgradeEngine.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/Surroundings.h"
#include "platform/qt/QtHost.h"

#if VARDEL_DEMO
#include <unistd.h>

#include <QGuiApplication>

#include "app/demo/DemoDriver.h"
#endif

namespace vardel {
namespace {

// First of all, before anything opens a descriptor: the surroundings the
// program was started in are made safe (see Surroundings.h).
[[maybe_unused]] const bool theSurroundingsSettled = linuxos::SettleSurroundings();

// The system's services come before the program's objects and go after them:
// the engine closes its port through them at exit.
linuxos::LinuxPlatform thePlatform{VARDEL_COM4_DEVICE};

// The program's two objects, constructed in this order and so destroyed in
// the reverse one: at exit the engine closes the port and frees the image
// first, then the application object goes. The application object only binds
// a reference to the engine, whose construction follows on the next line.
extern UpgradeEngine theEngine;
UpgradeApp theApp{theEngine, thePlatform};
UpgradeEngine theEngine{thePlatform};

// Command messages that reach the window from outside: SIGUSR1 is the exit
// command, which writes the reset frame; the usual requests to stop cancel.
const std::vector<qt::SignalRoute> kSignalRoutes = {
    {SIGUSR1, IDC_EXIT},
    {SIGTERM, IDCANCEL},
    {SIGINT, IDCANCEL},
    {SIGHUP, IDCANCEL},
};

}  // namespace
}  // namespace vardel

#if VARDEL_DEMO

// The demonstration build prints the labels as they change and saves a picture
// of the finished window; an optional argument names the picture's file.
// Without a display it also presses the buttons for the user.
int main(int argc, char** argv) {
    vardel::qt::QtHost host(argc > 0 ? argv[0] : "vardel-demo", vardel::kSignalRoutes);
    const bool offscreen = QGuiApplication::platformName() == QStringLiteral("offscreen");
    vardel::demo::DemoDriver demo(argc > 1 ? argv[1] : nullptr, offscreen,
                                  vardel::linuxos::TerminalColumns(STDOUT_FILENO));
    host.Windows().SetObserver(&demo);
    const int status = vardel::theApp.Run(host.Windows());
    host.Windows().SetObserver(nullptr);
    return demo.Finished() ? status : 1;
}

#else

int main(int argc, char** argv) {
    vardel::qt::QtHost host(argc > 0 ? argv[0] : "vardel", vardel::kSignalRoutes);
    return vardel::theApp.Run(host.Windows());
}

#endif
