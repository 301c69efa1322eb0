// The record itself: construction, destruction, the owner's callbacks and the
// two small operations the window calls directly.
#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"

namespace vardel {

UpgradeEngine::UpgradeEngine(Platform& platform) : platform_(platform) {}

UpgradeEngine::~UpgradeEngine() {
    ClosePort();
    if (image != nullptr) {
        platform_.Free(image);
        image = nullptr;
    }
}

int UpgradeEngine::SetMessageCallback(MessageCallback callback, std::uint32_t context) {
    onMessage = callback;
    messageContext = context;
    return 1;
}

int UpgradeEngine::SetProgressCallback(ProgressCallback callback) {
    onProgress = callback;
    return 1;
}

// Every text the engine has to say goes through here; without a listener it is
// dropped and the caller carries on as if it had been heard.
int UpgradeEngine::ReportMessage(const char16_t* text) {
    if (onMessage == nullptr) {
        return 0;
    }
    onMessage(text, messageContext);
    return 1;
}

int UpgradeEngine::GetStep() const { return step; }

int UpgradeEngine::RequestStart() {
    if (step != STEP_READY) {
        ReportMessage(texts::kBusy);
        return 0;
    }
    signal = SIGNAL_START;
    return 1;
}

int UpgradeEngine::ClosePort() {
    if (port == 0) {
        return 0;
    }
    platform_.CloseSerial(port);
    port = 0;
    return 1;
}

}  // namespace vardel
