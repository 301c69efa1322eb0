// The MCU side cuts the host's bytes into frames by their command byte and
// notices every byte that does not belong.

#include <gtest/gtest.h>

#include "sim/HostFrameParser.h"

namespace vardel::sim {
namespace {

const Clock::time_point kStart{};

void FeedAll(HostFrameParser& parser, const Bytes& bytes, Clock::time_point at = kStart) {
    for (const std::uint8_t byte : bytes) {
        parser.Feed(byte, at);
    }
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Bytes kEnterUpgrade = {0x23, 0x55, 0x02, 0x56, 0x4B, 0x54};

Bytes Frame(std::uint8_t command, std::uint8_t fill) {
    Bytes frame(69, fill);
    frame[0] = 0x23;
    frame[1] = 0x55;
    frame[2] = command;
    return frame;
}

TEST(HostFrameParser, EachCommandByteGivesItsOwnFrameLength) {
    HostFrameParser parser;
    FeedAll(parser, Concat({kEnterUpgrade, Frame('D', 0x23), Frame('R', 0x00)}));

    ASSERT_TRUE(parser.HasFrame());
    HostFrame first = parser.TakeFrame();
    EXPECT_EQ(first.kind, HostFrameKind::EnterUpgrade);
    EXPECT_EQ(first.bytes, kEnterUpgrade);
    EXPECT_TRUE(HasUpgradeWord(first.bytes));
    HostFrame data = parser.TakeFrame();
    EXPECT_EQ(data.kind, HostFrameKind::Data);
    EXPECT_EQ(data.bytes, Frame('D', 0x23)) << "'#' inside a frame is data";
    HostFrame reset = parser.TakeFrame();
    EXPECT_EQ(reset.kind, HostFrameKind::Reset);
    EXPECT_TRUE(HasZeroPadding(reset.bytes));
    EXPECT_FALSE(parser.HasFrame());
    EXPECT_FALSE(parser.TakeJunk().Any());
}

TEST(HostFrameParser, AFrameKeepsTheArrivalOfItsFirstAndLastByte) {
    HostFrameParser parser;
    const Bytes frame = Frame('D', 7);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        parser.Feed(frame[i], kStart + std::chrono::milliseconds(i));
    }

    const HostFrame taken = parser.TakeFrame();
    EXPECT_EQ(taken.firstByteAt, kStart);
    EXPECT_EQ(taken.lastByteAt, kStart + std::chrono::milliseconds(68));
}

TEST(HostFrameParser, BytesThatBeginNoFrameAreCountedAndTheFrameAfterThemIsFound) {
    struct Case {
        const char* name;
        Bytes before;
        std::size_t stray;
    };
    const Case cases[] = {
        {"noise", {0x00, 0x55, 0xFF}, 3},
        {"a second '#' in front", {0x23}, 1},
        {"'#' and a byte other than 'U'", {0x23, 0x41}, 2},
        {"an unknown command", {0x23, 0x55, 0x44 + 1}, 3},
        {"'#U' and then '#' as command", {0x23, 0x55}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostFrameParser parser;
        FeedAll(parser, Concat({c.before, kEnterUpgrade}));

        ASSERT_TRUE(parser.HasFrame());
        EXPECT_EQ(parser.TakeFrame().bytes, kEnterUpgrade);
        EXPECT_EQ(parser.TakeJunk().strayBytes, c.stray);
    }
}

TEST(HostFrameParser, AFrameCutShortIsDroppedWithItsBytes) {
    HostFrameParser parser;
    Bytes half = Frame('D', 1);
    half.resize(30);
    FeedAll(parser, half);
    ASSERT_TRUE(parser.InFrame());

    parser.CutShort();
    FeedAll(parser, kEnterUpgrade);

    const auto junk = parser.TakeJunk();
    EXPECT_EQ(junk.cutFrames, 1u);
    EXPECT_EQ(junk.cutBytes, 30u);
    EXPECT_EQ(junk.strayBytes, 0u);
    ASSERT_TRUE(parser.HasFrame());
    EXPECT_EQ(parser.TakeFrame().kind, HostFrameKind::EnterUpgrade);
    EXPECT_FALSE(parser.TakeJunk().Any()) << "taking the junk resets the counts";
}

TEST(WireFrames, RequestsCarryTheBlockAndItsComplements) {
    EXPECT_EQ(BlockRequest(5), (Bytes{0x23, 0x55, kRequestKind, 0x00, 0x05, 0xFF, 0xFA}));
    EXPECT_EQ(CompletionRequest(), (Bytes{0x23, 0x55, kRequestKind, 0xFF, 0xFF, 0x00, 0x00}));
    const Bytes bad = BadComplementRequest(0x0102, false, 0x10);
    EXPECT_EQ(bad[5], 0xFE);
    EXPECT_EQ(bad[6], 0xFD ^ 0x10);
    EXPECT_NE(BadComplementRequest(7, true, 0)[5], BlockRequest(7)[5])
        << "a zero spoiler spoils too";
    EXPECT_EQ(StatusReplyFrame(StatusReply::ChipEncrypted), (Bytes{'#', 'U', 'K', 'N', 'G'}));
}

TEST(WireFrames, ChecksAreTheSumAndTheXorOfTheDataBytes) {
    Bytes rising(64);
    for (std::size_t i = 0; i < rising.size(); ++i) {
        rising[i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(ChecksOf(rising).sum, 0xE0);
    EXPECT_EQ(ChecksOf(rising).xorValue, 0x00);
    const Bytes ones(64, 0xFF);
    EXPECT_EQ(ChecksOf(ones).sum, 0xC0);
    EXPECT_EQ(ChecksOf(ones).xorValue, 0x00);
}

}  // namespace
}  // namespace vardel::sim
