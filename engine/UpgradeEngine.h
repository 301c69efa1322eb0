// The upgrade engine: one record that holds an upgrade run (the serial port,
// the firmware image, the step and signal codes, the frame buffers) and the
// operations on it. It reaches the operating system only through Platform and
// reports to its owner only through two callbacks. Nothing here throws.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace vardel {

// Step codes.
inline constexpr std::int32_t STEP_CLOSED = 0;
inline constexpr std::int32_t STEP_READY = 1;
inline constexpr std::int32_t STEP_HANDSHAKE = 2;
inline constexpr std::int32_t STEP_TRANSFER = 3;
inline constexpr std::int32_t STEP_DONE = 255;

// Signal codes.
inline constexpr std::int32_t SIGNAL_NONE = 1;
inline constexpr std::int32_t SIGNAL_START = 2;
inline constexpr std::int32_t SIGNAL_COMPLETE = 255;

// Sentinels of requestedBlock; both read as above 65,535 when taken unsigned.
inline constexpr std::int32_t NO_REQUEST = -1;
inline constexpr std::int32_t ALL_BLOCKS_DONE = -2;

// The owner's callbacks. Texts are zero-terminated UTF-16 constants that live
// as long as the process; results are ignored.
using MessageCallback = int (*)(const char16_t* text, std::uint32_t context);
using ProgressCallback = int (*)(int percent);

inline constexpr std::uint32_t kTxFrameSize = 128;
inline constexpr std::uint32_t kRxBytesSize = 64;
inline constexpr std::uint32_t kImageCapacity = 65536;
inline constexpr std::uint32_t kPathCapacity = 260;

class UpgradeEngine {
public:
    explicit UpgradeEngine(Platform& platform);
    ~UpgradeEngine();
    UpgradeEngine(const UpgradeEngine&) = delete;
    UpgradeEngine& operator=(const UpgradeEngine&) = delete;

    // Record and reporting.
    int SetMessageCallback(MessageCallback callback, std::uint32_t context);
    int SetProgressCallback(ProgressCallback callback);
    int ReportMessage(const char16_t* text);
    [[nodiscard]] int GetStep() const;
    int RequestStart();
    int ClosePort();

    // Serial link.
    int OpenPort();
    int SendBytes(const std::uint8_t* bytes, std::uint32_t length);

    // Outgoing frames.
    int SendEnterUpgrade();
    int SendBlock(std::uint32_t block);
    int SendReset();

    // Reply parser and poll window.
    int ReadReplyByte();
    int PollReplies();

    // Firmware image and platform detection.
    [[nodiscard]] int DetectPlatform() const;
    int LoadFirmware();

    // Step machine: advances the upgrade run by at most one step.
    int Tick();

    // The record's fields, in this order.
    PortHandle port = 0;
    std::uint32_t messageContext = 0;
    MessageCallback onMessage = nullptr;
    std::uint8_t* image = nullptr;
    ProgressCallback onProgress = nullptr;
    std::int32_t step = STEP_CLOSED;
    std::int32_t signal = SIGNAL_NONE;
    std::uint8_t txFrame[kTxFrameSize] = {};
    std::uint8_t rxBytes[kRxBytesSize] = {};
    std::uint32_t imageSize = 0;
    std::int32_t requestedBlock = NO_REQUEST;
    std::uint32_t rxCount = 0;
    std::int32_t isMtkPlatform = 0;

private:
    void TickClosed();
    void TickReady();
    void TickHandshake();
    void TickTransfer();
    void CompleteBlockRequest();

    Platform& platform_;
};

}  // namespace vardel
