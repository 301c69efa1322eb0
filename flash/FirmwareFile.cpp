#include "flash/FirmwareFile.h"

#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

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
    SizeVerdict verdict = CheckFirmwareSize(path, length);
    if (!verdict.usable) {
        error = verdict.error;
        return false;
    }
    firmware.warnings = std::move(verdict.warnings);
    return true;
}

}  // namespace vardel::flash
