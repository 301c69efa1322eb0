// The engine record: the start request in every step, the two callbacks, and
// what the engine gives back when it goes away.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

using EngineRecord = EngineTest;

TEST_F(EngineRecord, AStartRequestIsTakenSilentlyWhenReadyAndIsBusyInEveryOtherStep) {
    const auto expectBusy = [this](std::int32_t signal) {
        Clear();
        EXPECT_EQ(engine.RequestStart(), 0) << "step " << engine.GetStep();
        EXPECT_EQ(engine.signal, signal) << "step " << engine.GetStep();
        EXPECT_EQ(Texts(), Texts16{kBusy}) << "step " << engine.GetStep();
    };
    expectBusy(SIGNAL_NONE);
    ToReady();
    PutFile(kQ9File, Pattern(4096));
    EXPECT_EQ(engine.RequestStart(), 1);
    EXPECT_EQ(engine.RequestStart(), 1);
    EXPECT_EQ(engine.signal, SIGNAL_START);
    EXPECT_TRUE(Texts().empty());

    engine.Tick();
    Mcu(Completion());  // the signal is COMPLETE while the step stays HANDSHAKE
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    expectBusy(SIGNAL_COMPLETE);
    Mcu(BlockRequest(0));
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
    expectBusy(SIGNAL_NONE);
    Mcu(Completion());
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_DONE);
    expectBusy(SIGNAL_NONE);
}

TEST_F(EngineRecord, ASecondMessageCallbackReplacesTheFirstWithItsOwnContext) {
    EXPECT_EQ(engine.SetMessageCallback(RecordMessage<2>, 42), 1);
    engine.RequestStart();
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].callbackId, 2);
    EXPECT_EQ(sink.reports[0].context, 42u);
}

TEST_F(EngineRecord, WithoutCallbacksAWholeRunGoesOnAndNothingIsReported) {
    engine.SetMessageCallback(nullptr, 5);
    engine.SetProgressCallback(nullptr);
    const Bytes image = Pattern(1024);
    PutFile(kQ9File, image);
    engine.Tick();
    engine.RequestStart();
    for (const Bytes& request : {BlockRequest(0), Bytes{}, BlockRequest(1), Completion()}) {
        engine.Tick();
        Mcu(request);
    }
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(fake.writes,
              (std::vector<Bytes>{kEnterUpgradeFrame, DataFrame(image, 0), DataFrame(image, 1)}));
    EXPECT_TRUE(sink.reports.empty());
}

// Each engine here has a platform of its own that outlives it.
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
        }
        EXPECT_EQ(platform.closeCalls, 1);
        EXPECT_EQ(platform.openPort, 0);
        EXPECT_EQ(platform.allocations, 1);
        EXPECT_EQ(platform.frees, 1);
        EXPECT_EQ(platform.openFiles, 0);
    }
}

}  // namespace
}  // namespace vardel::test
