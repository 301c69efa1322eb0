// The parser of the MCU's frames: one byte at a time, status replies, block
// requests and the completion request.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineReplyParser : public EngineTest {
protected:
    void SetUp() override { Open(); }

    void Feed(const Bytes& bytes) {
        Mcu(bytes);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            ASSERT_EQ(engine.ReadReplyByte(), 1) << "byte " << i;
        }
    }
};

struct PositionRow {
    Bytes before;
    std::uint8_t byte;
    std::uint32_t after;
};

TEST_F(EngineReplyParser, EachByteMovesThePositionAsTheFrameLayoutSays) {
    const Bytes q = Ascii("#UQ");
    const PositionRow rows[] = {
        {{}, 0x23, 1},
        {{}, 0x55, 0},
        {{}, 0x00, 0},
        {{}, 0xFF, 0},
        {Ascii("#"), 0x55, 2},
        {Ascii("#"), 0x23, 0},   // a second '#' breaks the frame ...
        {Ascii("##"), 0x55, 0},  // ... and does not start a new one
        {Ascii("#"), 0x00, 0},
        {Ascii("#U"), 0x00, 3},
        {Ascii("#U"), 0x23, 3},
        {Ascii("#U"), 0xFF, 3},
        {q, 0x00, 4},
        {q, 0x23, 4},
        {Ascii("#UQA"), 0x42, 5},
        {Ascii("#UKO"), 0x4B, 0},  // "#UKOK"
        {Ascii("#UEN"), 0x47, 0},  // "#UENG"
        {Ascii("#UKN"), 0x47, 0},  // "#UKNG"
        {Ascii("#UKO"), 0x00, 5},
        {Ascii("#UKO"), 0x4C, 5},
        {Ascii("#UQAB"), 0x00, 6},
        {Ascii("#UQABC"), 0x00, 0},
        {Ascii("#UQABC"), 0x23, 0},
    };
    for (const PositionRow& row : rows) {
        UpgradeEngine parser{fake};
        parser.port = engine.port;  // reads share the one open line
        Mcu(row.before);
        for (std::size_t i = 0; i < row.before.size(); ++i) ASSERT_EQ(parser.ReadReplyByte(), 1);
        Mcu({row.byte});
        EXPECT_EQ(parser.ReadReplyByte(), 1);
        EXPECT_EQ(parser.rxCount, row.after) << "after " << ::testing::PrintToString(row.before)
                                             << " byte " << static_cast<int>(row.byte);
        parser.port = 0;  // the fixture's engine owns the handle
    }
}

TEST_F(EngineReplyParser, NoByteWaitingReadsNothingAndKeepsThePosition) {
    Feed(Ascii("#U"));
    EXPECT_EQ(engine.ReadReplyByte(), 0);
    EXPECT_EQ(engine.rxCount, 2u);
    EXPECT_EQ(engine.rxBytes[0], 0x23);
    EXPECT_EQ(engine.rxBytes[1], 0x55);
    EXPECT_EQ(engine.rxBytes[2], 0x00);
}

struct StatusRow {
    const char* reply;
    const std::u16string* text;
};

TEST_F(EngineReplyParser, StatusRepliesOnlyProduceTheirText) {
    const StatusRow rows[] = {
        {"#UKOK", &kEraseOk}, {"#UENG", &kEraseFailed}, {"#UKNG", &kChipEncrypted}};
    engine.requestedBlock = 33;
    for (const StatusRow& row : rows) {
        SCOPED_TRACE(row.reply);
        Clear();
        Feed(Ascii(row.reply));
        EXPECT_EQ(Texts(), std::vector<std::u16string>{*row.text});
        EXPECT_TRUE(Percents().empty());
        EXPECT_EQ(engine.rxCount, 0u);
        EXPECT_EQ(engine.requestedBlock, 33);
        EXPECT_EQ(engine.signal, SIGNAL_NONE);
        EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
    }
}

