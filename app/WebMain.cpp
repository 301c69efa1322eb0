// The program in the browser: the engine and the main dialog on the page's
// platform and window. A page has no modal run: the dialog is shown and lives
// as long as the page, its messages coming from the page's events; the page's
// script starts it, and tells what the user chose.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/resources/Resource.h"
#include "app/resources/Resources.h"
#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"
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

// The file the user picked: its first bytes (all the engine can use) and its
// whole size, checked as vardel-flash checks a file. The answer's first line
// is "usable" with the number of whole blocks, or "refused"; the reason or
// the warnings follow, one a line. A refused file is not served: the one
// before it, if any, stays.
EMSCRIPTEN_KEEPALIVE const char* vardel_firmware_chosen(const char* name, const std::uint8_t* bytes,
                                                        std::uint32_t length, double fileSize) {
    const vardel::flash::SizeVerdict verdict =
        vardel::flash::CheckFirmwareSize(name, static_cast<std::uintmax_t>(fileSize));
    const std::uintmax_t kept = std::min<std::uintmax_t>(length, vardel::kImageCapacity);
    vardel::answer = verdict.usable ? "usable " + std::to_string(kept / vardel::wire::kBlockSize)
                                    : "refused\n" + verdict.error;
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

// How much of a file the engine can use: the page hands over no more.
EMSCRIPTEN_KEEPALIVE std::uint32_t vardel_image_capacity() { return vardel::kImageCapacity; }

// The image has been loaded and the MCU told to take it: another file can
// only be sent after a new start of the page.
EMSCRIPTEN_KEEPALIVE int vardel_upgrade_began() {
    return vardel::theEngine.GetStep() >= vardel::STEP_HANDSHAKE ? 1 : 0;
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
