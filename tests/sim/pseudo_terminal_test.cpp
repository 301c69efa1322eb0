// The link that stands for the serial device, and the command-line tool that
// plays the MCU on it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/PseudoTerminal.h"
#include "tests/sim/HandHost.h"

namespace vardel::sim::test {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vardel-sim-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

TEST(DeviceLink, ReplacesAnEarlierLinkLeavesAFileAloneAndGoesAtTheEnd) {
    TempDir dir;
    std::string error;
    std::ofstream(dir / "file") << "mine";
    EXPECT_FALSE(DeviceLink::Make(dir / "file", "/dev/null", error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_regular_file(dir / "file"));

    ASSERT_EQ(symlink("/dev/vardel-gone", (dir / "ttyS3").c_str()), 0);
    {
        auto link = DeviceLink::Make(dir / "ttyS3", "/dev/null", error);
        ASSERT_TRUE(link) << error;
        EXPECT_EQ(fs::read_symlink(dir / "ttyS3"), "/dev/null");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "ttyS3")));
}

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
    if (tool == nullptr) return run;
    char line[256] = {};
    while (std::fgets(line, sizeof line, tool) != nullptr) {
        const std::string text = line;
        if (text.starts_with("ready ") && host != nullptr) {
            // What the host does on opening the port: raw settings, nothing stale.
            const UniqueFd port(open((dir / "ttyS3").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
            termios settings{};
            tcgetattr(port.Get(), &settings);
            cfmakeraw(&settings);
            tcsetattr(port.Get(), TCSANOW, &settings);
            tcflush(port.Get(), TCIOFLUSH);
            host->Play(port.Get(), std::chrono::milliseconds(10000));
        } else if (text.starts_with("verdict: ")) {
            run.verdict = text.substr(0, text.size() - 1);
        }
    }
    const int status = pclose(tool);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(McuSimTool, EachOutcomeHasItsExitCode) {
    TempDir dir;
    const Bytes image = CountingImage(1030);
    HandHost good(image);
    const ToolRun passed = RunTool(dir, image, "--order shuffle --noise=2 --max-seconds 20", &good);
    EXPECT_EQ(passed.exitCode, 0);
    EXPECT_EQ(passed.verdict,
              "verdict: image identical, 16 blocks, 1024 bytes, frames 18, repeats 0, faults 0, "
              "reset received");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "ttyS3"))) << "the link goes with the tool";

    HandHostKnobs knobs;
    knobs.sendReset = false;
    HandHost noReset(image, knobs);
    EXPECT_EQ(RunTool(dir, image, "--reset-timeout 100", &noReset).exitCode, 4);
    EXPECT_EQ(RunTool(dir, image, "--max-seconds 1", nullptr).exitCode, 2);
    EXPECT_EQ(RunTool(dir, image, "--order sideways", nullptr).exitCode, 1);
}

}  // namespace
}  // namespace vardel::sim::test
