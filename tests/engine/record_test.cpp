// The engine record: the start request in every step, the two callbacks (or
// none), and what the engine gives back when it goes away.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

using EngineRecord = EngineTest;

TEST_F(EngineRecord, AStartRequestIsTakenSilentlyWhenReadyAndIsBusyInEveryOtherStep) {
    for (const std::int32_t step :
         {STEP_CLOSED, STEP_READY, STEP_HANDSHAKE, STEP_TRANSFER, STEP_DONE}) {
        Clear();
        engine.step = step;
        engine.signal = SIGNAL_COMPLETE;
        const bool ready = step == STEP_READY;
        EXPECT_EQ(engine.RequestStart(), ready ? 1 : 0) << step;
        EXPECT_EQ(engine.signal, ready ? SIGNAL_START : SIGNAL_COMPLETE) << step;
        EXPECT_EQ(Said(), ready ? Texts16{} : Texts16{u"状态忙!"}) << step;
    }
    // A second message callback takes over with its own context.
    EXPECT_EQ(engine.SetMessageCallback(RecordMessage, 42), 1);
    EXPECT_EQ(engine.ReportMessage(u"heard"), 1);
    EXPECT_EQ(sink.context, 42u);
}

// Each engine here has a platform of its own that outlives it, and no
// callbacks: what it has to say is dropped and the work goes on.
TEST(EngineLifetime, ThePortAndTheImageBufferAreGivenBackExactlyOnce) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "settings refused, no file" : "opened and loaded twice");
        FakePlatform platform;
        platform.refuseSettings = refused;
        if (!refused) platform.files[kQ9File].bytes = Pattern(2048);
        {
            UpgradeEngine e{platform};
            EXPECT_EQ(e.OpenPort(), refused ? 0 : 1);
            EXPECT_EQ(e.LoadFirmware(), refused ? 0 : 1);
            EXPECT_EQ(e.LoadFirmware(), refused ? 0 : 1);
            EXPECT_EQ(e.SendBlock(1), refused ? 0 : 1);
            platform.Arrive(platform.now, Completion());
            e.PollReplies();
            EXPECT_EQ(e.signal, refused ? SIGNAL_NONE : SIGNAL_COMPLETE);
            EXPECT_EQ(e.ReportMessage(u"lost"), 0);
        }
        EXPECT_EQ(platform.writes,
                  refused ? std::vector<Bytes>{} : std::vector<Bytes>{DataFrame(Pattern(2048), 1)});
        EXPECT_EQ(platform.closeCalls, 1);
        EXPECT_EQ(platform.openPort, 0);
        EXPECT_EQ(platform.allocations, 1);
        EXPECT_EQ(platform.frees, 1);
        EXPECT_EQ(platform.openFiles, 0);
    }
}

}  // namespace
}  // namespace vardel::test
