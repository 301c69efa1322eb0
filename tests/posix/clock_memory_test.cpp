// The clock and the memory figure against the system's own accounts.
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

class PosixClockMemoryTest : public ::testing::Test {
protected:
    PosixPlatform platform{"/dev/null"};
};

TEST_F(PosixClockMemoryTest, TickCountMovesWithRealTime) {
    const std::uint32_t before = platform.TickCount();
    const test::Stopwatch clock;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::uint32_t moved = platform.TickCount() - before;
    const double slept = clock.Ms();

    EXPECT_GE(moved + 2.0, slept);
    EXPECT_LE(moved, slept + 2.0);
}

TEST_F(PosixClockMemoryTest, TotalPhysicalMemoryIsTheSystemsMemTotal) {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    std::uint64_t kib = 0;
    while (std::getline(meminfo, line)) {
        if (line.rfind("MemTotal:", 0) == 0) {
            std::istringstream(line.substr(9)) >> kib;
        }
    }
    ASSERT_GT(kib, 0u);
    const std::uint64_t bytes = kib * 1024;

    EXPECT_EQ(platform.TotalPhysicalMemory(), std::min<std::uint64_t>(bytes, 0xFFFFFFFFu));
}

TEST_F(PosixClockMemoryTest, AllocatedBlockIsWholeAndUsable) {
    constexpr std::size_t kSize = 65536;
    std::uint8_t* block = platform.Allocate(kSize);
    ASSERT_NE(block, nullptr);
    block[0] = 1;
    block[kSize - 1] = 2;
    EXPECT_EQ(block[0] + block[kSize - 1], 3);
    platform.Free(block);
}

}  // namespace
}  // namespace vardel
