// The station's watch on real folders: links to pseudo-terminals made and
// removed as udev makes an adapter's names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/PortWatch.h"
#include "tests/e2e/E2eHarness.h"

namespace vardel::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

Names PathsOf(const std::vector<WatchedPort>& ports) {
    Names paths;
    for (const auto& port : ports) paths.push_back(port.path);
    return paths;
}

std::unique_ptr<PortWatch> Watch(const Names& patterns) {
    std::string error;
    auto watch = WatchPorts(patterns, error);
    EXPECT_NE(watch, nullptr) << error;
    return watch;
}

// Waits out the burst of changes one step makes.
void Settle(PortWatch& watch) {
    while (watch.Wait(20ms)) {
    }
}

TEST(PortWatch, APortThatAppearsOrGoesEndsTheWaitAndQuietLetsItRunOut) {
    const TempDir dir;
    const auto pty = OpenPty();
    const auto watch = Watch({(dir.Path() / "*").string()});
    EXPECT_EQ(PathsOf(watch->Present()), Names{});
    EXPECT_FALSE(watch->Wait(50ms));

    const fs::path link = dir.Path() / "unit";
    fs::create_symlink(pty.SlavePath(), link);
    EXPECT_TRUE(watch->Wait(1s));
    EXPECT_EQ(PathsOf(watch->Present()), Names{link.string()});
    Settle(*watch);

    fs::remove(link);
    EXPECT_TRUE(watch->Wait(1s));
    EXPECT_EQ(PathsOf(watch->Present()), Names{});
}

// Its earlier pattern's name leads; the station knows the device by either.
TEST(PortWatch, OneDeviceUnderTwoNamesIsOnePortAndWhatIsNoDeviceIsNone) {
    const TempDir dir;
    const auto pty = OpenPty();
    fs::create_directories(dir.Path() / "by-id");
    fs::create_symlink(pty.SlavePath(), dir.Path() / "by-id" / "usb-adapter");
    fs::create_symlink(pty.SlavePath(), dir.Path() / "ttyUSB0");
    fs::create_symlink(dir.Path() / "nothing", dir.Path() / "ttyUSB1");  // dangling
    std::ofstream(dir.Path() / "ttyUSB2") << "a plain file";
    const auto watch =
        Watch({(dir.Path() / "by-id" / "*").string(), (dir.Path() / "ttyUSB*").string()});
    const std::string stable = (dir.Path() / "by-id" / "usb-adapter").string();
    const std::vector<WatchedPort> expected = {
        {stable, {stable, (dir.Path() / "ttyUSB0").string()}}};
    EXPECT_EQ(watch->Present(), expected);
}

// /dev/serial/by-id comes with the first adapter that has a stable name.
TEST(PortWatch, AFolderThatIsNotThereYetIsWatchedFromItsParent) {
    const TempDir dir;
    const auto pty = OpenPty();
    const fs::path folder = dir.Path() / "serial" / "by-id";
    const auto watch = Watch({(folder / "*").string()});
    fs::create_directories(folder);
    EXPECT_TRUE(watch->Wait(1s));
    Settle(*watch);
    fs::create_symlink(pty.SlavePath(), folder / "usb-adapter");
    EXPECT_TRUE(watch->Wait(1s));
    EXPECT_EQ(PathsOf(watch->Present()), Names{(folder / "usb-adapter").string()});
}

}  // namespace
}  // namespace vardel::test
