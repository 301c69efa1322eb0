// The one serial port: opened and configured once, then every frame goes out
// through SendBytes.
#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"

namespace vardel {

int UpgradeEngine::OpenPort() {
    if (port != 0) {
        return 1;
    }
    const PortHandle opened = platform_.OpenSerial();
    if (opened == kInvalidHandle || opened == 0) {
        port = 0;
        ReportMessage(texts::kPortOpenFailed);
        return 0;
    }
    port = opened;
    // A port whose settings were refused is not used at unknown settings (its
    // reads might wait): it is closed, and the next tick opens it afresh.
    if (!platform_.ConfigureSerial(port)) {
        ClosePort();
        ReportMessage(texts::kPortConfigFailed);
        return 0;
    }
    platform_.PurgeSerial(port);
    ReportMessage(texts::kPortOpened);
    return 1;
}

int UpgradeEngine::SendBytes(const std::uint8_t* bytes, std::uint32_t length) {
    // On a port that is not open nothing goes out and the failure is reported.
    std::uint32_t written = 0;
    if (length > 0 && port != 0) {
        written = platform_.WriteSerial(port, bytes, length);
    }
    if (written == length) {
        return 1;
    }
    ReportMessage(texts::kSendFailed);
    return 0;
}

}  // namespace vardel
