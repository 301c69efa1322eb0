// win32_serial_probe: the serial port of the Windows platform, one operation
// per line of standard input, each answered by one line on standard output,
// for a test on the Linux side of a pseudo-terminal to drive:
//   win32_serial_probe PORT        e.g. COM7:
//   open | configure | purge | close | quit
//   read            -> "byte XX in T" or "none in T"  (T: milliseconds taken)
//   wait MS         -> "waited T"
//   write HEX...    -> "wrote N"
#include <charconv>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/Win32Platform.h"
#include "tools/win32/ConsoleText.h"

namespace {

using vardel::win32::Say;

class Stopwatch {
public:
    [[nodiscard]] std::string Ms() const {
        const std::chrono::duration<double, std::milli> taken = Clock::now() - start_;
        char text[32] = {};
        static_cast<void>(std::snprintf(text, sizeof text, "%.2f", taken.count()));
        return text;
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
};

std::string Hex(std::uint8_t byte) {
    char text[3] = {};
    static_cast<void>(std::snprintf(text, sizeof text, "%02X", byte));
    return text;
}

std::vector<std::uint8_t> Bytes(std::istringstream& words) {
    std::vector<std::uint8_t> bytes;
    std::string word;
    while (words >> word) {
        unsigned value = 0;
        std::from_chars(word.data(), word.data() + word.size(), value, 16);
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

// One line of standard input; false at its end.
bool NextLine(std::string& line) {
    line.clear();
    char c = 0;
    DWORD got = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) != FALSE &&
           got == 1) {
        if (c == '\n') return true;
        if (c != '\r') line += c;
    }
    return !line.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    vardel::Win32Platform platform(argv[1]);
    vardel::PortHandle port = 0;
    std::string line;
    while (NextLine(line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "open") {
            port = platform.OpenSerial();
            Say(port == vardel::kInvalidHandle ? "open failed" : "open ok");
        } else if (command == "configure") {
            Say(platform.ConfigureSerial(port) ? "configure ok" : "configure refused");
        } else if (command == "purge") {
            platform.PurgeSerial(port);
            Say("purged");
        } else if (command == "read") {
            std::uint8_t byte = 0;
            const Stopwatch clock;
            const bool got = platform.ReadSerialByte(port, byte);
            Say((got ? "byte " + Hex(byte) : std::string("none")) + " in " + clock.Ms());
        } else if (command == "wait") {
            std::uint32_t ms = 0;
            words >> ms;
            const Stopwatch clock;
            platform.WaitSerialReadable(port, ms);
            Say("waited " + clock.Ms());
        } else if (command == "write") {
            const std::vector<std::uint8_t> bytes = Bytes(words);
            const auto length = static_cast<std::uint32_t>(bytes.size());
            Say("wrote " + std::to_string(platform.WriteSerial(port, bytes.data(), length)));
        } else if (command == "close") {
            platform.CloseSerial(port);
            port = 0;
            Say("closed");
        } else if (command == "quit") {
            break;
        } else {
            Say("unknown " + command);
        }
    }
    return 0;
}
