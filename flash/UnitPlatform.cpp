#include "flash/UnitPlatform.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "engine/WireProtocol.h"

namespace vardel::flash {

UnitPlatform::UnitPlatform(std::unique_ptr<Platform> system,
                           const std::vector<std::uint8_t>& firmware)
    : ForwardingPlatform(std::move(system)), served_(firmware.size() / wire::kBlockSize, false) {
    file_.Serve(firmware);
}

FileHandle UnitPlatform::OpenFileForReading(const char16_t* /*path*/) { return file_.Open(); }

std::uint32_t UnitPlatform::ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                     std::uint32_t& error) {
    return file_.Read(file, buffer, length, error);
}

void UnitPlatform::CloseFile(FileHandle /*file*/) { file_.Close(); }

std::uint32_t UnitPlatform::ProgramFilePath(char16_t* buffer, std::uint32_t capacity) {
    return ServedFile::ProgramPath(Inner().FolderSeparator(), buffer, capacity);
}

PortHandle UnitPlatform::OpenSerial() {
    const PortHandle port = Inner().OpenSerial();
    if (port == kInvalidHandle || port == 0) return kInvalidHandle;
    systemPort_ = port;
    open_ = true;
    return kEnginePort;
}

bool UnitPlatform::ConfigureSerial(PortHandle /*port*/) {
    return systemPort_ != 0 && Inner().ConfigureSerial(systemPort_);
}

void UnitPlatform::PurgeSerial(PortHandle /*port*/) {
    if (systemPort_ != 0) Inner().PurgeSerial(systemPort_);
}

void UnitPlatform::CloseSerial(PortHandle /*port*/) {
    if (systemPort_ != 0) Inner().CloseSerial(systemPort_);
    systemPort_ = 0;
    open_ = false;
}

LineFault UnitPlatform::SerialFault(PortHandle /*port*/) const { return fault_; }

// Gone: the port is closed at once (an adapter pulled out leaves nothing to
// keep) and opened again when its path is back. Stalled: the unit fails.
void UnitPlatform::LookForFault() {
    if (systemPort_ == 0) return;
    const LineFault fault = Inner().SerialFault(systemPort_);
    if (fault == LineFault::None) return;
    fault_ = fault;
    if (fault != LineFault::Gone) return;
    Inner().CloseSerial(systemPort_);
    systemPort_ = 0;
    goneSince_ = Clock::now();
    reopenedAt_ = Clock::now();
}

void UnitPlatform::Reopen() {
    if (Clock::now() - reopenedAt_ < kReopenEvery) return;
    reopenedAt_ = Clock::now();
    const PortHandle port = Inner().OpenSerial();
    if (port == kInvalidHandle || port == 0) return;
    if (!Inner().ConfigureSerial(port)) {
        Inner().CloseSerial(port);
        return;
    }
    systemPort_ = port;
    fault_ = LineFault::None;
    goneSince_.reset();
    ++reconnections_;
    // The MCU needs a moment to ask again: the silence is counted from here.
    lastProgress_ = Clock::now();
}

bool UnitPlatform::ReadSerialByte(PortHandle /*port*/, std::uint8_t& byte) {
    if (systemPort_ == 0) return false;
    if (!Inner().ReadSerialByte(systemPort_, byte)) {
        LookForFault();
        return false;
    }
    if (tap_) tap_(false, &byte, 1, Clock::now());
    Watch(byte);
    return true;
}

void UnitPlatform::WaitSerialReadable(PortHandle /*port*/, std::uint32_t timeoutMs) {
    if (open_ && systemPort_ == 0) Reopen();
    if (systemPort_ == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return;
    }
    Inner().WaitSerialReadable(systemPort_, timeoutMs);
    LookForFault();
}

// A block request is "#U", a kind byte, H, L and the complements of H and L:
// the last seven bytes read are one when they look so.
void UnitPlatform::Watch(std::uint8_t byte) {
    std::memmove(recent_, recent_ + 1, kRequestLength - 1);
    recent_[kRequestLength - 1] = byte;
    const auto complement = [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); };
    if (recent_[0] == wire::kFrameStart0 && recent_[1] == wire::kFrameStart1 &&
        recent_[5] == complement(recent_[3]) && recent_[6] == complement(recent_[4])) {
        lastRequest_ = static_cast<std::uint32_t>(recent_[3] << 8 | recent_[4]);
        lastHeard_ = Clock::now();
    }
}

std::uint32_t UnitPlatform::WriteSerial(PortHandle /*port*/, const std::uint8_t* bytes,
                                        std::uint32_t length) {
    if (systemPort_ == 0) return 0;
    const std::uint32_t written = Inner().WriteSerial(systemPort_, bytes, length);
    if (tap_ && written > 0) tap_(true, bytes, written, Clock::now());
    if (written < length) LookForFault();
    const std::uint8_t command = length > wire::kHeaderLength - 1 ? bytes[2] : 0;
    if (command == wire::kCmdEnterUpgrade && length == wire::kEnterUpgradeLength) {
        lastProgress_ = Clock::now();  // the MCU's silence is counted from here
    }
    if (command == wire::kCmdData && written == wire::kDataFrameLength) {
        ++dataFrames_;
        lastServed_ = lastRequest_;
        lastProgress_ = Clock::now();
        if (lastRequest_ && *lastRequest_ < served_.size() && !served_[*lastRequest_]) {
            served_[*lastRequest_] = true;
            ++servedBlocks_;
        }
    }
    return written;
}

int UnitPlatform::ServedPercent() const {
    return served_.empty() ? 0 : static_cast<int>(servedBlocks_ * 100 / served_.size());
}

}  // namespace vardel::flash
