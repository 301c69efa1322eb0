// The program in the browser: the engine and the main dialog on the page's
// platform and window. A page has no modal run: the dialog is shown and lives
// as long as the page, its messages coming from the page's events; the page's
// script starts it, and tells what the user chose.
#include <emscripten/emscripten.h>

#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/resources/Resource.h"
#include "app/resources/Resources.h"
#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"
#include "flash/FirmwareCheck.h"
#include "platform/web/WebPlatform.h"
#include "platform/web/WebWindow.h"

namespace vardel {
namespace {

UpgradeEngine theEngine{web::PagePlatform()};
MainDialog theDialog{theEngine, web::PagePlatform(), web::PageWindows()};

// The last answer handed to the page as text.
std::string answer;

}  // namespace
}  // namespace vardel

int main() {
    const vardel::DialogTemplate* found = vardel::FindDialogTemplate(vardel::IDD_MAIN);
    return found != nullptr && vardel::web::PageWindows().Show(*found, vardel::theDialog) ? 0 : 1;
}

extern "C" {

// The file the user picked, checked as vardel-flash checks it. The answer's
// first line is "usable" or "refused"; the reason or the warnings follow, one
// a line. A refused file is not served: the one before it, if any, stays.
EMSCRIPTEN_KEEPALIVE const char* vardel_firmware_chosen(const char* name, const std::uint8_t* bytes,
                                                        std::uint32_t length) {
    const vardel::flash::SizeVerdict verdict = vardel::flash::CheckFirmwareSize(name, length);
    vardel::answer = verdict.usable ? "usable" : "refused\n" + verdict.error;
    for (const std::string& warning : verdict.warnings) {
        vardel::answer += "\n" + warning;
    }
    if (verdict.usable) {
        vardel::web::PagePlatform().ServeFirmware(std::vector<std::uint8_t>(bytes, bytes + length));
    }
    return vardel::answer.c_str();
}

// A write handed to the port failed after the engine's write call returned:
// the user is told as for a write that fails at once.
EMSCRIPTEN_KEEPALIVE void vardel_write_failed() {
    vardel::theEngine.ReportMessage(vardel::texts::kSendFailed);
}

// Leaving the page now would leave the unit without its firmware.
EMSCRIPTEN_KEEPALIVE int vardel_upgrade_under_way() {
    const std::int32_t step = vardel::theEngine.GetStep();
    return step == vardel::STEP_HANDSHAKE || step == vardel::STEP_TRANSFER ? 1 : 0;
}

// The dialog has ended: as at the end of the program, the port is let go.
EMSCRIPTEN_KEEPALIVE void vardel_dialog_ended() {
    static_cast<void>(vardel::theEngine.ClosePort());
}
}
