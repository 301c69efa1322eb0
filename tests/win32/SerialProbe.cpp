// win32_serial_probe: the serial port of the Windows platform, one operation
// per line of standard input, each answered by one line on standard output,
// for a test on the Linux side of a pseudo-terminal to drive:
//   win32_serial_probe PORT        e.g. COM7:
//   open | configure | purge
//   read            -> "byte N in T" or "none in T"  (N decimal, T: milliseconds taken)
//   wait MS         -> "waited T"
//   write HEX...    -> "wrote N"
#include <chrono>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/Utf8Text.h"
#include "platform/win32/Win32Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string MsSince(Clock::time_point start) {
    return std::to_string(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    vardel::win32::Win32Platform platform(argv[1]);
    vardel::PortHandle port = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        const Clock::time_point start = Clock::now();
        std::string answer = "unknown " + command;
        if (command == "open") {
            port = platform.OpenSerial();
            answer = port == vardel::kInvalidHandle ? "open failed" : "open ok";
        } else if (command == "configure") {
            answer = platform.ConfigureSerial(port) ? "configure ok" : "configure refused";
        } else if (command == "purge") {
            platform.PurgeSerial(port);
            answer = "purged";
        } else if (command == "read") {
            std::uint8_t byte = 0;
            const bool got = platform.ReadSerialByte(port, byte);
            answer = (got ? "byte " + std::to_string(byte) : "none") + " in " + MsSince(start);
        } else if (command == "wait") {
            std::uint32_t ms = 0;
            words >> ms;
            platform.WaitSerialReadable(port, ms);
            answer = "waited " + MsSince(start);
        } else if (command == "write") {
            std::vector<std::uint8_t> bytes;
            for (unsigned hex = 0; words >> std::hex >> hex;) bytes.push_back(hex & 0xFFu);
            const auto length = static_cast<std::uint32_t>(bytes.size());
            answer = "wrote " + std::to_string(platform.WriteSerial(port, bytes.data(), length));
        }
        vardel::win32::Say(answer);
    }
    return 0;
}
