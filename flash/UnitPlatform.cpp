#include "flash/UnitPlatform.h"

#include <algorithm>
#include <cstring>

#include "engine/WireProtocol.h"

namespace vardel::flash {

UnitPlatform::UnitPlatform(std::unique_ptr<Platform> system,
                           const std::vector<std::uint8_t>& firmware)
    : system_(std::move(system)), firmware_(firmware) {}

FileHandle UnitPlatform::OpenFileForReading(const char16_t* /*path*/) {
    served_ = 0;
    return kServedFile;
}

std::uint32_t UnitPlatform::ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                     std::uint32_t& error) {
    error = 0;
    if (file != kServedFile) return 0;
    const std::size_t count = std::min<std::size_t>(length, firmware_.size() - served_);
    std::memcpy(buffer, firmware_.data() + served_, count);
    served_ += count;
    return static_cast<std::uint32_t>(count);
}

void UnitPlatform::CloseFile(FileHandle /*file*/) { served_ = 0; }

bool UnitPlatform::ReadSerialByte(PortHandle port, std::uint8_t& byte) {
    if (!system_->ReadSerialByte(port, byte)) return false;
    Watch(byte);
    return true;
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

std::uint32_t UnitPlatform::WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                        std::uint32_t length) {
    const std::uint32_t written = system_->WriteSerial(port, bytes, length);
    const std::uint8_t command = length > wire::kHeaderLength - 1 ? bytes[2] : 0;
    if (command == wire::kCmdEnterUpgrade && length == wire::kEnterUpgradeLength) {
        lastHeard_ = Clock::now();  // the MCU's silence is counted from here
    }
    if (command == wire::kCmdData && written == wire::kDataFrameLength) {
        ++dataFrames_;
        lastServed_ = lastRequest_;
    }
    return written;
}

}  // namespace vardel::flash
