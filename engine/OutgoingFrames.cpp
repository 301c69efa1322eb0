// The three frames the host writes: enter-upgrade, data and reset. Each is
// built in txFrame from its first byte and written whole with one SendBytes.
#include <cstring>

#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"

namespace vardel {

namespace {

void WriteHeader(std::uint8_t* frame, std::uint8_t command) {
    frame[0] = wire::kFrameStart0;
    frame[1] = wire::kFrameStart1;
    frame[2] = command;
}

}  // namespace

int UpgradeEngine::SendEnterUpgrade() {
    WriteHeader(txFrame, wire::kCmdEnterUpgrade);
    std::memcpy(txFrame + wire::kHeaderLength, wire::kUpgradeWord, sizeof wire::kUpgradeWord);
    return SendBytes(txFrame, wire::kEnterUpgradeLength);
}

int UpgradeEngine::SendReset() {
    std::memset(txFrame, 0, sizeof txFrame);
    WriteHeader(txFrame, wire::kCmdReset);
    return SendBytes(txFrame, wire::kResetFrameLength);
}

int UpgradeEngine::SendBlock(std::uint32_t block) {
    if (image == nullptr) {
        return 0;
    }
    // From here on the request counts as answered, whether or not a frame goes out.
    requestedBlock = NO_REQUEST;
    if (block > wire::kCompletionBlock) {
        ReportMessage(texts::kBadBlockRequest);
        return 0;
    }
    const std::uint32_t blockEnd = block * wire::kBlockSize + wire::kBlockSize;
    if (blockEnd > imageSize) {
        ReportMessage(texts::kBadBlockRequest);
        return 0;
    }

    WriteHeader(txFrame, wire::kCmdData);
    std::uint8_t* data = txFrame + wire::kHeaderLength;
    std::memcpy(data, image + static_cast<std::size_t>(block) * wire::kBlockSize, wire::kBlockSize);
    std::uint8_t sum = data[0];
    std::uint8_t xorValue = data[0];
    for (std::uint32_t i = 1; i < wire::kBlockSize; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
        xorValue = static_cast<std::uint8_t>(xorValue ^ data[i]);
    }
    txFrame[wire::kSumOffset] = sum;
    txFrame[wire::kXorOffset] = xorValue;

    // Progress goes out before the frame and is not taken back if the write fails.
    if (onProgress != nullptr) {
        onProgress(static_cast<int>(block * 100 / wire::kProgressBlocks));
    }
    return SendBytes(txFrame, wire::kDataFrameLength);
}

}  // namespace vardel
