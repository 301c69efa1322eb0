// Opening the one serial port on the first ticks: its three outcomes, and a
// port once open is kept.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

using EngineSerialLink = EngineTest;

TEST_F(EngineSerialLink, EachTickTriesThePortUntilItOpensAndAFailureAsksOnlyQ9GpsToQuit) {
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
    EXPECT_EQ(Texts(), (Texts16{kPortOpenFailed, kPortOpenFailed, kPortConfigFailed}));
    EXPECT_EQ(fake.quitRequests, (std::vector<ProgramHandle>{11, 11}));

    fake.refuseSettings = false;
    Clear();
    engine.Tick();
    EXPECT_EQ(engine.GetStep(), STEP_READY);
    EXPECT_NE(engine.port, 0);
    EXPECT_EQ(fake.PendingInput(), 0u);
    EXPECT_EQ(Texts(), Texts16{kPortOpened});
    EXPECT_EQ(fake.quitRequests.size(), 2u);
}

TEST_F(EngineSerialLink, AnOpenPortIsNeitherReopenedNorReconfigured) {
    ASSERT_EQ(engine.OpenPort(), 1);
    const PortHandle port = engine.port;
    Clear();
    EXPECT_EQ(engine.OpenPort(), 1);
    EXPECT_EQ(engine.port, port);
    EXPECT_EQ(fake.openCalls, 1);
    EXPECT_EQ(fake.configureCalls, 1);
    EXPECT_EQ(fake.purgeCalls, 1);
    EXPECT_TRUE(Texts().empty());
}

}  // namespace
}  // namespace vardel::test
