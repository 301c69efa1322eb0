// The parser of the MCU's frames, one byte at a time, and the poll window it
// reads in: at most one frame per window, at most 300 ms, and no wait at all
// when the line is quiet between frames. Time passes on the fake clock only,
// by 1 ms per look at it and by any wait for the line.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineReplyParser : public EngineTest {
protected:
    void SetUp() override {
        ASSERT_EQ(engine.OpenPort(), 1);
        Clear();
    }

    void Feed(const Bytes& bytes) {
        Mcu(bytes);
        for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(engine.ReadReplyByte(), 1);
    }
    // Runs one poll window and returns how long it took on the clock.
    std::uint32_t Window() {
        const std::uint32_t start = fake.now;
        EXPECT_EQ(engine.PollReplies(), 1);
        return fake.now - start;
    }
};

TEST_F(EngineReplyParser, EachByteMovesThePositionAsTheFrameLayoutSays) {
    const std::tuple<const char*, std::uint8_t, std::uint32_t> rows[] = {
        {"", 0x23, 1},       {"", 0x55, 0},     {"", 0xFF, 0},      {"#", 0x55, 2},
        {"#", 0x23, 0},   // a second '#' breaks the frame ...
        {"##", 0x55, 0},  // ... and does not start a new one
        {"#", 0x00, 0},      {"#U", 0x00, 3},   {"#U", 0x23, 3},    {"#U", 0xFF, 3},
        {"#UQ", 0x00, 4},    {"#UQ", 0x23, 4},  {"#UQA", 0x42, 5},  {"#UKO", 0x4B, 0},  // "#UKOK"
        {"#UEN", 0x47, 0},                                                              // "#UENG"
        {"#UKN", 0x47, 0},                                                              // "#UKNG"
        {"#UKO", 0x00, 5},   {"#UKO", 0x4C, 5}, {"#UQAB", 0x00, 6}, {"#UQABC", 0x00, 0},
        {"#UQABC", 0x23, 0},
    };
    for (const auto& [before, byte, after] : rows) {
        UpgradeEngine parser{fake};
        parser.port = engine.port;  // reads share the one open line
        Bytes bytes = Ascii(before);
        bytes.push_back(byte);
        Mcu(bytes);
        for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(parser.ReadReplyByte(), 1);
        EXPECT_EQ(parser.rxCount, after) << "after \"" << before << "\" byte " << int{byte};
        parser.port = 0;  // the fixture's engine owns the handle
    }
}

TEST_F(EngineReplyParser, OnlyTheThreeStatusRepliesProduceTheirTextAndNothingElse) {
    const std::pair<const char*, const char16_t*> rows[] = {
        {"#UKOK", u"擦除成功"}, {"#UENG", u"擦除失败"}, {"#UKNG", u"芯片被加密"},
        {"#UKOL", nullptr},     {"#UOKK", nullptr},     {"#UENK", nullptr},
        {"#UKNO", nullptr},     {"#UKOk", nullptr},
    };
    engine.requestedBlock = 33;
    for (const auto& [reply, text] : rows) {
        Clear();
        Feed(Ascii(reply));
        EXPECT_EQ(Texts(), text != nullptr ? Texts16{text} : Texts16{}) << reply;
        EXPECT_EQ(engine.rxCount, text != nullptr ? 0u : 5u) << reply;
        Feed({0, 0});  // ends a lookalike as a request with bad complements
        EXPECT_EQ(engine.requestedBlock, 33) << reply;
        EXPECT_TRUE(Percents().empty());
    }
}

TEST_F(EngineReplyParser, ARequestWithMatchingComplementsSetsTheBlockAndAnyOtherIsDropped) {
    const std::pair<Bytes, std::int32_t> rows[] = {
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0xFF, 0xFA}, 5},      // any kind byte
        {{0x23, 0x55, 0x01, 0xFF, 0xFE, 0x00, 0x01}, 65534},  // the highest block
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0xFF, 0xFB}, 9},      // low complement wrong
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0xFE, 0xFA}, 9},      // high complement wrong
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0x00, 0x05}, 9},      // repeated, not complemented
        {{0x23, 0x55, 0x77, 0xFF, 0xFF, 0x00, 0x01}, 9},      // a completion spoilt
        // Zero bytes at positions 2..4 never let a request pass for a status reply.
        {{0x23, 0x55, 0x00, 0x00, 0x05, 0xFF, 0xFA}, 5},
        {{0x23, 0x55, 0x4B, 0x00, 0x00, 0xFF, 0xFF}, 0},
        {{0x23, 0x55, 0x4B, 0x4F, 0x00, 0xB0, 0xFF}, 0x4F00},
        {{0x23, 0x55, 0x45, 0x4E, 0x00, 0xB1, 0xFF}, 0x4E00},
    };
    for (const auto& [frame, block] : rows) {
        engine.requestedBlock = 9;
        Feed(frame);
        EXPECT_EQ(engine.requestedBlock, block) << ::testing::PrintToString(frame);
        EXPECT_EQ(engine.rxCount, 0u);
    }
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

