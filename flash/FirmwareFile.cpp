#include "flash/FirmwareFile.h"

#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

// Fewer bytes than this are no image; the engine refuses them too.
constexpr std::uint32_t kMinImageSize = 1024;

// The file is read in parts of this size until its end, to learn its length.
constexpr std::uint32_t kReadPart = 64 * 1024;

// Reads to the end; the whole length, or nothing with the error's text.
bool ReadAll(Platform& system, FileHandle file, std::vector<std::uint8_t>& bytes,
             std::uintmax_t& length, std::string& error) {
    std::vector<std::uint8_t> part(kReadPart);
    length = 0;
    for (;;) {
        std::uint32_t code = 0;
        const std::uint32_t got = system.ReadFile(file, part.data(), kReadPart, code);
        if (code != 0) {
            error = ErrorText(code);
            return false;
        }
        const std::size_t wanted =
            bytes.size() < kImageCapacity ? kImageCapacity - bytes.size() : 0;
        const auto kept = static_cast<std::ptrdiff_t>(std::min<std::size_t>(got, wanted));
        bytes.insert(bytes.end(), part.begin(), part.begin() + kept);
        length += got;
        if (got < kReadPart) return true;
    }
}

}  // namespace

// Built by appending: GCC 12 at -O3 takes std::string::insert here for an
// overlapping copy (-Wrestrict) where there is none.
std::string Grouped(std::uintmax_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t at = 0; at < digits.size(); ++at) {
        if (at > 0 && (digits.size() - at) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[at];
    }
    return grouped;
}

std::uint32_t Firmware::Blocks() const {
    return static_cast<std::uint32_t>(bytes.size() / wire::kBlockSize);
}

bool ReadFirmware(Platform& system, const std::string& path, Firmware& firmware,
                  std::string& error) {
    const FileHandle file = system.OpenFileForReading(PathText(path).c_str());
    if (file == kInvalidHandle) {
        error = path + ": " + FileRefusal(path, system.LastRefusal());
        return false;
    }
    std::uintmax_t length = 0;
    std::string reason;
    firmware.bytes.clear();
    const bool read = ReadAll(system, file, firmware.bytes, length, reason);
    system.CloseFile(file);
    if (!read) {
        error = path + ": " + reason;
        return false;
    }
    firmware.fileSize = length;
    if (length < kMinImageSize) {
        error = path + ": " + Grouped(length) + " bytes, fewer than the " + Grouped(kMinImageSize) +
                " an image needs";
        return false;
    }
    if (length > kImageCapacity) {
        firmware.warnings.push_back(path + ": " + Grouped(length) + " bytes; only the first " +
                                    Grouped(kImageCapacity) + " are used, the last " +
                                    Grouped(length - kImageCapacity) + " will not be sent");
    }
    if (const std::size_t rest = firmware.bytes.size() % wire::kBlockSize; rest != 0) {
        firmware.warnings.push_back(path + ": the last " + Grouped(rest) +
                                    " bytes, shorter than a 64-byte block, will not be sent");
    }
    return true;
}

}  // namespace vardel::flash
