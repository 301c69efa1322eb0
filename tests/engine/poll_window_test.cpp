// The poll window: at most one frame per window, at most 300 ms, and no wait at
// all when the line is quiet between frames. Time passes on the fake clock only,
// by 1 ms per look at it and by any wait for the line, so every bound below
// holds whether the window spins on reads or waits for the line.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

constexpr std::uint32_t kSlack = 10;

class EnginePollWindow : public EngineTest {
protected:
    void SetUp() override { Open(); }

    // Runs one window and returns how long it took on the clock.
    std::uint32_t Window() {
        const std::uint32_t start = fake.now;
        EXPECT_EQ(engine.PollReplies(), 1);
        return fake.now - start;
    }
};

TEST_F(EnginePollWindow, AQuietLineBetweenFramesEndsTheWindowAtOnce) {
    fake.Arrive(fake.now + 50, {0x23});
    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(engine.rxCount, 0u);
    EXPECT_EQ(fake.PendingInput(), 1u);  // not waited for
}

TEST_F(EnginePollWindow, AFrameBegunAndLeftHangingEndsTheWindowAfter300ms) {
    Mcu(Ascii("#U"));
    const std::uint32_t first = Window();
    EXPECT_GE(first, kPoll);
    EXPECT_LT(first, kPoll + kSlack);
    EXPECT_EQ(engine.rxCount, 2u);

    const std::uint32_t second = Window();  // still nothing: the position stays
    EXPECT_GE(second, kPoll);
    EXPECT_LT(second, kPoll + kSlack);
    EXPECT_EQ(engine.rxCount, 2u);
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EnginePollWindow, The300msCountFromTheWindowsStartNotFromTheLastByte) {
    const std::uint32_t t0 = fake.now;
    fake.Arrive(t0, {0x23});
    fake.Arrive(t0 + 200, {0x55});
    const std::uint32_t took = Window();
    EXPECT_GE(took, kPoll);
    EXPECT_LT(took, kPoll + kSlack);
    EXPECT_EQ(engine.rxCount, 2u);
}

TEST_F(EnginePollWindow, BytesTricklingInWithinTheWindowCompleteTheFrame) {
    const std::uint32_t t0 = fake.now;
    const std::uint32_t at[] = {0, 100, 200, 250, 280};
    const Bytes reply = Ascii("#UKOK");
    for (std::size_t i = 0; i < reply.size(); ++i) fake.Arrive(t0 + at[i], {reply[i]});
    const std::uint32_t took = Window();
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kEraseOk});
    EXPECT_GE(took, 280u);
    EXPECT_LT(took, kPoll);  // ends with the frame, not with the time
    EXPECT_EQ(engine.rxCount, 0u);
}

TEST_F(EnginePollWindow, AReplySplitOverWindowsSecondsApartIsStillReported) {
    const std::uint32_t t0 = fake.now;
    fake.Arrive(t0, Ascii("#U"));
    fake.Arrive(t0 + 5000, Ascii("KOK"));
    Window();
    EXPECT_EQ(engine.rxCount, 2u);
    EXPECT_EQ(fake.PendingInput(), 3u);
    EXPECT_TRUE(sink.reports.empty());

    fake.now = t0 + 5000;
    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kEraseOk});
    EXPECT_EQ(engine.rxCount, 0u);
}

TEST_F(EnginePollWindow, TwoWaitingFramesAreParsedOnePerWindow) {
    Bytes both = Ascii("#UKOK");
    const Bytes request = BlockRequest(7);
    both.insert(both.end(), request.begin(), request.end());
    Mcu(both);

    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kEraseOk});
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(fake.PendingInput(), 7u);

    EXPECT_LT(Window(), kSlack);
    EXPECT_EQ(engine.requestedBlock, 7);
    EXPECT_EQ(fake.PendingInput(), 0u);
}

TEST_F(EnginePollWindow, ADoubledFrameStartIsDroppedByteByByte) {
    Mcu({0x23, 0x23, 0x55, 0x4B, 0x4F, 0x4B});
    const std::size_t pendingAfter[] = {4, 3, 2, 1, 0};
    for (std::size_t left : pendingAfter) {
        EXPECT_LT(Window(), kSlack);
        EXPECT_EQ(fake.PendingInput(), left);
        EXPECT_EQ(engine.rxCount, 0u);
    }
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EnginePollWindow, TheClockWrappingInsideTheWindowNeitherLengthensNorShortensIt) {
    for (std::uint32_t t0 : {0xFFFFFF00u, 0xFFFFFFFEu, 0xFFFFFED5u, 0u}) {
        SCOPED_TRACE(t0);
        // A frame begun and left hanging: the full window, no more.
        fake.now = t0;
        Mcu(Ascii("#U"));
        const std::uint32_t took = Window();
        EXPECT_GE(took, kPoll);
        EXPECT_LT(took, kPoll + kSlack);
        Mcu(Ascii("XXXXX"));  // ends the frame as a request with bad complements
        Window();
        ASSERT_EQ(engine.rxCount, 0u);

        // The rest of a frame late in the window is still taken.
        Clear();
        fake.now = t0;
        fake.Arrive(t0, Ascii("#U"));
        fake.Arrive(t0 + 290, Ascii("KOK"));
        Window();
        EXPECT_EQ(Texts(), std::vector<std::u16string>{kEraseOk});
        EXPECT_EQ(engine.rxCount, 0u);
    }
}

}  // namespace
}  // namespace vardel::test
