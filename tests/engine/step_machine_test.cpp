// The step machine: what one tick does in each step from STEP_READY on (the
// ticks of STEP_CLOSED are in serial_link_test).
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineStepMachine : public EngineTest {
protected:
    const Bytes image_ = Pattern(8192);
};

TEST_F(EngineStepMachine, ReadyReadsNothingUntilAStartThenBlockZeroLeadsIntoTheTransfer) {
    ToReady();
    Mcu(BlockRequest(0));  // after the purge, before the start
    const int reads = fake.readCalls;
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(fake.readCalls, reads);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_TRUE(sink.reports.empty());

    PutFile(kQ9File, image_);
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{kEnterUpgradeFrame});
    EXPECT_EQ(fake.PendingInput(), 7u);

    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_EQ(Texts(), Texts16{kLinkUp});
    EXPECT_EQ(fake.writes.size(), 1u);
    engine.Tick();  // block 0 goes out on the next tick
    EXPECT_EQ(fake.writes.back(), DataFrame(image_, 0));
    EXPECT_EQ(Percents(), std::vector<int>{0});
}

TEST_F(EngineStepMachine, AFailedLoadStaysReadyAndANewStartTriesAgainFromTheTop) {
    ToReady();
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Texts(), Texts16{kQ9OpenFailed});
    EXPECT_TRUE(fake.writeRequests.empty());
    engine.Tick();  // no new request: no new attempt
    EXPECT_EQ(fake.openedPaths.size(), 1u);

    fake.totalPhysical = kMtkThreshold + 1;  // detected anew
    PutFile(kMtkFile, image_);
    ASSERT_EQ(engine.RequestStart(), 1);
    engine.Tick();
    EXPECT_EQ(fake.openedPaths, (Texts16{kQ9File, kMtkFile}));
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
}

TEST_F(EngineStepMachine, AShortEnterUpgradeFrameStillStartsTheHandshake) {
    ToReady();
    PutFile(kQ9File, image_);
    fake.writeLimit = 2;
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(Texts(), Texts16{kSendFailed});
}

TEST_F(EngineStepMachine, ANewerRequestReadOnTheFirstTransferTickIsServedInsteadOfBlockZero) {
    ToTransfer(image_);
    Mcu(BlockRequest(3));
    engine.Tick();
    EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, 3)});
}

TEST_F(EngineStepMachine, EachRequestIsAnsweredOnTheTickThatReadsItAndBlockOneWarnsFirst) {
    ToTransfer(image_);
    engine.Tick();  // block 0
    Clear();
    engine.Tick();  // nothing asked: nothing written
    EXPECT_TRUE(fake.writeRequests.empty());
    for (std::uint16_t block : {7, 1, 2, 1, 127}) {
        Clear();
        Mcu(BlockRequest(block));
        engine.Tick();
        EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, block)}) << block;
        EXPECT_EQ(engine.requestedBlock, NO_REQUEST);
        EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
        EXPECT_EQ(Texts(), block == 1 ? Texts16{kUpgrading} : Texts16{}) << block;
        EXPECT_EQ(sink.reports.front().writesBefore, 0u);
    }
}

TEST_F(EngineStepMachine, TheCompletionEndsTheTransferOnTheTickThatReadsIt) {
    ToTransfer(image_);
    Mcu(Completion());
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Percents(), std::vector<int>{100});
    EXPECT_EQ(Texts(), Texts16{kUpgradeDone});
    EXPECT_TRUE(fake.writeRequests.empty());
}

TEST_F(EngineStepMachine, EitherSignOfCompletionAloneEndsTheTransferWithoutWriting) {
    const std::pair<std::int32_t, std::int32_t> rows[] = {{SIGNAL_NONE, ALL_BLOCKS_DONE},
                                                          {SIGNAL_COMPLETE, 5}};
    for (const auto& [signal, requestedBlock] : rows) {
        FakePlatform platform;
        platform.files[kQ9File].bytes = image_;
        UpgradeEngine e{platform};
        e.Tick();
        e.RequestStart();
        e.Tick();
        platform.Arrive(platform.now, BlockRequest(0));
        e.Tick();
        ASSERT_EQ(e.GetStep(), STEP_TRANSFER);
        platform.writes.clear();
        e.signal = signal;
        e.requestedBlock = requestedBlock;
        e.Tick();
        EXPECT_EQ(e.GetStep(), STEP_DONE) << signal << " " << requestedBlock;
        EXPECT_EQ(e.signal, SIGNAL_NONE);
        EXPECT_TRUE(platform.writes.empty());
    }
}

TEST_F(EngineStepMachine, DoneIsFinalAndReadsNothing) {
    ToTransfer(image_);
    Mcu(Completion());
    engine.Tick();
    Clear();
    Mcu(BlockRequest(4));
    const int reads = fake.readCalls;
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(fake.readCalls, reads);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_TRUE(sink.reports.empty());
}

}  // namespace
}  // namespace vardel::test
