// The serial port: a terminal device in raw mode, opened without blocking so
// that a read never waits.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>

#include "platform/linux/AdapterLatency.h"

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/WholeTransfer.h"

namespace vardel::linuxos {
namespace {

constexpr speed_t kBaudRate = B38400;
constexpr int kForever = -1;
constexpr short kLineGone = POLLHUP | POLLERR | POLLNVAL;

int PollTimeout(std::uint32_t ms) {
    return ms > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

void Sleep(int ms) {
    if (ms > 0) {
        ::poll(nullptr, 0, ms);  // a signal may end it early, as callers allow
    }
}

// Raw bytes both ways at 38,400 8N1. No flow control on output: neither
// hardware (CRTSCTS) nor XON/XOFF from the MCU (IXON). IXOFF, the flow control
// we might impose on the MCU, is left as the device had it. CLOCAL: the line
// has no modem control, so a missing carrier must not hang it up.
// VMIN 1 / VTIME 0 with O_NONBLOCK: an empty line reads as EAGAIN at once.
void SetLineSettings(termios& settings) {
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~(IUCLC | INPCK);
    settings.c_cflag &= ~(CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, kBaudRate);
    ::cfsetospeed(&settings, kBaudRate);
}

// tcsetattr() succeeds when any one change took, so the line is read back.
bool HasLineSettings(const termios& settings) {
    return ::cfgetispeed(&settings) == kBaudRate && ::cfgetospeed(&settings) == kBaudRate &&
           (settings.c_cflag & CSIZE) == CS8 &&
           (settings.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
           (settings.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) &&
           (settings.c_iflag & (IXON | ICRNL | ISTRIP)) == 0 &&
           (settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
           (settings.c_oflag & OPOST) == 0;
}

// The MCU's line has no use for DTR and RTS. A pseudo-terminal has no modem
// lines at all, so a refusal here is no failure.
void DropModemLines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
}

bool ApplyLineSettings(int fd) {
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    SetLineSettings(settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        return false;
    }
    DropModemLines(fd);
    termios applied{};
    return ::tcgetattr(fd, &applied) == 0 && HasLineSettings(applied);
}

using Clock = std::chrono::steady_clock;

// Blocks until the line takes more bytes, or until `until` when given; false
// when it does not take them by then.
bool WaitWritable(int fd, const std::optional<Clock::time_point>& until) {
    pollfd entry{fd, POLLOUT, 0};
    int ready = 0;
    do {
        int timeout = kForever;
        if (until) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - Clock::now());
            timeout = PollTimeout(static_cast<std::uint32_t>(std::max<long>(left.count(), 0)));
        }
        ready = ::poll(&entry, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (entry.revents & POLLOUT) != 0;
}

// What a failed read or write says of the line: a hung-up line or a device
// that went away never gives or takes a byte again.
bool LineIsGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

// The driver's low-latency mode hands each received byte over at once; a USB
// adapter otherwise holds a short request up to its latency timer. A device
// that has no such mode (a pseudo-terminal) is used as it is.
void AskLowLatency(int fd, const std::string& device) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0 && (info.flags & ASYNC_LOW_LATENCY) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &info);
    }
    LowerLatencyTimer(device);
}

}  // namespace

int LinuxPlatform::PortFd(PortHandle port) const {
    if (port <= 0 || port - 1 > INT_MAX) {
        return -1;
    }
    const int fd = static_cast<int>(port - 1);
    return ports_.Holds(fd) ? fd : -1;
}

PortHandle LinuxPlatform::OpenSerial() {
    refusal_ = {};
    if (PortStillHeld()) {
        return Refuse(EBUSY, portHolder_->pid);
    }
    UniqueFd fd(::open(serialDevice_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        return Refuse(errno);
    }
    // The lock keeps out every other opener that asks for it, root included;
    // TIOCEXCL also keeps out those that do not ask, except root. Neither
    // sees a program that opened the device before us without a lock.
    // Whoever else has it open, a device that is no terminal is first of all
    // no serial port.
    const auto refuse = [&](int error, pid_t holder) {
        return ::isatty(fd.Get()) == 1 ? Refuse(error, holder) : Refuse(ENOTTY);
    };
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return refuse(errno, 0);
    }
    if (PortHeldByAnother(fd.Get())) {
        return refuse(EBUSY, portHolder_->pid);
    }
    // Not a terminal: the open stands, and ConfigureSerial will refuse it.
    ::ioctl(fd.Get(), TIOCEXCL);
    if (line_.lowLatency) AskLowLatency(fd.Get(), serialDevice_);
    fault_ = LineFault::None;
    return static_cast<PortHandle>(ports_.Add(std::move(fd))) + 1;
}