TEST_F(EngineReplyParser, LookalikesOfStatusRepliesAreNotReported) {
    for (const char* text : {"#UKOL", "#UOKK", "#UENK", "#UKNO", "#UKOk"}) {
        Feed(Ascii(text));
        EXPECT_EQ(engine.rxCount, 5u) << text;
        Feed({0, 0});
    }
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineReplyParser, ABlockRequestSetsTheBlockWithoutAnyText) {
    Feed({0x23, 0x55, 0x77, 0x00, 0x05, 0xFF, 0xFA});
    EXPECT_EQ(engine.requestedBlock, 5);
    EXPECT_EQ(engine.rxCount, 0u);
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

TEST_F(EngineReplyParser, ALaterRequestReplacesAnEarlierOne) {
    Feed(BlockRequest(9));
    Feed(BlockRequest(0x1234, 0x00));
    EXPECT_EQ(engine.requestedBlock, 0x1234);
}

TEST_F(EngineReplyParser, ARequestWithABadComplementIsDroppedSilently) {
    Feed(BlockRequest(9));
    const Bytes bad[] = {
        {0x23, 0x55, 0x77, 0x00, 0x05, 0xFF, 0xFB},  // low complement wrong
        {0x23, 0x55, 0x77, 0x00, 0x05, 0xFE, 0xFA},  // high complement wrong
        {0x23, 0x55, 0x77, 0x00, 0x05, 0x00, 0x05},  // bytes repeated, not complemented
        {0x23, 0x55, 0x77, 0xFF, 0xFF, 0x00, 0x01},  // a completion spoilt
    };
    for (const Bytes& frame : bad) {
        Feed(frame);
        EXPECT_EQ(engine.rxCount, 0u);
        EXPECT_EQ(engine.requestedBlock, 9);
    }
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

TEST_F(EngineReplyParser, TheCompletionReportsProgressThenTextThenRaisesTheSignal) {
    engine.requestedBlock = 17;
    Feed({0x23, 0x55, 0x01, 0xFF, 0xFF, 0x00, 0x00});
    EXPECT_EQ(engine.requestedBlock, ALL_BLOCKS_DONE);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);
    ASSERT_EQ(sink.reports.size(), 2u);
    EXPECT_EQ(sink.reports[0].kind, Report::Progress);
    EXPECT_EQ(sink.reports[0].percent, 100);
    EXPECT_EQ(sink.reports[1].kind, Report::Message);
    EXPECT_EQ(sink.reports[1].text, kUpgradeDone);
    EXPECT_TRUE(fake.writeRequests.empty());
}

TEST_F(EngineReplyParser, TheCompletionWithoutAProgressCallbackStillEndsTheRun) {
    engine.SetProgressCallback(nullptr);
    Feed(Completion());
    EXPECT_EQ(engine.requestedBlock, ALL_BLOCKS_DONE);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kUpgradeDone});
}

TEST_F(EngineReplyParser, TheHighestBlockIsAnOrdinaryRequest) {
    Feed({0x23, 0x55, 0x01, 0xFF, 0xFE, 0x00, 0x01});
    EXPECT_EQ(engine.requestedBlock, 65534);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineReplyParser, ARequestSpellingAStatusReplyIsTakenAsTheReply) {
    // Kind 'K' and block 0x4F4B spell "#UKOK" in the first five bytes.
    Feed({0x23, 0x55, 0x4B, 0x4F, 0x4B});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kEraseOk});
    EXPECT_EQ(engine.rxCount, 0u);
    Feed({0xB0, 0xB4});  // its complement bytes are dropped at position 0
    EXPECT_EQ(engine.rxCount, 0u);
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(Texts().size(), 1u);
}

TEST_F(EngineReplyParser, AZeroByteInTheTextPartNeverMatchesAStatusReply) {
    struct Row {
        Bytes frame;
        std::int32_t block;
    };
    const Row rows[] = {
        {{0x23, 0x55, 0x00, 0x00, 0x05, 0xFF, 0xFA}, 5},
        {{0x23, 0x55, 0x4B, 0x00, 0x00, 0xFF, 0xFF}, 0},
        {{0x23, 0x55, 0x4B, 0x4F, 0x00, 0xB0, 0xFF}, 0x4F00},
        {{0x23, 0x55, 0x45, 0x4E, 0x00, 0xB1, 0xFF}, 0x4E00},
    };
    for (const Row& row : rows) {
        Feed(Bytes(row.frame.begin(), row.frame.begin() + 5));
        EXPECT_EQ(engine.rxCount, 5u);
        Feed(Bytes(row.frame.begin() + 5, row.frame.end()));
        EXPECT_EQ(engine.requestedBlock, row.block);
    }
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineReplyParser, TheStoredFrameStaysTerminatedAndThePositionBelowSeven) {
    // A long noisy stream, rich in '#' and 'U', with whole frames mixed in.
    std::uint32_t x = 99;
    Bytes stream;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        const std::uint32_t r = (x >> 16) % 8;
        if (r < 2) {
            stream.push_back(0x23);
        } else if (r < 4) {
            stream.push_back(0x55);
        } else if (r == 4 && i % 50 == 0) {
            const Bytes f = BlockRequest((x >> 8) & 0xFFFF);
            stream.insert(stream.end(), f.begin(), f.end());
        } else {
            stream.push_back(static_cast<std::uint8_t>(x >> 24));
        }
    }
    Mcu(stream);
    for (std::size_t i = 0; i < stream.size(); ++i) {
        ASSERT_EQ(engine.ReadReplyByte(), 1);
        const std::uint32_t pos = engine.rxCount;
        ASSERT_LE(pos, 6u) << "byte " << i;
        if (pos > 0) {
            ASSERT_EQ(engine.rxBytes[0], 0x23);
            ASSERT_EQ(engine.rxBytes[pos], 0x00) << "byte " << i;
        }
        if (pos > 1) {
            ASSERT_EQ(engine.rxBytes[1], 0x55);
        }
        for (std::uint32_t k = 8; k < kRxBytesSize; ++k) ASSERT_EQ(engine.rxBytes[k], 0x00);
    }
}

}  // namespace
}  // namespace vardel::test
