// The serial port on a real pseudo-terminal: the slave end is "COM4:", the
// master end plays the MCU.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "platform/linux/LinuxPlatform.h"
#include "tests/e2e/E2eHarness.h"

namespace vardel::test {
namespace {

class LinuxSerialTest : public ::testing::Test {
protected:
    sim::PseudoTerminal pty = OpenPty();
    linuxos::LinuxPlatform platform{pty.SlavePath()};
    // The device as any user of it sees it; this process holding it does not
    // count as another holder.
    linuxos::UniqueFd device{::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)};

    PortHandle OpenConfigured() {
        const PortHandle port = platform.OpenSerial();
        EXPECT_NE(port, kInvalidHandle);
        EXPECT_TRUE(platform.ConfigureSerial(port));
        return port;
    }
};

// A pseudo-terminal ignores speed, size, parity, stop bits and flow control,
// so the end-to-end runs cannot see them; they start cooked too, and carry
// every byte value both ways, which shows the rest of a raw line.
TEST_F(LinuxSerialTest, ACookedLineBecomes38400Baud8N1WithoutFlowControlAndPurges) {
    Cook(pty.SlavePath());
    termios left{};
    ASSERT_EQ(::tcgetattr(device.Get(), &left), 0);
    left.c_cc[VMIN] = 0;
    left.c_cc[VTIME] = 10;  // a previous user's: a read would wait a second
    ASSERT_EQ(::tcsetattr(device.Get(), TCSANOW, &left), 0);
    const PortHandle port = OpenConfigured();
    termios s{};
    ASSERT_EQ(::tcgetattr(device.Get(), &s), 0);
    EXPECT_EQ(s.c_cc[VMIN], 1);
    EXPECT_EQ(s.c_cc[VTIME], 0);
    EXPECT_EQ(::cfgetispeed(&s), static_cast<speed_t>(B38400));
    EXPECT_EQ(::cfgetospeed(&s), static_cast<speed_t>(B38400));
    EXPECT_EQ(s.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(s.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "no parity, one stop bit, no RTS/CTS";
    EXPECT_EQ(s.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));

    ASSERT_EQ(::write(pty.Master(), "#UK", 3), 3);
    platform.WaitSerialReadable(port, 2000);
    platform.PurgeSerial(port);
    std::uint8_t byte = 0;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte)) << "purged";
}

// The poll window sleeps in this wait while a frame has begun: it must end
// with the first byte, and last its time when none comes, hung-up line or not.
TEST_F(LinuxSerialTest, AWaitEndsWithTheFirstByteAndOtherwiseLastsItsTime) {
    const PortHandle port = OpenConfigured();
    std::thread mcu([&] {
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(::write(pty.Master(), "#", 1), 1);
    });
    const double untilTheByte = MsToRun([&] { platform.WaitSerialReadable(port, 5000); });
    mcu.join();
    EXPECT_GE(untilTheByte, 40.0);
    EXPECT_LT(untilTheByte, 1000.0);
    std::uint8_t byte = 0;
    EXPECT_TRUE(platform.ReadSerialByte(port, byte));

    for (const bool hungUp : {false, true}) {
        if (hungUp) HangUp(pty.Master());
        const double waited = MsToRun([&] { platform.WaitSerialReadable(port, 100); });
        EXPECT_GE(waited, 95.0) << hungUp;
        EXPECT_LT(waited, 1000.0) << hungUp;
    }
}

// Other processes holding the port are the end-to-end tests' concern.
TEST_F(LinuxSerialTest, APortOpenHereDoesNotOpenAgainUntilItIsClosed) {
    const PortHandle first = platform.OpenSerial();
    ASSERT_NE(first, kInvalidHandle);
    EXPECT_EQ(linuxos::LinuxPlatform(pty.SlavePath()).OpenSerial(), kInvalidHandle);
    EXPECT_EQ(platform.OpenSerial(), kInvalidHandle) << "not even through the same platform";
    platform.CloseSerial(first);
    EXPECT_NE(platform.OpenSerial(), kInvalidHandle);
}

// Descriptor 0 is a valid descriptor, but 0 is "no port" to the engine.
TEST_F(LinuxSerialTest, APortOnDescriptorZeroIsNotHandedOutAsZero) {
    const linuxos::UniqueFd savedStdin(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    ::close(STDIN_FILENO);
    const PortHandle port = platform.OpenSerial();
    const bool configured = platform.ConfigureSerial(port);
    const std::uint8_t byte = 0x7E;
    const std::uint32_t sent = platform.WriteSerial(port, &byte, 1);
    platform.CloseSerial(port);
    const bool closed = ::fcntl(STDIN_FILENO, F_GETFD) == -1;
    ::dup2(savedStdin.Get(), STDIN_FILENO);

    EXPECT_NE(port, 0);
    EXPECT_NE(port, kInvalidHandle);
    EXPECT_TRUE(configured);
    EXPECT_EQ(sent, 1u);
    EXPECT_TRUE(closed);
    EXPECT_EQ(ReadWaiting(pty.Master(), 2000), Bytes{0x7E});
}

}  // namespace
}  // namespace vardel::test
