// The step machine: what one tick does in each step.
#include <algorithm>

#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineStepMachine : public EngineTest {
protected:
    EngineStepMachine() { fake.programs = {{u"MtkGps", 21}, {u"Q9Gps", 11}}; }
    const Bytes image_ = Pattern(8192);
};

// --- STEP_CLOSED ---

TEST_F(EngineStepMachine, TheFirstTickOpensThePortAndGetsReady) {
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortOpened});
    EXPECT_TRUE(fake.quitRequests.empty());
}

TEST_F(EngineStepMachine, WhileThePortWillNotOpenEachTickAsksOnlyQ9GpsToQuit) {
    fake.portExists = false;
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_EQ(engine.Tick(), 1);
        EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
    }
    EXPECT_EQ(fake.quitRequests, std::vector<ProgramHandle>(3, 11));
    EXPECT_EQ(Texts(), std::vector<std::u16string>(3, kPortOpenFailed));

    fake.portExists = true;
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(fake.quitRequests.size(), 3u);
}

TEST_F(EngineStepMachine, WithoutAQ9GpsWindowNothingIsAskedToQuit) {
    fake.programs = {{u"MtkGps", 21}};
    fake.portExists = false;
    engine.Tick();
    EXPECT_TRUE(fake.quitRequests.empty());
    EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
}

TEST_F(EngineStepMachine, RefusedSettingsKeepTheStepAndTheNextTickOpensAgain) {
    fake.refuseSettings = true;
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortConfigFailed});
    EXPECT_EQ(fake.quitRequests, std::vector<ProgramHandle>{11});

    fake.refuseSettings = false;
    Clear();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(fake.configureCalls, 2);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortOpened});
}

// --- STEP_READY ---

TEST_F(EngineStepMachine, ReadyWithoutAStartRequestDoesNothing) {
    ToReady();
    Mcu(BlockRequest(0));
    const int reads = fake.readCalls;
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(fake.readCalls, reads);
    EXPECT_EQ(fake.PendingInput(), 7u);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_TRUE(fake.openedPaths.empty());
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineStepMachine, AFailedLoadStaysReadyAndANewStartTriesAgainFromTheTop) {
    ToReady();
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kQ9OpenFailed});
    EXPECT_TRUE(fake.writeRequests.empty());

    engine.Tick();  // no new request: no new attempt
    EXPECT_EQ(fake.openedPaths.size(), 1u);

    fake.totalPhysical = kMtkThreshold + 1;  // detected anew
    PutFile(kMtkFile, image_);
    ASSERT_EQ(engine.RequestStart(), 1);
    engine.Tick();
    EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>({kQ9File, kMtkFile}));
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
}

TEST_F(EngineStepMachine, ALoadedImageSendsTheEnterUpgradeFrameAndStartsTheHandshake) {
    ToReady();
    PutFile(kQ9File, image_);
    engine.RequestStart();
    engine.requestedBlock = 9;
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{kEnterUpgradeFrame});
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(EngineStepMachine, AShortEnterUpgradeFrameStillStartsTheHandshake) {
    ToReady();
    PutFile(kQ9File, image_);
    fake.writeLimit = 2;
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kSendFailed});
}

TEST_F(EngineStepMachine, BytesSentBeforeTheEnterUpgradeFrameAreReadByTheFirstHandshakeTick) {
    ToReady();
    Mcu(BlockRequest(0));  // after the purge, before the start
    engine.Tick();
    PutFile(kQ9File, image_);
    engine.RequestStart();
    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(fake.PendingInput(), 7u);
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kLinkUp});
}

// --- STEP_HANDSHAKE ---

TEST_F(EngineStepMachine, BlockZeroEndsTheHandshakeWithoutWriting) {
    ToHandshake(image_);
    Mcu(BlockRequest(0));
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kLinkUp});
    EXPECT_TRUE(fake.writeRequests.empty());

    engine.Tick();  // block 0 goes out on the next tick
    EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, 0)});
    EXPECT_EQ(Percents(), std::vector<int>{0});
}

TEST_F(EngineStepMachine, ANewerRequestReadOnTheFirstTransferTickIsServedInsteadOfBlockZero) {
    ToTransfer(image_);
    Mcu(BlockRequest(3));
    engine.Tick();
    EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, 3)});
}

