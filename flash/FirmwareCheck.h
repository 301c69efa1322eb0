// What a firmware file's size means for an upgrade, the same for every front
// end that lets the user choose the file: too short to be an image, or bytes
// that the MCU will never be sent. Plain text, no system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vardel::flash {

struct SizeVerdict {
    bool usable = false;
    std::string error;                  // why not, when not usable
    std::vector<std::string> warnings;  // what will not be sent, when usable
};

// name is the file as the user knows it; each text begins with it.
[[nodiscard]] SizeVerdict CheckFirmwareSize(const std::string& name, std::uintmax_t fileSize);

// 28672 as "28,672".
[[nodiscard]] std::string Grouped(std::uintmax_t value);

}  // namespace vardel::flash
