// The serial port on a real pseudo-terminal: the slave end is "COM4:", the
// master end plays the MCU.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

using test::Bytes;
using test::Counting;
using test::ReadFor;
using test::Stopwatch;
using test::WriteAll;

constexpr int kArrivalMs = 2000;    // generous bound for bytes in flight
constexpr double kAtOnceMs = 10.0;  // "does not wait", with room for a busy machine
constexpr std::uint32_t kFrameSize = 69;

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

    // Leaves the device in the state a terminal is usually found in, plus
    // every kind of flow control, so that each setting has to be changed.
    void MakeDeviceCookedWithFlowControl(bool ixoff) {
        termios settings = DeviceSettings();
        settings.c_iflag |= ICRNL | IXON | ISTRIP | INPCK;
        settings.c_iflag = ixoff ? (settings.c_iflag | IXOFF) : (settings.c_iflag & ~IXOFF);
        settings.c_oflag |= OPOST | ONLCR;
        settings.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        settings.c_cflag &= ~CLOCAL;
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        ASSERT_EQ(::tcsetattr(pty.slave.Get(), TCSANOW, &settings), 0);
    }

    // Reads what the MCU sent, waiting between bytes as the engine would.
    Bytes ReceiveBytes(PortHandle port, std::size_t count) {
        Bytes got;
        const Stopwatch clock;
        while (got.size() < count && clock.Ms() < kArrivalMs) {
            std::uint8_t byte = 0;
            if (platform.ReadSerialByte(port, byte)) {
                got.push_back(byte);
            } else {
                platform.WaitSerialReadable(port, 50);
            }
        }
        return got;
    }
};

