// The command line's needs of Linux: reasons looked up again after a refusal,
// signals counted into StopRequests, the terminal on standard output.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "platform/Console.h"
#include "platform/SerialPorts.h"
#include "platform/linux/AdapterLatency.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SerialPortScan.h"
#include "platform/linux/Surroundings.h"
#include "platform/linux/Utf.h"

namespace vardel {
namespace {

std::string SystemText(int error) { return std::strerror(error); }

// Serial devices belong to the group dialout; the package's udev rule opens
// the common USB adapters to the user at the seat.
std::string PortText(int error) {
    return SystemText(error) + (error == EACCES ? " (add the user to the group dialout, or "
                                                  "install the udev rule 70-vardel.rules)"
                                                : "");
}

StopRequests g_requests;

// Only lock-free atomics here: a handler may run on any thread.
void OnInterrupt(int /*signal*/) { g_requests.interrupts.fetch_add(1); }
void OnHangup(int /*signal*/) { g_requests.hangups.fetch_add(1); }
void OnEndNow(int /*signal*/) { g_requests.endNow.store(true); }

void Handle(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::unique_ptr<Platform> MakePlatform(const std::string& device, const LineOptions& line) {
    return std::make_unique<linuxos::LinuxPlatform>(device, line);
}

std::u16string PathText(const std::string& path) { return linuxos::Utf8ToUtf16(path); }

std::string ConsoleText(std::u16string_view text) { return linuxos::Utf16ToUtf8(text); }

std::string FileRefusal(const std::string& /*path*/, const Refusal& refusal) {
    switch (refusal.error) {
    case ETXTBSY:
        return "still being written by PID " + std::to_string(refusal.holder);
    case EWOULDBLOCK:
        return "locked by another program";
    default:
        return SystemText(static_cast<int>(refusal.error));
    }
}

std::string ErrorText(std::uint32_t error) { return SystemText(static_cast<int>(error)); }

std::string PortRefusal(const std::string& /*device*/, const Refusal& refusal) {
    if (refusal.holder != 0) {
        return "in use by " + linuxos::DescribeProcess(static_cast<pid_t>(refusal.holder));
    }
    switch (refusal.error) {
    case EBUSY:
        return "in use by another program (opened exclusively)";
    case EWOULDBLOCK:
        return "in use by another program (it holds the lock)";
    case ENOTTY:
        return "not a serial port";
    default:
        return PortText(static_cast<int>(refusal.error));
    }
}

bool PortInUse(const Refusal& refusal) {
    return refusal.holder != 0 || refusal.error == EBUSY || refusal.error == EWOULDBLOCK;
}

std::string SettingsRefusal(const Refusal& refusal) {
    if (refusal.error == ENOTTY) {
        return "not a serial port (" + SystemText(ENOTTY) + ")";
    }
    return "refused the line settings 38,400 baud 8N1";
}

const StopRequests& WatchStopRequests() {
    Handle(SIGINT, OnInterrupt);
    Handle(SIGTERM, OnEndNow);
    Handle(SIGHUP, OnHangup);
    // A reader of our output that goes away must not end the upgrades.
    Handle(SIGPIPE, SIG_IGN);
    return g_requests;
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

// The terminal's settings as they were, put back when the reader goes.
struct EnterKeys::Terminal {
    termios before{};
};

EnterKeys::EnterKeys() {
    termios settings{};
    if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &settings) != 0) return;
    terminal_.reset(new Terminal{settings});
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    (void)::tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

void EnterKeys::Restore::operator()(Terminal* terminal) const {
    (void)::tcsetattr(STDIN_FILENO, TCSANOW, &terminal->before);
    delete terminal;
}

// The terminal hands over a line once Enter ends it.
bool EnterKeys::Pressed() {
    if (!terminal_) return false;
    bool pressed = false;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    char typed[256];
    while (::poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0) {
        const ssize_t got = ::read(STDIN_FILENO, typed, sizeof typed);
        if (got <= 0) break;
        pressed = pressed || std::memchr(typed, '\n', static_cast<std::size_t>(got)) != nullptr;
    }
    return pressed;
}

int TerminalColumns() { return linuxos::TerminalColumns(STDOUT_FILENO); }

int TerminalRows() {
    constexpr int kUsualRows = 24;
    winsize size{};
    if (::isatty(STDOUT_FILENO) != 1) return 0;
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row
                                                                             : kUsualRows;
}

std::string AdapterLatencyWarning(const std::string& device) {
    std::error_code error;
    const auto node = std::filesystem::canonical(device, error);
    if (error) return {};
    const auto timer = linuxos::ReadLatencyTimer(node.filename().string());
    if (!timer || timer->ms <= linuxos::kLowestLatencyMs || timer->writable) return {};
    return device + ": the adapter's latency timer is " + std::to_string(timer->ms) +
           " ms, and each block request waits up to that long; fix: install the udev rule "
           "70-vardel.rules (see the README), or run: echo 1 | sudo tee " +
           timer->path;
}

std::string PortIdentity(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return device;
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

}  // namespace vardel