TEST_F(EngineReplyParser, TheCompletionReportsProgressThenTextThenRaisesTheSignal) {
    engine.requestedBlock = 17;
    Feed(Completion());
    EXPECT_EQ(engine.requestedBlock, ALL_BLOCKS_DONE);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);
    ASSERT_EQ(sink.reports.size(), 2u);
    EXPECT_EQ(sink.reports[0].percent, 100);
    EXPECT_EQ(sink.reports[1].text, kUpgradeDone);
}

TEST_F(EngineReplyParser, ARequestSpellingAStatusReplyIsTakenAsTheReply) {
    // Kind 'K' and block 0x4F4B spell "#UKOK" in the first five bytes.
    Feed({0x23, 0x55, 0x4B, 0x4F, 0x4B});
    EXPECT_EQ(Texts(), Texts16{kEraseOk});
    Feed({0xB0, 0xB4});  // its complement bytes are dropped at position 0
    EXPECT_EQ(engine.rxCount, 0u);
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(Texts().size(), 1u);
}

// --- the poll window ---

constexpr std::uint32_t kPoll = 300;
constexpr std::uint32_t kSlack = 10;

TEST_F(EngineReplyParser, AQuietLineBetweenFramesEndsTheWindowAtOnce) {
    fake.Arrive(fake.now + 50, {0x23});
    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(fake.PendingInput(), 1u);  // not waited for
}

TEST_F(EngineReplyParser, AFrameLeftHangingEndsTheWindow300msAfterItsStartNotItsLastByte) {
    fake.Arrive(fake.now, {0x23});
    fake.Arrive(fake.now + 200, {0x55});
    for (int window = 0; window < 2; ++window) {  // the second finds nothing more
        const std::uint32_t took = Window();
        EXPECT_GE(took, kPoll);
        EXPECT_LT(took, kPoll + kSlack);
        EXPECT_EQ(engine.rxCount, 2u);
    }
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineReplyParser, BytesTricklingInWithinTheWindowEndItWithTheFrame) {
    const std::uint32_t t0 = fake.now;
    const std::uint32_t at[] = {0, 100, 200, 250, 280};
    const Bytes reply = Ascii("#UKOK");
    for (std::size_t i = 0; i < reply.size(); ++i) fake.Arrive(t0 + at[i], {reply[i]});
    const std::uint32_t took = Window();
    EXPECT_EQ(Texts(), Texts16{kEraseOk});
    EXPECT_GE(took, 280u);
    EXPECT_LT(took, kPoll);
}

TEST_F(EngineReplyParser, TwoWaitingFramesAreParsedOnePerWindow) {
    Bytes both = Ascii("#UKOK");
    const Bytes request = BlockRequest(7);
    both.insert(both.end(), request.begin(), request.end());
    Mcu(both);
    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(Texts(), Texts16{kEraseOk});
    EXPECT_EQ(fake.PendingInput(), 7u);
    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(engine.requestedBlock, 7);
}

TEST_F(EngineReplyParser, TheClockWrappingInsideTheWindowNeitherLengthensNorShortensIt) {
    for (std::uint32_t t0 : {0xFFFFFF00u, 0xFFFFFFFEu, 0xFFFFFED5u}) {
        SCOPED_TRACE(t0);
        fake.now = t0;
        Mcu(Ascii("#U"));
        const std::uint32_t took = Window();
        EXPECT_GE(took, kPoll);
        EXPECT_LT(took, kPoll + kSlack);
        Mcu(Ascii("XXXXX"));  // ends the frame as a request with bad complements
        Window();

        // The rest of a frame late in the window is still taken.
        Clear();
        fake.now = t0;
        fake.Arrive(t0, Ascii("#U"));
        fake.Arrive(t0 + 290, Ascii("KOK"));
        Window();
        EXPECT_EQ(Texts(), Texts16{kEraseOk});
    }
}

}  // namespace
}  // namespace vardel::test