TEST_F(PosixSerialTest, ConfiguredLineReadsBackAs38400Raw8N1WithoutFlowControl) {
    MakeDeviceCookedWithFlowControl(false);
    OpenConfigured();

    const termios s = DeviceSettings();
    EXPECT_EQ(::cfgetispeed(&s), static_cast<speed_t>(B38400));
    EXPECT_EQ(::cfgetospeed(&s), static_cast<speed_t>(B38400));
    EXPECT_EQ(s.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(s.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "no parity, one stop bit, no RTS/CTS";
    EXPECT_EQ(s.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(s.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(s.c_oflag & OPOST, 0u);
    EXPECT_EQ(s.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(s.c_cc[VMIN], 1);
    EXPECT_EQ(s.c_cc[VTIME], 0);
}

TEST_F(PosixSerialTest, InputFlowControlIsLeftAsTheDeviceHadIt) {
    MakeDeviceCookedWithFlowControl(true);
    platform.CloseSerial(OpenConfigured());
    EXPECT_NE(DeviceSettings().c_iflag & IXOFF, 0u);

    MakeDeviceCookedWithFlowControl(false);
    OpenConfigured();
    EXPECT_EQ(DeviceSettings().c_iflag & IXOFF, 0u);
}

TEST_F(PosixSerialTest, EveryByteValuePassesUnchangedInBothDirections) {
    MakeDeviceCookedWithFlowControl(false);
    const PortHandle port = OpenConfigured();
    // CR, LF, XON, XOFF, ^C and the high bit are where a cooked line bites.
    const Bytes all = Counting(256);

    WriteAll(pty.master.Get(), all);
    EXPECT_EQ(ReceiveBytes(port, all.size()), all);

    ASSERT_EQ(platform.WriteSerial(port, all.data(), 256), 256u);
    EXPECT_EQ(ReadFor(pty.master.Get(), all.size(), kArrivalMs), all);
}

TEST_F(PosixSerialTest, FrameArrivesWholeOnTheOtherSide) {
    const PortHandle port = OpenConfigured();
    Bytes frame = Counting(kFrameSize);
    frame[0] = 0xAA;

    EXPECT_EQ(platform.WriteSerial(port, frame.data(), kFrameSize), kFrameSize);
    EXPECT_EQ(ReadFor(pty.master.Get(), kFrameSize + 1, 200), frame)
        << "exactly the frame, no more";
}

TEST_F(PosixSerialTest, WriteLargerThanTheLineCanHoldWaitsForRoomAndGoesOutWhole) {
    const PortHandle port = OpenConfigured();
    const Bytes big = Counting(std::size_t{256} * 1024);
    Bytes received;
    std::thread mcu([&] { received = ReadFor(pty.master.Get(), big.size(), 20000); });

    const std::uint32_t sent =
        platform.WriteSerial(port, big.data(), static_cast<std::uint32_t>(big.size()));
    mcu.join();

    EXPECT_EQ(sent, big.size());
    EXPECT_TRUE(received == big) << "received " << received.size() << " bytes";
}

TEST_F(PosixSerialTest, EmptyLineReadsNoByteAtOnce) {
    const PortHandle port = OpenConfigured();
    std::uint8_t byte = 0x5A;

    const Stopwatch clock;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte));
    EXPECT_LT(clock.Ms(), kAtOnceMs);
}

TEST_F(PosixSerialTest, PurgeThrowsAwayInputThatHasArrived) {
    const PortHandle port = OpenConfigured();
    WriteAll(pty.master.Get(), {0x23, 0x55, 0x4B});
    platform.WaitSerialReadable(port, kArrivalMs);

    platform.PurgeSerial(port);

    std::uint8_t byte = 0;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte));
}

TEST_F(PosixSerialTest, WaitReturnsAsSoonAsAByteArrives) {
    const PortHandle port = OpenConfigured();
    std::thread mcu([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        WriteAll(pty.master.Get(), {0x23});
    });

    const Stopwatch clock;
    platform.WaitSerialReadable(port, 5000);
    const double waited = clock.Ms();
    mcu.join();

    EXPECT_GE(waited, 40.0);
    EXPECT_LT(waited, 1000.0);
    std::uint8_t byte = 0;
    EXPECT_TRUE(platform.ReadSerialByte(port, byte));
    EXPECT_EQ(byte, 0x23);
}

TEST_F(PosixSerialTest, WaitLastsTheTimeoutWhenNothingArrives) {
    const PortHandle port = OpenConfigured();

    const Stopwatch clock;
    platform.WaitSerialReadable(port, 100);

    EXPECT_GE(clock.Ms(), 95.0);
    EXPECT_LT(clock.Ms(), 1000.0);
}

TEST_F(PosixSerialTest, AfterTheOtherSideHangsUpWritesFallShortAndReadsFindNothingAtOnce) {
    const PortHandle port = OpenConfigured();
    pty.master.Reset();
    const Bytes frame = Counting(kFrameSize);

    EXPECT_LT(platform.WriteSerial(port, frame.data(), kFrameSize), kFrameSize);

    std::uint8_t byte = 0;
    const Stopwatch clock;
    EXPECT_FALSE(platform.ReadSerialByte(port, byte));
    EXPECT_LT(clock.Ms(), kAtOnceMs);
}

// Otherwise a caller that waits in a loop until its time is up would spin.
TEST_F(PosixSerialTest, WaitOnAHungUpLineStillLastsTheTimeout) {
    const PortHandle port = OpenConfigured();
    pty.master.Reset();

    const Stopwatch clock;
    platform.WaitSerialReadable(port, 100);

    EXPECT_GE(clock.Ms(), 95.0);
    EXPECT_LT(clock.Ms(), 1000.0);
}

TEST_F(PosixSerialTest, MissingDeviceDoesNotOpen) {
    PosixPlatform elsewhere(pty.slavePath + "-missing");
    EXPECT_EQ(elsewhere.OpenSerial(), kInvalidHandle);
}

TEST_F(PosixSerialTest, PortHeldInThisProcessDoesNotOpenAgainUntilClosed) {
    const PortHandle first = platform.OpenSerial();
    ASSERT_NE(first, kInvalidHandle);
    PosixPlatform other(pty.slavePath);

    EXPECT_EQ(other.OpenSerial(), kInvalidHandle);
    EXPECT_EQ(platform.OpenSerial(), kInvalidHandle) << "not even through the same platform";

    platform.CloseSerial(first);
    const PortHandle second = other.OpenSerial();
    EXPECT_NE(second, kInvalidHandle);
    EXPECT_NE(second, 0);
}

// We run as root, which TIOCEXCL does not stop: the lock must.
TEST_F(PosixSerialTest, PortHeldByAnotherProcessDoesNotOpen) {
    test::Pipe ready;
    test::Pipe done;
    test::ChildProcess holder([&] {
        PosixPlatform theirs(pty.slavePath);
        if (theirs.OpenSerial() != kInvalidHandle) {
            test::SendToken(ready.writeEnd.Get());
            test::AwaitToken(done.readEnd.Get(), 10000);
        }
    });
    ASSERT_TRUE(test::AwaitToken(ready.readEnd.Get(), kArrivalMs)) << "the child could not open";

    EXPECT_EQ(platform.OpenSerial(), kInvalidHandle);

    test::SendToken(done.writeEnd.Get());
    holder.Reap();
    EXPECT_NE(platform.OpenSerial(), kInvalidHandle);
}

// Descriptor 0 is a valid descriptor, but 0 is "no port" to the engine.
TEST_F(PosixSerialTest, PortOnDescriptorZeroIsNotHandedOutAsZero) {
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

TEST_F(PosixSerialTest, DeviceThatIsNotATerminalOpensButRefusesTheSettings) {
    test::TempDir dir;
    const auto path = dir.Path() / "not-a-tty";
    test::WriteFileBytes(path, {});
    PosixPlatform onFile(path.string());

    const PortHandle port = onFile.OpenSerial();

    ASSERT_NE(port, kInvalidHandle);
    EXPECT_FALSE(onFile.ConfigureSerial(port));
}

TEST_F(PosixSerialTest, ClosedOrUnknownPortIsNeitherWrittenNorRead) {
    const PortHandle port = OpenConfigured();
    platform.CloseSerial(port);
    const std::uint8_t out = 0x23;
    std::uint8_t in = 0;

    for (const PortHandle stale : {port, PortHandle{0}, kInvalidHandle}) {
        EXPECT_EQ(platform.WriteSerial(stale, &out, 1), 0u);
        EXPECT_FALSE(platform.ReadSerialByte(stale, in));
        EXPECT_FALSE(platform.ConfigureSerial(stale));
    }
}

}  // namespace
}  // namespace vardel
