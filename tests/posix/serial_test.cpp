// The serial port on a real pseudo-terminal: the slave end is "COM4:", the
// master end plays the MCU.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Surroundings.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

using test::Bytes;
using test::Counting;
using test::ReadFor;
using test::Stopwatch;

constexpr int kArrivalMs = 2000;    // generous bound for bytes in flight
constexpr double kAtOnceMs = 10.0;  // "does not wait", with room for a busy machine

class PosixSerialTest : public ::testing::Test {
protected:
    test::Pty pty;
    PosixPlatform platform{pty.slavePath};

    PortHandle OpenConfigured() {
        const PortHandle port = platform.OpenSerial();
        EXPECT_NE(port, kInvalidHandle);
        EXPECT_TRUE(platform.ConfigureSerial(port));
        return port;
    }
    termios DeviceSettings() {
        termios settings{};
        EXPECT_EQ(::tcgetattr(pty.slave.Get(), &settings), 0);
        return settings;
    }
};

TEST_F(PosixSerialTest, ACookedLineWithFlowControlIsConfiguredAs38400Raw8N1WithoutIt) {
    termios cooked = DeviceSettings();
    cooked.c_iflag |= ICRNL | IXON | ISTRIP | INPCK;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_cflag = (cooked.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ::cfsetspeed(&cooked, B9600);
    ASSERT_EQ(::tcsetattr(pty.slave.Get(), TCSANOW, &cooked), 0);
    const PortHandle port = OpenConfigured();

    const termios s = DeviceSettings();
    EXPECT_EQ(::cfgetispeed(&s), static_cast<speed_t>(B38400));
    EXPECT_EQ(::cfgetospeed(&s), static_cast<speed_t>(B38400));
    EXPECT_EQ(s.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(s.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "no parity, one stop bit, no RTS/CTS";
    EXPECT_EQ(s.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(s.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(s.c_oflag & OPOST, 0u);
    EXPECT_EQ(s.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);

    // CR, LF, XON, XOFF, ^C and the high bit are where a cooked line bites.
    const Bytes all = Counting(256);
    test::WriteAll(pty.master.Get(), all);
    Bytes received;
    const Stopwatch clock;
    std::uint8_t byte = 0;
    while (received.size() < all.size() && clock.Ms() < kArrivalMs) {
        if (platform.ReadSerialByte(port, byte)) received.push_back(byte);
    }
    EXPECT_EQ(received, all);
}

TEST_F(PosixSerialTest, AWrittenFrameArrivesWholeAndAlone) {
    const PortHandle port = OpenConfigured();
    const Bytes frame = Counting(256);  // every byte value
    EXPECT_EQ(platform.WriteSerial(port, frame.data(), 256), 256u);
    EXPECT_EQ(ReadFor(pty.master.Get(), frame.size() + 1, 200), frame);
}

TEST_F(PosixSerialTest, AnEmptyLineReadsNoByteAtOnce) {
    const PortHandle port = OpenConfigured();
    std::uint8_t byte = 0;
    const Stopwatch clock;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte));
    EXPECT_LT(clock.Ms(), kAtOnceMs);
}

TEST_F(PosixSerialTest, AfterTheOtherSideHangsUpWritesFallShortAndReadsFindNothingAtOnce) {
    const PortHandle port = OpenConfigured();
    pty.master.Reset();
    const Bytes frame = Counting(69);
    EXPECT_LT(platform.WriteSerial(port, frame.data(), 69), 69u);
    std::uint8_t byte = 0;
    const Stopwatch clock;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte));
    EXPECT_LT(clock.Ms(), kAtOnceMs);
}

TEST_F(PosixSerialTest, APurgeThrowsAwayInputThatHasArrived) {
    const PortHandle port = OpenConfigured();
    test::WriteAll(pty.master.Get(), {0x23, 0x55, 0x4B});
    platform.WaitSerialReadable(port, kArrivalMs);
    platform.PurgeSerial(port);
    std::uint8_t byte = 0;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte));
}

// The poll window sleeps in this wait while a frame has begun: it must end
// with the first byte, and last its time when none comes, hung-up line or not.
TEST_F(PosixSerialTest, AWaitEndsWithTheFirstByteAndOtherwiseLastsItsTime) {
    const PortHandle port = OpenConfigured();
    std::thread mcu([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        test::WriteAll(pty.master.Get(), {0x23});
    });
    Stopwatch clock;
    platform.WaitSerialReadable(port, 5000);
    EXPECT_GE(clock.Ms(), 40.0);
    EXPECT_LT(clock.Ms(), 1000.0);
    mcu.join();
    std::uint8_t byte = 0;
    EXPECT_TRUE(platform.ReadSerialByte(port, byte));

    for (const bool hungUp : {false, true}) {
        if (hungUp) pty.master.Reset();
        clock = Stopwatch();
        platform.WaitSerialReadable(port, 100);
        EXPECT_GE(clock.Ms(), 95.0) << hungUp;
        EXPECT_LT(clock.Ms(), 1000.0) << hungUp;
    }
}