// The holder found on an earlier attempt is looked at alone, without even
// opening the device, and only once somebody has closed what it holds: for as
// long as it holds the port, a tick costs one read of the close watch.
bool LinuxPlatform::PortStillHeld() {
    if (!portHolder_) {
        return false;
    }
    if (portWatch_.Quiet()) {
        return true;
    }
    struct stat device {};
    if (::stat(serialDevice_.c_str(), &device) == 0 &&
        FileHolders::StillHolds(*portHolder_, device)) {
        return true;
    }
    portHolder_.reset();
    portWatch_.Stop();
    return false;
}

bool LinuxPlatform::PortHeldByAnother(int fd) {
    if (settingsRefusedAt_ &&
        std::chrono::steady_clock::now() - *settingsRefusedAt_ < kSearchPortAgainAfter) {
        return false;
    }
    portHolder_ = holders_.Find(fd, FileHolders::Access::Any);
    if (!portHolder_) {
        portWatch_.Stop();
        return false;
    }
    // The watch begins before the holder is looked at again, so that a close
    // in between is never missed. A holder that let go already still counts
    // for this attempt; the next one searches anew.
    portWatch_.Start(*portHolder_);
    struct stat device {};
    if (::fstat(fd, &device) != 0 || !FileHolders::StillHolds(*portHolder_, device)) {
        portHolder_.reset();
        portWatch_.Stop();
    }
    return true;
}

bool LinuxPlatform::ConfigureSerial(PortHandle port) {
    errno = 0;  // settings read back other than asked leave no errno of their own
    const bool configured = ApplyLineSettings(PortFd(port));
    refusal_ = {};
    settingsRefusedAt_.reset();
    if (!configured) {
        Refuse(errno);
        settingsRefusedAt_ = std::chrono::steady_clock::now();
    }
    return configured;
}

std::intptr_t LinuxPlatform::Refuse(int error, pid_t holder) {
    refusal_ = {static_cast<std::uint32_t>(error), holder};
    return kInvalidHandle;
}

void LinuxPlatform::PurgeSerial(PortHandle port) {
    if (const int fd = PortFd(port); fd >= 0) {
        ::tcflush(fd, TCIOFLUSH);
    }
}

std::uint32_t LinuxPlatform::WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                         std::uint32_t length) {
    const int fd = PortFd(port);
    if (fd < 0) {
        return 0;
    }
    std::optional<Clock::time_point> until;
    if (line_.writeMarginMs > 0) {
        until = Clock::now() + std::chrono::milliseconds(LineTimeMs(length) + line_.writeMarginMs);
    }
    const std::uint32_t written = TransferWhole(
        length, [&](std::uint32_t sent) { return ::write(fd, bytes + sent, length - sent); },
        [&](ssize_t result) {
            if (result < 0 && LineIsGone(errno)) fault_ = LineFault::Gone;
            // Anything else ends it too, a line that does not take bytes in time among them.
            return result < 0 && (errno == EINTR || (errno == EAGAIN && WaitWritable(fd, until)));
        });
    if (written < length && fault_ == LineFault::None && until && Clock::now() >= *until) {
        fault_ = LineFault::Stalled;
    }
    return written;
}

// EAGAIN (empty line), EIO or 0 (hung up) and EINTR all mean "no byte".
bool LinuxPlatform::ReadSerialByte(PortHandle port, std::uint8_t& byte) {
    const int fd = PortFd(port);
    if (fd < 0) return false;
    const ssize_t got = ::read(fd, &byte, 1);
    if (got == 0 || (got < 0 && LineIsGone(errno))) fault_ = LineFault::Gone;
    return got == 1;
}

void LinuxPlatform::WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) {
    const int timeout = PollTimeout(timeoutMs);
    const int fd = PortFd(port);
    if (fd < 0) {
        Sleep(timeout);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, timeout) <= 0 || (entry.revents & kLineGone) == 0) {
        return;
    }
    fault_ = LineFault::Gone;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    Sleep(timeout - static_cast<int>(waited.count()));
}

LineFault LinuxPlatform::SerialFault(PortHandle port) const {
    return PortFd(port) >= 0 ? fault_ : LineFault::None;
}

void LinuxPlatform::CloseSerial(PortHandle port) {
    const int fd = PortFd(port);
    if (fd < 0) {
        return;
    }
    // Leave the device as open to others as it was before us.
    ::ioctl(fd, TIOCNXCL);
    ports_.Close(fd);
}

}  // namespace vardel::linuxos
