// The chosen firmware file, read and checked once before any port is touched,
// so that every unit gets the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash/FirmwareCheck.h"
#include "platform/Platform.h"

namespace vardel::flash {

struct Firmware {
    std::vector<std::uint8_t> bytes;  // what the engine loads: at most 65,536 bytes
    std::uintmax_t fileSize = 0;      // the whole file's
    std::vector<std::string> warnings;
    // Whole 64-byte blocks in bytes: the most the MCU can be sent.
    [[nodiscard]] std::uint32_t Blocks() const;
};

// Reads path through the system's platform, which refuses a file that another
// program is writing or holds locked. False, with one line naming the file and
// the reason in error, when the file cannot be used.
bool ReadFirmware(Platform& system, const std::string& path, Firmware& firmware,
                  std::string& error);

}  // namespace vardel::flash
