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
};

TEST_F(EngineReplyParser, EachByteMovesThePositionAsTheFrameLayoutSays) {
    const std::tuple<const char*, std::uint8_t, std::uint32_t> rows[] = {
        {"", 0x23, 1},      {"", 0x55, 0},       {"", 0xFF, 0},     {"#", 0x55, 2},
        {"#", 0x23, 0},   // a second '#' breaks the frame ...
        {"##", 0x55, 0},  // ... and does not start a new one
        {"#", 0x00, 0},     {"#U", 0x00, 3},     {"#U", 0x23, 3},   {"#U", 0xFF, 3},
        {"#UQ", 0x00, 4},   {"#UQ", 0x23, 4},    {"#UQA", 0x42, 5}, {"#UKO", 0x00, 5},
        {"#UQAB", 0x00, 6}, {"#UQABC", 0x23, 0},
    };
    for (const auto& [before, byte, after] : rows) {
        engine.rxCount = 0;
        Bytes bytes = Ascii(before);
        bytes.push_back(byte);
        Feed(bytes);
        EXPECT_EQ(engine.rxCount, after) << "after \"" << before << "\" byte " << int{byte};
    }
}

// Every frame here is seven bytes, as a request is: a status reply is told at
// its fifth byte, and the two bytes after it are dropped as strays.
TEST_F(EngineReplyParser, ARequestWithMatchingComplementsSetsTheBlockAndAStatusReplyItsText) {
    const std::tuple<Bytes, std::int32_t, Texts16> rows[] = {
        {Completion(), ALL_BLOCKS_DONE, {u"100%", kUpgradeDone}},
        {BlockRequest(65534, 0x01), 65534, {}},
        {{0x23, 0x55, 0x77, 0xFF, 0xFF, 0x00, 0x01}, 9, {}},  // a completion spoilt
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0x00, 0x05}, 9, {}},  // repeated, not complemented
        {BlockRequest(5, 0x77), 5, {}},                       // any kind byte
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0xFF, 0xFB}, 9, {}},  // low complement wrong
        {{0x23, 0x55, 0x77, 0x00, 0x05, 0xFE, 0xFA}, 9, {}},  // high complement wrong
        {BlockRequest(0x4F4B, 'K'), 9, {kEraseOk}},           // "#UKOK", its sixth byte stale
        {BlockRequest(0x4E47, 'E'), 9, {u"擦除失败"}},
        {BlockRequest(0x4E47, 'K'), 9, {u"芯片被加密"}},
        // Lookalikes of a status reply go on as requests ...
        {BlockRequest(0x4F4C, 'K'), 0x4F4C, {}},
        {BlockRequest(0x4B4B, 'O'), 0x4B4B, {}},
        {BlockRequest(0x4E4B, 'E'), 0x4E4B, {}},
        {BlockRequest(0x4E4F, 'K'), 0x4E4F, {}},
        {BlockRequest(0x4F6B, 'K'), 0x4F6B, {}},
        // ... and a zero byte among the first five never lets one pass for a reply.
        {{0x23, 0x55, 0x4B, 0x4F, 0x00, 0xB0, 0xFF}, 0x4F00, {}},
        {{0x23, 0x55, 0x45, 0x4E, 0x00, 0xB1, 0xFF}, 0x4E00, {}},
    };
    for (const auto& [frame, block, said] : rows) {
        SCOPED_TRACE(::testing::PrintToString(frame));
        Clear();
        engine.requestedBlock = 9;
        engine.signal = SIGNAL_NONE;
        Feed(frame);
        EXPECT_EQ(engine.requestedBlock, block);
        EXPECT_EQ(engine.rxCount, 0u);
        EXPECT_EQ(Said(), said);
        EXPECT_EQ(engine.signal, block == ALL_BLOCKS_DONE ? SIGNAL_COMPLETE : SIGNAL_NONE);
    }
}

// --- the poll window ---

struct Window {
    std::uint32_t took;  // ms on the clock, less than 10 more for the clock's own steps
    std::uint32_t position;
    std::int32_t request = NO_REQUEST;
};
struct WindowCase {
    std::uint32_t start;
    std::vector<std::pair<std::uint32_t, Bytes>> arrivals;  // ms after the start
    std::vector<Window> windows;                            // the next tick 5 ms after each
    Texts16 said;
};

// Each case runs on a line that can be waited on and on one that cannot, where
// the window has to spin: both must parse the same and end at the same moments.
TEST(EnginePollWindow, EndsWithAFrameOrAfter300msOrAtOnceOnAQuietLine) {
    const WindowCase cases[] = {
        {1000, {{50, Ascii("#")}}, {{0, 0}}, {}},  // a quiet line between frames
        // A frame left hanging ends the window 300 ms after its start, not its last byte.
        {1000, {{0, Ascii("#")}, {200, Ascii("U")}}, {{300, 2}, {300, 2}}, {}},
        {1000, {{0, Ascii("#U")}, {150, Ascii("K")}, {280, Ascii("OK")}}, {{280, 0}}, {kEraseOk}},
        {50, {{0, Ascii("#U")}, {700, Ascii("KOK")}}, {{300, 2}, {300, 2}, {86, 0}}, {kEraseOk}},
        {10, {{0, Ascii("#UKOK")}, {0, BlockRequest(7)}}, {{0, 0}, {0, 0, 7}}, {kEraseOk}},
        // The clock wrapping inside the window neither lengthens nor shortens it, nor
        // loses the rest of a frame late in it.
        {0xFFFFFF00u, {{0, Ascii("#U")}}, {{300, 2}}, {}},
        {0xFFFFFFFEu, {{0, Ascii("#U")}}, {{300, 2}}, {}},
        {0xFFFFFED5u, {{0, Ascii("#U")}, {290, Ascii("KOK")}}, {{290, 0}}, {kEraseOk}},
        // Bytes arriving once the 300 ms are over are left to the next window.
        {1000, {{0, Ascii("#U")}, {301, Ascii("KOK")}}, {{300, 2}, {0, 0}}, {kEraseOk}},
    };
    for (const WindowCase& c : cases) {
        for (const bool canWait : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << "case " << &c - cases << (canWait ? "" : ", spinning"));
            FakePlatform line;
            line.now = c.start;
            line.waitReturnsAtOnce = !canWait;
            sink = Sink{&line, {}, {}, 0};
            UpgradeEngine engine{line};
            engine.SetMessageCallback(RecordMessage, 0);
            ASSERT_EQ(engine.OpenPort(), 1);
            sink.said.clear();
            std::size_t bytes = 0;
            for (const auto& [at, arriving] : c.arrivals) {
                line.Arrive(c.start + at, arriving);
                bytes += arriving.size();
            }
            for (std::size_t i = 0; i < c.windows.size(); ++i) {
                const std::uint32_t start = line.now;
                EXPECT_EQ(engine.PollReplies(), 1);
                EXPECT_GE(line.now - start, c.windows[i].took) << "window " << i;
                EXPECT_LT(line.now - start, c.windows[i].took + 10) << "window " << i;
                EXPECT_EQ(engine.rxCount, c.windows[i].position) << "window " << i;
                EXPECT_EQ(engine.requestedBlock, c.windows[i].request) << "window " << i;
                line.now += 5;
            }
            EXPECT_EQ(sink.said, c.said);
            // Waiting for the line costs a read or two per byte, not one per ms.
            if (canWait) {
                EXPECT_LE(static_cast<std::size_t>(line.readCalls), 2 * (bytes + c.windows.size()));
            }
        }
    }
    sink.platform = nullptr;
}

}  // namespace
}  // namespace vardel::test
