// The data frames the engine writes, byte for byte, the blocks it may send,
// and a frame that does not go out. Data frames are compared with DataFrame(),
// which counts the check bytes on its own; the enter-upgrade and reset frames
// are checked along the road of a run (step_machine_test, main_dialog_test),
// and the progress of each block in step_machine_test.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

using EngineFrames = EngineTest;

TEST_F(EngineFrames, OnlyBlocksWhollyInsideTheImageAreSent) {
    Load(Pattern(4096, 1));  // an earlier, longer image leaves its bytes in the buffer
    const Bytes image = Pattern(1030, 2);
    Load(image);
    for (std::uint32_t block = 0; block < 16; ++block) {
        ASSERT_EQ(engine.SendBlock(block), 1);
        EXPECT_EQ(fake.writes.back(), DataFrame(image, block)) << block;
    }
    // Image size and block; the last two make block × 64 wrap around in 32 bits.
    const std::pair<std::size_t, std::uint32_t> refused[] = {
        {1030, 16},     {65536, 1024},       {65536, 65535},
        {65536, 65536}, {65536, 0x03FFFFFF}, {65536, 0x04000000}};
    for (const auto& [size, block] : refused) {
        Load(Pattern(size));
        engine.requestedBlock = 12;
        EXPECT_EQ(engine.SendBlock(block), 0) << block;
        EXPECT_EQ(engine.requestedBlock, NO_REQUEST) << block;
        EXPECT_TRUE(fake.writeRequests.empty()) << block;
        EXPECT_EQ(Said(), Texts16{u"MCU请求数据出错!"}) << block;
    }
}

// Without an image no block is sent, silently; without a port nothing is
// written at all (nothing to write is no failure). Progress goes out before
// the frame and stays said when the write falls short.
TEST_F(EngineFrames, AFrameThatDoesNotGoOutWhollyFailsAndSaysSo) {
    EXPECT_EQ(engine.SendBlock(0), 0);
    EXPECT_EQ(engine.SendBytes(nullptr, 0), 1);
    EXPECT_EQ(engine.SendReset(), 0);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(Said(), Texts16{kSendFailed});
    const Bytes image = Pattern(1024);
    Load(image);
    fake.writeLimit = 10;
    engine.requestedBlock = 9;
    EXPECT_EQ(engine.SendBlock(9), 0);
    const Bytes frame = DataFrame(image, 9);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{Bytes(frame.begin(), frame.begin() + 10)});
    EXPECT_EQ(Said(), (Texts16{u"2%", kSendFailed}));
    EXPECT_EQ(sink.writesBefore[0], 0u);
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
}

}  // namespace
}  // namespace vardel::test
