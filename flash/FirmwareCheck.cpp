#include "flash/FirmwareCheck.h"

#include <algorithm>

#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"

namespace vardel::flash {
namespace {

// Fewer bytes than this are no image; the engine refuses them too.
constexpr std::uint32_t kMinImageSize = 1024;

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

SizeVerdict CheckFirmwareSize(const std::string& name, std::uintmax_t fileSize) {
    SizeVerdict verdict;
    if (fileSize < kMinImageSize) {
        verdict.error = name + ": " + Grouped(fileSize) + " bytes, fewer than the " +
                        Grouped(kMinImageSize) + " an image needs";
        return verdict;
    }
    verdict.usable = true;
    if (fileSize > kImageCapacity) {
        verdict.warnings.push_back(name + ": " + Grouped(fileSize) + " bytes; only the first " +
                                   Grouped(kImageCapacity) + " are used, the last " +
                                   Grouped(fileSize - kImageCapacity) + " will not be sent");
    }
    const std::uintmax_t kept = std::min<std::uintmax_t>(fileSize, kImageCapacity);
    if (const std::uintmax_t rest = kept % wire::kBlockSize; rest != 0) {
        verdict.warnings.push_back(name + ": the last " + Grouped(rest) +
                                   (rest == 1 ? " byte" : " bytes") +
                                   ", shorter than a 64-byte block, will not be sent");
    }
    return verdict;
}

}  // namespace vardel::flash
