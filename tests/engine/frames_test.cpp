// The three frames the engine writes: enter-upgrade, data and reset, byte for
// byte, the bounds of the blocks it may send and the progress it reports.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineFrames : public EngineTest {};

TEST_F(EngineFrames, TheEnterUpgradeFrameIsSixBytesWhateverTheBufferHeld) {
    Load(Bytes(1024, 0xFF));
    ASSERT_EQ(engine.SendBlock(3), 1);  // fills the buffer well past six bytes
    Clear();
    EXPECT_EQ(engine.SendEnterUpgrade(), 1);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{kEnterUpgradeFrame});
    EXPECT_TRUE(Texts().empty());
}

TEST_F(EngineFrames, TheEnterUpgradeFrameReportsAShortWrite) {
    Open();
    fake.writeLimit = 5;
    EXPECT_EQ(engine.SendEnterUpgrade(), 0);
    EXPECT_EQ(fake.writeRequests, std::vector<Bytes>{kEnterUpgradeFrame});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kSendFailed});
}

TEST_F(EngineFrames, TheResetFrameRightAfterADataFrameHasSixtySixZeroBytes) {
    Load(Bytes(1024, 0xA5));
    ASSERT_EQ(engine.SendBlock(0), 1);
    Clear();
    EXPECT_EQ(engine.SendReset(), 1);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{ResetFrame()});
}

TEST_F(EngineFrames, TheResetFrameFailsWithoutAPortAndLeavesTheStep) {
    EXPECT_EQ(engine.SendReset(), 0);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kSendFailed});
    EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
}

struct CheckBytesCase {
    const char* name;
    Bytes block;
    std::uint8_t sum;
    std::uint8_t xorByte;
};

TEST_F(EngineFrames, CheckBytesCoverTheSixtyFourDataBytesOnly) {
    Bytes counting(64);
    for (std::size_t i = 0; i < 64; ++i) counting[i] = static_cast<std::uint8_t>(i);
    Bytes single(64, 0);
    single[63] = 0x80;
    const CheckBytesCase cases[] = {
        {"0x00..0x3F", counting, 0xE0, 0x00},
        {"all 0xFF", Bytes(64, 0xFF), 0xC0, 0x00},
        {"all zero", Bytes(64, 0x00), 0x00, 0x00},
        {"only the last byte", single, 0x80, 0x80},
    };
    Bytes image;
    for (const auto& c : cases) image.insert(image.end(), c.block.begin(), c.block.end());
    image.resize(1024, 0);
    Load(image);

    for (std::uint32_t n = 0; n < std::size(cases); ++n) {
        SCOPED_TRACE(cases[n].name);
        Clear();
        ASSERT_EQ(engine.SendBlock(n), 1);
        ASSERT_EQ(fake.writes.size(), 1u);
        const Bytes& frame = fake.writes[0];
        ASSERT_EQ(frame.size(), 69u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 3), Bytes({0x23, 0x55, 0x44}));
        EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 67), cases[n].block);
        EXPECT_EQ(frame[67], cases[n].sum);
        EXPECT_EQ(frame[68], cases[n].xorByte);
    }
}

TEST_F(EngineFrames, EachBlockCarriesItsOwnSliceOfTheImage) {
    const Bytes image = Pattern(65536, 7);
    Load(image);
    for (std::uint32_t block : {0u, 1u, 2u, 63u, 447u, 448u, 1000u, 1023u}) {
        SCOPED_TRACE(block);
        Clear();
        ASSERT_EQ(engine.SendBlock(block), 1);
        EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image, block)});
        EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    }
}

TEST_F(EngineFrames, ABlockEndingAtTheImageSizeIsSentAndTheNextRefused) {
    const Bytes image = Pattern(1030);  // the last 6 bytes are never sent
    Load(image);
    for (std::uint32_t block = 0; block < 16; ++block) {
        ASSERT_EQ(engine.SendBlock(block), 1) << block;
        EXPECT_EQ(fake.writes.back(), DataFrame(image, block));
    }
    EXPECT_TRUE(Texts().empty());
    Clear();
    engine.requestedBlock = 16;
    EXPECT_EQ(engine.SendBlock(16), 0);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kBadRequest});
    EXPECT_TRUE(Percents().empty());
}

TEST_F(EngineFrames, BytesLeftFromALongerEarlierLoadAreNeverSent) {
    Load(Pattern(4096, 1));
    Load(Pattern(1024, 2));
    EXPECT_EQ(engine.SendBlock(16), 0);
    EXPECT_EQ(engine.SendBlock(63), 0);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(Texts(), std::vector<std::u16string>(2, kBadRequest));
}

TEST_F(EngineFrames, BlockNumbersPastTheWireRangeAreRefused) {
    Load(Pattern(65536));
    for (std::uint32_t block : {1024u, 65535u, 65536u, 0x03FFFFFFu, 0x04000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(block);
        Clear();
        engine.requestedBlock = 12;
        EXPECT_EQ(engine.SendBlock(block), 0);
        EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
        EXPECT_TRUE(fake.writeRequests.empty());
        EXPECT_EQ(Texts(), std::vector<std::u16string>{kBadRequest});
        EXPECT_TRUE(Percents().empty());
    }
}

TEST_F(EngineFrames, WithoutAnImageABlockIsRefusedSilentlyAndTheRequestKept) {
    Open();
    engine.requestedBlock = 12;
    EXPECT_EQ(engine.SendBlock(0), 0);
    EXPECT_EQ(engine.requestedBlock, 12);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineFrames, ProgressIsTheBlockTimes100Over448Unclamped) {
    Load(Pattern(65536));
    const std::pair<std::uint32_t, int> table[] = {
        {0, 0}, {1, 0}, {4, 0}, {5, 1}, {447, 99}, {448, 100}, {449, 100}, {1023, 228},
    };
    for (const auto& [block, percent] : table) {
        Clear();
        ASSERT_EQ(engine.SendBlock(block), 1);
        EXPECT_EQ(Percents(), std::vector<int>{percent}) << "block " << block;
    }
}

TEST_F(EngineFrames, ProgressIsReportedBeforeTheFrameIsWritten) {
    Load(Pattern(1024));
    ASSERT_EQ(engine.SendBlock(5), 1);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].writesBefore, 0u);
    EXPECT_EQ(fake.writes.size(), 1u);
}

TEST_F(EngineFrames, AShortDataWriteFailsAfterItsProgressWasReported) {
    const Bytes image = Pattern(1024);
    Load(image);
    fake.writeLimit = 10;
    EXPECT_EQ(engine.SendBlock(9), 0);
    const Bytes frame = DataFrame(image, 9);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{Bytes(frame.begin(), frame.begin() + 10)});
    EXPECT_EQ(Percents(), std::vector<int>{2});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kSendFailed});
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
}

TEST_F(EngineFrames, WithoutAProgressCallbackTheFrameStillGoesOut) {
    const Bytes image = Pattern(1024);
    Load(image);
    engine.SetProgressCallback(nullptr);
    EXPECT_EQ(engine.SendBlock(2), 1);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image, 2)});
    EXPECT_TRUE(sink.reports.empty());
}

}  // namespace
}  // namespace vardel::test
