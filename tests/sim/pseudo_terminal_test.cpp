// The simulator's stand-in for the serial device: a pseudo-terminal reached
// through a symbolic link, and the command-line tool that plays on it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "sim/PseudoTerminal.h"
#include "tests/sim/HandHost.h"

namespace vardel::sim::test {
namespace {

using std::chrono::milliseconds;

class TempDir {
public:
    TempDir() {
        std::string pattern = "/tmp/vardel-sim-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        if (!path_.empty()) {
            std::system(("rm -rf '" + path_ + "'").c_str());
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool Exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

std::string LinkTarget(const std::string& path) {
    char target[256] = {};
    const auto length = readlink(path.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

// What the host does when it opens the port: raw settings, and whatever was
// waiting in either direction thrown away.
UniqueFd OpenAsHost(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (fd.Valid()) {
        termios settings{};
        tcgetattr(fd.Get(), &settings);
        cfmakeraw(&settings);
        tcsetattr(fd.Get(), TCSANOW, &settings);
        tcflush(fd.Get(), TCIOFLUSH);
    }
    return fd;
}

TEST(PseudoTerminal, AHostPlaysASessionThroughTheLinkedDevice) {
    TempDir dir;
    std::string error;
    auto terminal = PseudoTerminal::Open(error);
    ASSERT_TRUE(terminal) << error;
    auto link = DeviceLink::Make(dir / "ttyS3", terminal->SlavePath(), error);
    ASSERT_TRUE(link) << error;
    const Bytes image = CountingImage(BlocksOf(20));
    McuSimulator mcu(QuickOptions(), image);
    HandHost host(image);
    std::thread session([&] {
        mcu.Run(terminal->Master());
        host.finished = true;
    });

    const UniqueFd port = OpenAsHost(dir / "ttyS3");
    ASSERT_TRUE(port.Valid());
    host.Play(port.Get(), milliseconds(5000));
    mcu.Stop();
    session.join();

    EXPECT_TRUE(mcu.Result().Passed()) << mcu.Result().Text();
}

TEST(PseudoTerminal, TheMasterNeitherHangsUpNorRefusesBytesBeforeTheHostOpens) {
    std::string error;
    auto terminal = PseudoTerminal::Open(error);
    ASSERT_TRUE(terminal) << error;

    pollfd wait{terminal->Master(), POLLIN, 0};
    ASSERT_EQ(poll(&wait, 1, 0), 0) << "no hang-up reported while nobody else holds the slave";
    const Bytes status = StatusReplyFrame(StatusReply::EraseOk);
    EXPECT_EQ(write(terminal->Master(), status.data(), status.size()), 5);

    const UniqueFd port = OpenAsHost(terminal->SlavePath());
    ASSERT_TRUE(port.Valid());
    std::uint8_t byte = 0;
    const int flags = fcntl(port.Get(), F_GETFL);
    fcntl(port.Get(), F_SETFL, flags | O_NONBLOCK);
    EXPECT_EQ(read(port.Get(), &byte, 1), -1) << "the host's purge threw the early bytes away";
}

TEST(DeviceLink, AnEarlierLinkIsReplacedAndTheLinkGoesAtTheEnd) {
    TempDir dir;
    ASSERT_EQ(symlink("/dev/vardel-gone", (dir / "ttyS3").c_str()), 0);
    std::string error;
    {
        auto link = DeviceLink::Make(dir / "ttyS3", "/dev/null", error);
        ASSERT_TRUE(link) << error;
        EXPECT_EQ(LinkTarget(dir / "ttyS3"), "/dev/null");
    }
    EXPECT_FALSE(Exists(dir / "ttyS3"));
}

TEST(DeviceLink, AFileInTheWayIsLeftAlone) {
    TempDir dir;
    std::ofstream(dir / "ttyS3") << "mine";
    std::string error;

    EXPECT_FALSE(DeviceLink::Make(dir / "ttyS3", "/dev/null", error));

    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    std::string content;
    std::ifstream(dir / "ttyS3") >> content;
    EXPECT_EQ(content, "mine");
}

TEST(DeviceLink, ALinkTakenOverByAnotherRunStays) {
    TempDir dir;
    std::string error;
    {
        auto link = DeviceLink::Make(dir / "ttyS3", "/dev/null", error);
        ASSERT_TRUE(link) << error;
        ASSERT_EQ(unlink((dir / "ttyS3").c_str()), 0);
        ASSERT_EQ(symlink("/dev/zero", (dir / "ttyS3").c_str()), 0);
    }
    EXPECT_EQ(LinkTarget(dir / "ttyS3"), "/dev/zero");
}

// --- the command-line tool ---

struct ToolRun {
    int exitCode = -1;
    std::string verdict;
};

// Starts the tool with --ready, plays `host` on the link once it exists
// (unless host is null), and returns the verdict line and the exit code.
ToolRun RunTool(const TempDir& dir, const Bytes& image, const std::string& flags, HandHost* host) {
    std::ofstream(dir / "image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    const std::string command = std::string(VARDEL_MCU_SIM) + " --quiet --ready --image '" +
                                (dir / "image.bin") + "' --link '" + (dir / "ttyS3") + "' " +
                                flags + " 2>/dev/null";
    FILE* tool = popen(command.c_str(), "r");
    ToolRun run;
    if (tool == nullptr) {
        return run;
    }
    char line[256] = {};
    while (std::fgets(line, sizeof line, tool) != nullptr) {
        const std::string text = line;
        if (text.rfind("ready ", 0) == 0 && host != nullptr) {
            const UniqueFd port = OpenAsHost(dir / "ttyS3");
            host->Play(port.Get(), milliseconds(10000));
        } else if (text.rfind("verdict: ", 0) == 0) {
            run.verdict = text.substr(0, text.size() - 1);
        }
    }
    const int status = pclose(tool);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(McuSimTool, AGoodSessionPrintsAnIdenticalVerdictAndExitsZero) {
    TempDir dir;
    const Bytes image = CountingImage(1030);
    HandHost host(image);

    const ToolRun run = RunTool(dir, image, "--order shuffle --noise=2 --max-seconds 20", &host);

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.verdict,
              "verdict: image identical, 16 blocks, 1024 bytes, frames 18, repeats 0, faults 0, "
              "reset received");
    EXPECT_FALSE(Exists(dir / "ttyS3")) << "the link goes with the tool";
}

TEST(McuSimTool, EachWayOfFailingHasItsOwnExitCode) {
    TempDir dir;
    const Bytes image = CountingImage(1024);
    HandHostKnobs noReset;
    noReset.sendReset = false;
    HandHost host(image, noReset);

    EXPECT_EQ(RunTool(dir, image, "--reset-timeout 100", &host).exitCode, 4);
    EXPECT_EQ(RunTool(dir, image, "--max-seconds 1", nullptr).exitCode, 2);
    EXPECT_EQ(RunTool(dir, image, "--order sideways", nullptr).exitCode, 1);
}

}  // namespace
}  // namespace vardel::sim::test