TEST_F(EngineStepMachine, StatusRepliesAndOtherBlocksDuringTheHandshakeChangeNothing) {
    ToHandshake(image_);
    Mcu(Ascii("#UENG"));
    engine.Tick();
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kEraseFailed});
    Mcu(BlockRequest(5));
    engine.Tick();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.requestedBlock, 5);  // neither served nor cleared
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(Texts().size(), 1u);

    Mcu(BlockRequest(0));
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
}

TEST_F(EngineStepMachine, ACompletionDuringTheHandshakeWaitsForBlockZero) {
    ToHandshake(image_);
    Mcu(Completion());
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);
    EXPECT_EQ(Percents(), std::vector<int>{100});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kUpgradeDone});
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);

    Mcu(BlockRequest(0));
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, 0)});
}

// --- STEP_TRANSFER ---

TEST_F(EngineStepMachine, ARequestIsAnsweredOnTheTickThatReadsIt) {
    ToTransfer(image_);
    engine.Tick();  // block 0
    Clear();
    engine.Tick();  // nothing asked: nothing written
    EXPECT_TRUE(fake.writeRequests.empty());
    for (std::uint32_t block : {7u, 2u, 7u, 127u}) {
        Clear();
        Mcu(BlockRequest(block));
        engine.Tick();
        EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, block)}) << block;
        EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
        EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    }
}

TEST_F(EngineStepMachine, EveryRequestForBlockOneWarnsBeforeItsFrame) {
    ToTransfer(image_);
    for (int round = 0; round < 2; ++round) {
        Clear();
        Mcu(BlockRequest(1));
        engine.Tick();
        ASSERT_EQ(Texts(), std::vector<std::u16string>{kUpgrading});
        const auto text = std::find_if(sink.reports.begin(), sink.reports.end(),
                                       [](const Report& r) { return r.kind == Report::Message; });
        EXPECT_EQ(text->writesBefore, 0u);
        EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, 1)});
    }
    Clear();
    Mcu(BlockRequest(2));
    engine.Tick();
    EXPECT_TRUE(Texts().empty());
}

TEST_F(EngineStepMachine, ARequestBeyondTheImageIsRefusedAndTheTransferGoesOn) {
    ToTransfer(image_);
    Mcu(BlockRequest(8192 / 64));
    engine.Tick();
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kBadRequest});
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);

    Mcu(BlockRequest(8192 / 64 - 1));
    engine.Tick();
    EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, 127)});
}

TEST_F(EngineStepMachine, TheCompletionEndsTheTransferOnTheTickThatReadsIt) {
    ToTransfer(image_);
    Mcu(Completion());
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Percents(), std::vector<int>{100});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kUpgradeDone});
    EXPECT_TRUE(fake.writeRequests.empty());
}

TEST_F(EngineStepMachine, EitherSignOfCompletionAloneEndsTheTransferWithoutWriting) {
    struct Row {
        std::int32_t signal;
        std::int32_t requestedBlock;
    };
    const Row rows[] = {{SIGNAL_NONE, ALL_BLOCKS_DONE}, {SIGNAL_COMPLETE, 5}};
    for (const Row& row : rows) {
        FakePlatform platform;
        platform.msPerTickCount = 1;
        platform.files[kQ9File].bytes = image_;
        UpgradeEngine e{platform};
        e.Tick();
        e.RequestStart();
        e.Tick();
        platform.Arrive(platform.now, BlockRequest(0));
        e.Tick();
        ASSERT_EQ(e.GetStep(), STEP_TRANSFER);
        platform.writes.clear();
        e.signal = row.signal;
        e.requestedBlock = row.requestedBlock;
        e.Tick();
        EXPECT_EQ(e.GetStep(), STEP_DONE) << row.signal << " " << row.requestedBlock;
        EXPECT_EQ(e.signal, SIGNAL_NONE);
        EXPECT_TRUE(platform.writes.empty());
    }
}

// --- STEP_DONE ---

TEST_F(EngineStepMachine, DoneIsFinalAndReadsNothing) {
    ToDone(image_);
    Mcu(BlockRequest(4));
    const int reads = fake.readCalls;
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(fake.readCalls, reads);
    EXPECT_EQ(fake.PendingInput(), 7u);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_TRUE(sink.reports.empty());

    EXPECT_EQ(engine.SendReset(), 1);  // the finish button
    EXPECT_EQ(fake.writes, std::vector<Bytes>{ResetFrame()});
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
}

TEST_F(EngineStepMachine, NothingIsReadWhileThePortIsClosed) {
    fake.portExists = false;
    Mcu(BlockRequest(4));
    engine.Tick();
    EXPECT_EQ(fake.readCalls, 0);
}

}  // namespace
}  // namespace vardel::test
