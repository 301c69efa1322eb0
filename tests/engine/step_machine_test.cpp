// The step machine: what one tick does in each step, from opening the one
// serial port (its three outcomes; a port once open is kept) to the end.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineStepMachine : public EngineTest {
protected:
    const Bytes image_ = Pattern(65536);
};

TEST_F(EngineStepMachine, EachTickTriesThePortUntilItOpensAndAFailureAsksOnlyQ9GpsToQuit) {
    Mcu(BlockRequest(4));  // stale input from before the opening
    fake.portExists = false;
    fake.programs = {{u"MtkGps", 21}};
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_TRUE(fake.quitRequests.empty());

    fake.programs = {{u"MtkGps", 21}, {u"Q9Gps", 11}};
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
    EXPECT_EQ(fake.readCalls, 0);

    // Refused settings: the handle is closed and the next tick opens afresh.
    fake.portExists = true;
    fake.refuseSettings = true;
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_CLOSED);
    EXPECT_EQ(engine.port, 0);
    EXPECT_EQ(fake.openPort, 0);
    EXPECT_EQ(Said(), (Texts16{kPortOpenFailed, kPortOpenFailed, u"串口配置失败!"}));
    EXPECT_EQ(fake.quitRequests, (std::vector<ProgramHandle>{11, 11}));

    fake.refuseSettings = false;
    Clear();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(fake.PendingInput(), 0u);
    EXPECT_EQ(Said(), Texts16{kPortOpened});
    EXPECT_EQ(fake.quitRequests.size(), 2u);

    // An open port is neither reopened nor reconfigured.
    const PortHandle port = engine.port;
    EXPECT_EQ(engine.OpenPort(), 1);
    EXPECT_EQ(engine.port, port);
    EXPECT_EQ(fake.openCalls, 4);
    EXPECT_EQ(fake.configureCalls, 2);
    EXPECT_EQ(fake.purgeCalls, 1);
    EXPECT_EQ(Said(), Texts16{kPortOpened});
}

TEST_F(EngineStepMachine, ReadyReadsNothingUntilAStartThenOnlyBlockZeroLeadsIntoTheTransfer) {
    ToReady();
    // After the purge and before the start: these wait in the queue.
    for (const Bytes& frame : {Completion(), BlockRequest(3), BlockRequest(0)}) Mcu(frame);
    const int reads = fake.readCalls;
    EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(fake.readCalls, reads);
    EXPECT_TRUE(fake.writeRequests.empty());

    PutFile(kQ9File, image_);
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{kEnterUpgradeFrame});
    EXPECT_EQ(fake.PendingInput(), 21u);

    // The completion and any block but 0 leave the handshake waiting ...
    engine.Tick();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(engine.signal, SIGNAL_COMPLETE);
    // ... and block 0 opens the transfer, which serves it on the next tick.
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Said(), (Texts16{u"100%", kUpgradeDone, u"通信建立，开始传输数据!"}));
    EXPECT_EQ(fake.writes.size(), 1u);
    engine.Tick();
    EXPECT_EQ(fake.writes.back(), DataFrame(image_, 0));
}

TEST_F(EngineStepMachine, AFailedLoadStaysReadyAndANewStartTriesAgainFromTheTop) {
    ToReady();
    engine.RequestStart();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Said(), Texts16{kQ9OpenFailed});
    EXPECT_TRUE(fake.writeRequests.empty());
    engine.Tick();  // no new request: no new attempt
    EXPECT_EQ(fake.openedPaths.size(), 1u);

    fake.totalPhysical = kMtkThreshold + 1;  // detected anew
    PutFile(kMtkFile, image_);
    fake.writeLimit = 2;  // and an enter-upgrade frame cut short still starts the handshake
    ASSERT_EQ(engine.RequestStart(), 1);
    engine.Tick();
    EXPECT_EQ(fake.openedPaths, (Texts16{kQ9File, kMtkFile}));
    EXPECT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    EXPECT_EQ(Said().back(), kSendFailed);
}

// A request read on the first transfer tick is served instead of block 0. The
// progress of block n is n × 100 / 448, cut, not rounded, and not capped.
TEST_F(EngineStepMachine, EachRequestIsAnsweredOnTheTickThatReadsItAndBlockOneWarnsFirst) {
    ToTransfer(image_);
    const std::pair<std::uint16_t, Texts16> rows[] = {{3, {u"0%"}},
                                                      {7, {u"1%"}},
                                                      {1, {kUpgrading, u"0%"}},
                                                      {2, {u"0%"}},
                                                      {1, {kUpgrading, u"0%"}},
                                                      {447, {u"99%"}},
                                                      {1023, {u"228%"}}};
    for (const auto& [block, said] : rows) {
        Clear();
        Mcu(BlockRequest(block));
        engine.Tick();
        EXPECT_EQ(fake.writes, std::vector<Bytes>{DataFrame(image_, block)}) << block;
        EXPECT_EQ(engine.GetStep(), STEP_TRANSFER);
        EXPECT_EQ(Said(), said) << block;
        EXPECT_EQ(sink.writesBefore.front(), 0u);
        engine.Tick();  // nothing asked: nothing written
        EXPECT_EQ(fake.writeRequests.size(), 1u);
    }
}

TEST_F(EngineStepMachine, TheCompletionEndsTheTransferOnTheTickThatReadsItAndDoneIsFinal) {
    ToTransfer(image_);
    // Either sign of the completion alone ends it too, without writing.
    const std::pair<std::int32_t, std::int32_t> rows[] = {{SIGNAL_NONE, ALL_BLOCKS_DONE},
                                                          {SIGNAL_COMPLETE, 5}};
    for (const auto& [signal, requestedBlock] : rows) {
        engine.step = STEP_TRANSFER;
        engine.signal = signal;
        engine.requestedBlock = requestedBlock;
        engine.Tick();
        EXPECT_EQ(engine.GetStep(), STEP_DONE) << signal << " " << requestedBlock;
        EXPECT_EQ(engine.signal, SIGNAL_NONE);
        EXPECT_TRUE(fake.writeRequests.empty());
    }

    engine.step = STEP_TRANSFER;
    Mcu(Completion());
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(engine.signal, SIGNAL_NONE);
    EXPECT_EQ(Said(), (Texts16{u"100%", kUpgradeDone}));
    EXPECT_TRUE(fake.writeRequests.empty());

    Clear();
    Mcu(BlockRequest(4));
    const int reads = fake.readCalls;
    for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(engine.Tick(), 1);
    EXPECT_EQ(engine.GetStep(), STEP_DONE);
    EXPECT_EQ(fake.readCalls, reads);
    EXPECT_TRUE(fake.writeRequests.empty());
    EXPECT_TRUE(Said().empty());
}

}  // namespace
}  // namespace vardel::test