// We run as root, which TIOCEXCL does not stop. A program that locks the port
// is kept out by the lock; one that merely has it open is found among the
// processes, and is looked at again on every attempt until it lets go.
TEST_F(PosixSerialTest, APortHeldHereOrByAnotherProcessDoesNotOpenUntilReleased) {
    const PortHandle first = platform.OpenSerial();
    ASSERT_NE(first, kInvalidHandle);
    PosixPlatform other(pty.slavePath);
    EXPECT_EQ(other.OpenSerial(), kInvalidHandle);
    EXPECT_EQ(platform.OpenSerial(), kInvalidHandle) << "not even through the same platform";
    platform.CloseSerial(first);
    pty.slave.Reset();  // a holder in this process would count for the children

    const std::string device = pty.slavePath;
    using Hold = std::function<bool(std::optional<PosixPlatform>&)>;
    const std::vector<std::pair<const char*, Hold>> holders = {
        {"vardel, locking",
         [&](auto& theirs) { return theirs.emplace(device).OpenSerial() != kInvalidHandle; }},
        {"a plain open",
         [&](auto& /*theirs*/) { return ::open(device.c_str(), O_RDWR | O_NOCTTY) >= 0; }},
    };
    for (const auto& [what, hold] : holders) {
        test::Pipe ready;
        test::Pipe done;
        test::ChildProcess holder([&, &hold = hold] {
            std::optional<PosixPlatform> theirs;
            if (hold(theirs)) {
                test::SendToken(ready.writeEnd.Get());
                test::AwaitToken(done.readEnd.Get(), 10000);
            }
        });
        ASSERT_TRUE(test::AwaitToken(ready.readEnd.Get(), kArrivalMs)) << what;
        for (int attempt = 0; attempt < 3; ++attempt) {
            EXPECT_EQ(platform.OpenSerial(), kInvalidHandle) << what << ", attempt " << attempt;
        }
        test::SendToken(done.writeEnd.Get());
        holder.Reap();
        const PortHandle port = platform.OpenSerial();
        EXPECT_NE(port, kInvalidHandle) << what;
        platform.CloseSerial(port);
    }
}

// A program started without standard error would otherwise open its port as
// descriptor 2 and write its debug lines to the MCU; one whose standard error
// is a pipe nobody reads would die of SIGPIPE on its first debug line.
TEST_F(PosixSerialTest, AStartWithoutStandardErrorOrItsReaderPutsNoDebugByteOnTheWire) {
    pty.slave.Reset();  // the child would count this process as the port's holder
    test::ChildProcess child([&] {
        (void)::signal(SIGPIPE, SIG_DFL);
        ::close(STDERR_FILENO);
        posix::SettleSurroundings();
        PosixPlatform theirs(pty.slavePath);
        const PortHandle port = theirs.OpenSerial();
        const bool configured = theirs.ConfigureSerial(port);
        theirs.DebugPrint(u"-------------debug line----------------\r\n");
        test::Pipe unread;
        unread.readEnd.Reset();
        ::dup2(unread.writeEnd.Get(), STDERR_FILENO);
        theirs.DebugPrint(u"-------------debug line----------------\r\n");
        ::_exit(port != kInvalidHandle && port - 1 != STDERR_FILENO && configured ? 0 : 1);
    });
    const int status = child.Reap();
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFor(pty.master.Get(), 1, 200), Bytes{});
}

// Descriptor 0 is a valid descriptor, but 0 is "no port" to the engine.
TEST_F(PosixSerialTest, APortOnDescriptorZeroIsNotHandedOutAsZero) {
    UniqueFd savedStdin(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    ::close(STDIN_FILENO);
    const PortHandle port = platform.OpenSerial();
    const bool configured = platform.ConfigureSerial(port);
    const std::uint8_t byte = 0x7E;
    const std::uint32_t sent = platform.WriteSerial(port, &byte, 1);
    platform.CloseSerial(port);
    ::dup2(savedStdin.Get(), STDIN_FILENO);

    EXPECT_NE(port, 0);
    EXPECT_NE(port, kInvalidHandle);
    EXPECT_TRUE(configured);
    EXPECT_EQ(sent, 1u);
    EXPECT_EQ(ReadFor(pty.master.Get(), 1, kArrivalMs), Bytes{0x7E});
}

}  // namespace
}  // namespace vardel
