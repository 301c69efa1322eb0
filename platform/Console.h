// What a command-line program needs of the system beyond Platform: the
// platform of one serial device, the system's reasons in words when a file or
// a port is refused, texts for the console, the user's requests to stop, and whether
// standard output is a terminal. One implementation per system
// (linux/LinuxConsole.cpp, win32/Win32Console.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace vardel {

// The program's arguments in UTF-8, as main got them on Linux; on Windows
// from the wide command line, since argv holds them in the ANSI code page,
// which cannot spell every file name.
[[nodiscard]] std::vector<std::string> Arguments(int argc, char** argv);

// How the command line's ports behave beyond what the engine needs of them.
struct LineOptions {
    // Each write may wait for the line this long beyond its bytes' time on
    // the wire (38,400 baud); past that it returns short and the port reports
    // LineFault::Stalled. 0: a write waits for as long as the line needs.
    std::uint32_t writeMarginMs = 0;
    // Ask the driver to hand over each received byte at once (a USB serial
    // adapter otherwise holds them up to its latency timer).
    bool lowLatency = false;
};

// The time `bytes` take on the wire at 38,400 baud, 10 bits a character,
// rounded up to whole milliseconds.
[[nodiscard]] constexpr std::uint32_t LineTimeMs(std::uint32_t bytes) {
    constexpr std::uint32_t kBitsPerCharacter = 10;
    constexpr std::uint32_t kBitsPerSecond = 38400;
    return (bytes * kBitsPerCharacter * 1000 + kBitsPerSecond - 1) / kBitsPerSecond;
}

// The system's platform with `device` as its serial port; with no device,
// for its files and processes alone (reading a firmware file).
[[nodiscard]] std::unique_ptr<Platform> MakePlatform(const std::string& device,
                                                     const LineOptions& line = {});

// A path as the command line gave it, in the form Platform takes.
[[nodiscard]] std::u16string PathText(const std::string& path);
// An engine text as the console shows it: UTF-8 (on Windows the console is
// switched to UTF-8 for the run).
[[nodiscard]] std::string ConsoleText(std::u16string_view text);

// Why the system refused to open `path` for reading without sharing, from
// what Platform::LastRefusal kept: "No such file or directory", "still being
// written by PID 1234", ...
[[nodiscard]] std::string FileRefusal(const std::string& path, const Refusal& refusal);
// The system's text for an error code that Platform::ReadFile gave.
[[nodiscard]] std::string ErrorText(std::uint32_t error);
// Why `device` did not open as a serial port, from what
// Platform::LastRefusal kept: "No such file or directory", "in use by PID
// 1234 (minicom)", ...
[[nodiscard]] std::string PortRefusal(const std::string& device, const Refusal& refusal);
// Whether the refusal was another program's holding the port.
[[nodiscard]] bool PortInUse(const Refusal& refusal);
// Why a port refused the line settings, from what Platform::LastRefusal kept.
[[nodiscard]] std::string SettingsRefusal(const Refusal& refusal);

// The user's requests to stop, counted by the system's handlers from the
// moment WatchStopRequests is first called: interrupts (Ctrl-C), a terminal
// that hung up (SIGHUP: a dropped SSH session) and a request to end at once
// (SIGTERM on Linux; a closed console, log-off or shutdown on Windows). The
// counts live as long as the process, so a handler never outlives them.
struct StopRequests {
    std::atomic<unsigned> interrupts{0};
    std::atomic<unsigned> hangups{0};
    std::atomic<bool> endNow{false};
};
[[nodiscard]] const StopRequests& WatchStopRequests();

// Whether standard output is a terminal that takes cursor movements, made
// ready for them; its width in columns (0 when it is no terminal).
[[nodiscard]] bool StandardOutputIsTerminal();
[[nodiscard]] int TerminalColumns();
// Its height in rows (0 when it is no terminal).
[[nodiscard]] int TerminalRows();

// A warning, with its fix, when the USB serial adapter behind `device` holds
// the MCU's bytes longer than 1 ms and this program cannot change that; ""
// otherwise.
[[nodiscard]] std::string AdapterLatencyWarning(const std::string& device);

// Enter pressed on the terminal that standard input is, looked for without
// waiting. While a reader lives, what is typed is not echoed, so that it never
// breaks the live lines. Nothing is read when standard input is no terminal
// (a service's, a pipe's).
class EnterKeys {
public:
    EnterKeys();
    // Whether Enter was pressed since the last look.
    bool Pressed();

private:
    struct Terminal;
    // Puts the terminal's settings back when the reader goes.
    struct Restore {
        void operator()(Terminal* terminal) const;
    };
    std::unique_ptr<Terminal, Restore> terminal_;
};

// What a port's name stands for, so that two names of one port compare
// equal: on Linux its device and inode once links are followed, on Windows
// the normalised COMn; the name itself when it stands for nothing.
[[nodiscard]] std::string PortIdentity(const std::string& device);

}  // namespace vardel
