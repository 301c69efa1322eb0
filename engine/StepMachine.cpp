// Tick: the one operation that moves an upgrade run forward, by at most one
// step per call. The MCU leads; the engine keeps no timer or retry of its own.
#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"

namespace vardel {

int UpgradeEngine::Tick() {
    switch (step) {
    case STEP_CLOSED:
        TickClosed();
        break;
    case STEP_READY:
        TickReady();
        break;
    case STEP_HANDSHAKE:
        TickHandshake();
        break;
    case STEP_TRANSFER:
        TickTransfer();
        break;
    default:
        // STEP_DONE is final: the port is no longer read.
        break;
    }
    return 1;
}

void UpgradeEngine::TickClosed() {
    if (OpenPort() == 1) {
        step = STEP_READY;
        signal = SIGNAL_NONE;
        return;
    }
    // The navigation program may be holding the port: ask it to quit.
    const ProgramHandle navigation = platform_.FindProgram(texts::kQ9Navigation);
    if (navigation != 0) {
        platform_.AskProgramToQuit(navigation);
    }
}

void UpgradeEngine::TickReady() {
    if (signal != SIGNAL_START) {
        return;
    }
    if (LoadFirmware() == 1) {
        SendEnterUpgrade();
        requestedBlock = NO_REQUEST;
        step = STEP_HANDSHAKE;
    }
    signal = SIGNAL_NONE;
}

void UpgradeEngine::TickHandshake() {
    PollReplies();
    // Only a request for block 0 opens the transfer; it is served on the next tick.
    if (requestedBlock == 0) {
        ReportMessage(texts::kConnected);
        signal = SIGNAL_NONE;
        step = STEP_TRANSFER;
    }
}

void UpgradeEngine::TickTransfer() {
    PollReplies();
    if (signal == SIGNAL_COMPLETE) {
        signal = SIGNAL_NONE;
        step = STEP_DONE;
        return;
    }
    if (requestedBlock == NO_REQUEST) {
        return;
    }
    const auto block = static_cast<std::uint32_t>(requestedBlock);
    if (block > wire::kCompletionBlock) {
        signal = SIGNAL_NONE;
        step = STEP_DONE;
        return;
    }
    if (block == 1) {
        ReportMessage(texts::kUpgrading);
    }
    SendBlock(block);
}

}  // namespace vardel
