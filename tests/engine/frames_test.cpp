// The three frames the engine writes, byte for byte, the blocks it may send
// and the progress it reports with each.
#include <numeric>

#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

using EngineFrames = EngineTest;

TEST_F(EngineFrames, TheEnterUpgradeFrameIsSixBytesWhateverTheBufferHeld) {
    Load(Bytes(1024, 0xFF));
    ASSERT_EQ(engine.SendBlock(3), 1);  // fills the frame buffer well past six bytes
    Clear();
    EXPECT_EQ(engine.SendEnterUpgrade(), 1);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{kEnterUpgradeFrame});
}

TEST_F(EngineFrames, TheResetFrameRightAfterADataFrameHasSixtySixZeroBytes) {
    Load(Bytes(1024, 0xA5));
    ASSERT_EQ(engine.SendBlock(0), 1);
    Clear();
    EXPECT_EQ(engine.SendReset(), 1);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{ResetFrame()});
}

TEST_F(EngineFrames, TheResetFrameWithoutAPortWritesNothingAndSaysSo) {
    EXPECT_EQ(engine.SendReset(), 0);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(Texts(), Texts16{kSendFailed});
}

TEST_F(EngineFrames, ADataFrameIsTheBlockThenTheSumAndTheXorOfItsBytes) {
    struct Case {
        Bytes block;
        std::uint8_t sum;
        std::uint8_t xorByte;
    };
    Bytes counting(64);
    std::iota(counting.begin(), counting.end(), 0);
    Bytes lastOnly(64, 0);
    lastOnly[63] = 0x80;
    const Case cases[] = {
        {counting, 0xE0, 0x00}, {Bytes(64, 0xFF), 0xC0, 0x00}, {lastOnly, 0x80, 0x80}};
    Bytes image;
    for (const Case& c : cases) image.insert(image.end(), c.block.begin(), c.block.end());
    image.resize(1024);
    Load(image);
    for (std::uint32_t n = 0; n < std::size(cases); ++n) {
        Clear();
        ASSERT_EQ(engine.SendBlock(n), 1);
        Bytes expected = {0x23, 0x55, 0x44};
        expected.insert(expected.end(), cases[n].block.begin(), cases[n].block.end());
        expected.push_back(cases[n].sum);
        expected.push_back(cases[n].xorByte);
        EXPECT_EQ(fake.writes, std::vector<Bytes>{expected}) << "block " << n;
    }
}

TEST_F(EngineFrames, ABlockEndingAtTheImageSizeIsSentAndTheNextRefused) {
    Load(Pattern(4096, 1));  // an earlier, longer image leaves its bytes in the buffer
    const Bytes image = Pattern(1030, 2);
    Load(image);
    for (std::uint32_t block = 0; block < 16; ++block) {
        ASSERT_EQ(engine.SendBlock(block), 1);
        EXPECT_EQ(fake.writes.back(), DataFrame(image, block)) << block;
    }
    Clear();
    engine.requestedBlock = 16;
    EXPECT_EQ(engine.SendBlock(16), 0);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(Texts(), Texts16{kBadRequest});
    EXPECT_TRUE(Percents().empty());
}

TEST_F(EngineFrames, BlockNumbersPastTheWireRangeAreRefused) {
    Load(Pattern(65536));
    // The last two make block × 64 wrap around in 32 bits.
    for (std::uint32_t block : {1024u, 65535u, 65536u, 0x03FFFFFFu, 0x04000000u}) {
        Clear();
        engine.requestedBlock = 12;
        EXPECT_EQ(engine.SendBlock(block), 0) << block;
        EXPECT_EQ(engine.requestedBlock, NO_REQUEST) << block;
        EXPECT_TRUE(fake.writeRequests.empty()) << block;
        EXPECT_EQ(Texts(), Texts16{kBadRequest}) << block;
    }
}

TEST_F(EngineFrames, ProgressIsTheBlockTimes100Over448Unclamped) {
    Load(Pattern(65536));
    const std::pair<std::uint32_t, int> table[] = {
        {0, 0}, {4, 0}, {5, 1}, {447, 99}, {448, 100}, {449, 100}, {1023, 228},
    };
    for (const auto& [block, percent] : table) {
        Clear();
        ASSERT_EQ(engine.SendBlock(block), 1);
        EXPECT_EQ(Percents(), std::vector<int>{percent}) << "block " << block;
    }
}

TEST_F(EngineFrames, ProgressGoesOutBeforeTheFrameAndAShortWriteFails) {
    const Bytes image = Pattern(1024);
    Load(image);
    fake.writeLimit = 10;
    EXPECT_EQ(engine.SendBlock(9), 0);
    const Bytes frame = DataFrame(image, 9);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{Bytes(frame.begin(), frame.begin() + 10)});
    ASSERT_EQ(Percents(), std::vector<int>{2});
    EXPECT_EQ(sink.reports[0].writesBefore, 0u);
    EXPECT_EQ(Texts(), Texts16{kSendFailed});
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
}

}  // namespace
}  // namespace vardel::test
