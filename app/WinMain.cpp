// The Windows program, Vardel.exe: its process-wide objects and its entry.
#include "platform/win32/SystemHeaders.h"

#include "app/UpgradeApp.h"
#include "engine/UpgradeEngine.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32WindowSystem.h"

namespace vardel {
namespace {

// The system's services come before the program's objects and go after them:
// the engine closes its port through them at exit.
win32::Win32Platform thePlatform;

// The program's two objects, constructed in this order and so destroyed in
// the reverse one: at exit the engine closes the port and frees the image
// first, then the application object goes. The application object only binds
// a reference to the engine, whose construction follows on the next line.
extern UpgradeEngine theEngine;
UpgradeApp theApp{theEngine, thePlatform};
UpgradeEngine theEngine{thePlatform};

}  // namespace
}  // namespace vardel

// No command line: the program reads nothing but its firmware file.
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    vardel::win32::Win32WindowSystem windows;
    return vardel::theApp.Run(windows);
}
