// The engine record: its start values, the two callbacks, the start request and
// what the engine gives back when it goes away.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineRecord : public EngineTest {};

TEST_F(EngineRecord, AFreshEngineIsClosedWithNothingPendingAndNothingHeld) {
    UpgradeEngine fresh{fake};
    EXPECT_EQ(fresh.GetStep(), STEP_CLOSED);
    EXPECT_EQ(fresh.signal, SIGNAL_NONE);
    EXPECT_EQ(fresh.requestedBlock, NO_REQUEST);
    EXPECT_EQ(fresh.port, 0);
    EXPECT_EQ(fresh.image, nullptr);
    EXPECT_EQ(fresh.imageSize, 0u);
    EXPECT_EQ(fresh.rxCount, 0u);
    EXPECT_EQ(fresh.onMessage, nullptr);
    EXPECT_EQ(fresh.onProgress, nullptr);
    EXPECT_EQ(Bytes(fresh.txFrame, fresh.txFrame + kTxFrameSize), Bytes(kTxFrameSize, 0));
    EXPECT_EQ(Bytes(fresh.rxBytes, fresh.rxBytes + kRxBytesSize), Bytes(kRxBytesSize, 0));
}

TEST_F(EngineRecord, AStartRequestBeforeThePortIsOpenIsBusy) {
    EXPECT_EQ(engine.RequestStart(), 0);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kBusy});
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

TEST_F(EngineRecord, AStartRequestWhenReadyRaisesTheSignalSilentlyAndRepeatsAsOne) {
    ToReady();
    EXPECT_EQ(engine.RequestStart(), 1);
    EXPECT_EQ(engine.RequestStart(), 1);
    EXPECT_EQ(engine.signal, SIGNAL_START);
    EXPECT_TRUE(Texts().empty());

    engine.Tick();  // no file: one failed load, not two
    EXPECT_EQ(fake.openedPaths.size(), 1u);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
}

TEST_F(EngineRecord, AStartRequestInEveryLaterStepIsBusyAndLeavesTheSignal) {
    ToHandshake(Pattern(4096));
    Mcu(Completion());  // the signal is COMPLETE while the step stays HANDSHAKE
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    ASSERT_EQ(engine.signal, SIGNAL_COMPLETE);
    Clear();
    EXPECT_EQ(engine.RequestStart(), 0);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kBusy});

    Mcu(BlockRequest(0));
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
    Clear();
    EXPECT_EQ(engine.RequestStart(), 0);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kBusy});

    Mcu(Completion());
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_DONE);
    Clear();
    EXPECT_EQ(engine.RequestStart(), 0);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kBusy});
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
}

TEST_F(EngineRecord, ATextGoesToTheCallbackWithItsContext) {
    EXPECT_EQ(engine.ReportMessage(kBusy.c_str()), 1);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].text, kBusy);
    EXPECT_EQ(sink.reports[0].context, kContext);
}

TEST_F(EngineRecord, ATextWithoutACallbackIsLostAndTheOperationGoesOn) {
    UpgradeEngine quiet{fake};
    EXPECT_EQ(quiet.ReportMessage(kBusy.c_str()), 0);
    fake.portExists = false;
    EXPECT_EQ(quiet.OpenPort(), 0);
    EXPECT_EQ(quiet.port, 0);
    fake.portExists = true;
    EXPECT_EQ(quiet.OpenPort(), 1);
    EXPECT_NE(quiet.port, 0);
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineRecord, ASecondCallbackReplacesTheFirstWithItsOwnContext) {
    EXPECT_EQ(engine.SetMessageCallback(RecordMessage<2>, 42), 1);
    engine.RequestStart();
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].callbackId, 2);
    EXPECT_EQ(sink.reports[0].context, 42u);
}

TEST_F(EngineRecord, ANullCallbackTurnsReportingOff) {
    EXPECT_EQ(engine.SetMessageCallback(nullptr, 5), 1);
    EXPECT_EQ(engine.ReportMessage(kBusy.c_str()), 0);
    EXPECT_EQ(engine.RequestStart(), 0);
    EXPECT_TRUE(sink.reports.empty());
}

// The lifetime cases use their own platform so that it outlives the engine.
TEST(EngineLifetime, AnEngineThatNeverOpenedOrLoadedGivesNothingBack) {
    FakePlatform platform;
    {
        UpgradeEngine e{platform};
        EXPECT_EQ(e.ClosePort(), 0);
    }
    EXPECT_EQ(platform.closeCalls, 0);
    EXPECT_EQ(platform.frees, 0);
}

TEST(EngineLifetime, AnOpenPortIsClosedOnceAndNothingIsFreedWithoutAnImage) {
    FakePlatform platform;
    {
        UpgradeEngine e{platform};
        ASSERT_EQ(e.OpenPort(), 1);
    }
    EXPECT_EQ(platform.closeCalls, 1);
    EXPECT_EQ(platform.openPort, 0);
    EXPECT_EQ(platform.frees, 0);
}

TEST(EngineLifetime, ThePortAndTheImageBufferAreGivenBackExactlyOnce) {
    FakePlatform platform;
    platform.files[kQ9File].bytes = Pattern(2048);
    {
        UpgradeEngine e{platform};
        ASSERT_EQ(e.OpenPort(), 1);
        ASSERT_EQ(e.LoadFirmware(), 1);
        ASSERT_EQ(e.LoadFirmware(), 1);
    }
    EXPECT_EQ(platform.closeCalls, 1);
    EXPECT_EQ(platform.openPort, 0);
    EXPECT_EQ(platform.allocations, 1);
    EXPECT_EQ(platform.frees, 1);
    EXPECT_EQ(platform.openFiles, 0);
}

TEST(EngineLifetime, APortClosedAfterRefusedSettingsIsNotClosedAgain) {
    FakePlatform platform;
    platform.refuseSettings = true;
    {
        UpgradeEngine e{platform};
        EXPECT_EQ(e.OpenPort(), 0);
        EXPECT_EQ(platform.closeCalls, 1);
    }
    EXPECT_EQ(platform.closeCalls, 1);
}

TEST(EngineLifetime, ABufferKeptAfterFailedLoadsIsFreed) {
    FakePlatform platform;
    {
        UpgradeEngine e{platform};
        EXPECT_EQ(e.LoadFirmware(), 0);  // no file
        EXPECT_EQ(e.LoadFirmware(), 0);
    }
    EXPECT_EQ(platform.allocations, 1);
    EXPECT_EQ(platform.frees, 1);
    EXPECT_EQ(platform.closeCalls, 0);
}

}  // namespace
}  // namespace vardel::test
