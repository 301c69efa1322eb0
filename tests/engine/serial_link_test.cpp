// Opening the one serial port and writing whole frames to it.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineSerialLink : public EngineTest {};

TEST_F(EngineSerialLink, ASuccessfulOpeningReportsOnceAfterThePurge) {
    Mcu({0x23, 0x55});  // stale input from before the opening
    EXPECT_EQ(engine.OpenPort(), 1);
    EXPECT_NE(engine.port, 0);
    EXPECT_EQ(engine.port, fake.openPort);
    EXPECT_EQ(fake.configureCalls, 1);
    EXPECT_EQ(fake.PendingInput(), 0u);
    ASSERT_EQ(Texts(), std::vector<std::u16string>{kPortOpened});
    EXPECT_EQ(sink.reports[0].purgesBefore, 1);
}

TEST_F(EngineSerialLink, AnOpenPortIsNeitherReopenedNorReconfigured) {
    Open();
    const PortHandle port = engine.port;
    EXPECT_EQ(engine.OpenPort(), 1);
    EXPECT_EQ(engine.port, port);
    EXPECT_EQ(fake.openCalls, 1);
    EXPECT_EQ(fake.configureCalls, 1);
    EXPECT_EQ(fake.purgeCalls, 1);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(EngineSerialLink, AMissingPortFailsEachTimeUntilItAppears) {
    fake.portExists = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(engine.OpenPort(), 0);
        EXPECT_EQ(engine.port, 0);
    }
    EXPECT_EQ(Texts(), std::vector<std::u16string>(3, kPortOpenFailed));
    EXPECT_EQ(fake.configureCalls, 0);
    EXPECT_EQ(fake.purgeCalls, 0);

    Clear();
    fake.portExists = true;
    EXPECT_EQ(engine.OpenPort(), 1);
    EXPECT_NE(engine.port, 0);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortOpened});
}

TEST_F(EngineSerialLink, APortHeldByAnotherFailsToOpen) {
    UpgradeEngine holder{fake};
    ASSERT_EQ(holder.OpenPort(), 1);
    Clear();
    EXPECT_EQ(engine.OpenPort(), 0);
    EXPECT_EQ(engine.port, 0);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortOpenFailed});
}

TEST_F(EngineSerialLink, RefusedSettingsCloseTheHandleAndTheNextCallOpensAfresh) {
    fake.refuseSettings = true;
    EXPECT_EQ(engine.OpenPort(), 0);
    EXPECT_EQ(engine.port, 0);
    EXPECT_EQ(fake.closeCalls, 1);
    EXPECT_EQ(fake.openPort, 0);
    EXPECT_EQ(fake.purgeCalls, 0);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortConfigFailed});

    Clear();
    EXPECT_EQ(engine.OpenPort(), 0);  // still refused: the same again
    EXPECT_EQ(engine.port, 0);
    EXPECT_EQ(fake.closeCalls, 2);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortConfigFailed});

    Clear();
    fake.refuseSettings = false;
    EXPECT_EQ(engine.OpenPort(), 1);
    EXPECT_NE(engine.port, 0);
    EXPECT_EQ(fake.openCalls, 3);
    EXPECT_EQ(fake.configureCalls, 3);
    EXPECT_EQ(fake.purgeCalls, 1);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kPortOpened});
}

TEST_F(EngineSerialLink, AWholeWriteSucceedsSilently) {
    Open();
    const Bytes bytes = {1, 2, 3, 4, 5};
    EXPECT_EQ(engine.SendBytes(bytes.data(), 5), 1);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{bytes});
    EXPECT_TRUE(Texts().empty());
}

TEST_F(EngineSerialLink, APartialWriteFailsAndTheRestIsNotSent) {
    Open();
    fake.writeLimit = 3;
    const Bytes bytes = Pattern(20);
    EXPECT_EQ(engine.SendBytes(bytes.data(), 20), 0);
    EXPECT_EQ(fake.writeRequests.size(), 1u);
    EXPECT_EQ(fake.writes, std::vector<Bytes>{Bytes(bytes.begin(), bytes.begin() + 3)});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kSendFailed});
}

TEST_F(EngineSerialLink, AnEmptyWriteSucceedsWhateverThePort) {
    const std::uint8_t byte = 0;
    EXPECT_EQ(engine.SendBytes(&byte, 0), 1);
    Open();
    fake.writeLimit = 0;
    EXPECT_EQ(engine.SendBytes(&byte, 0), 1);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(EngineSerialLink, AWriteBeforeAnyPortWasOpenedFails) {
    const Bytes bytes = {0x23, 0x55};
    EXPECT_EQ(engine.SendBytes(bytes.data(), 2), 0);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kSendFailed});
}

}  // namespace
}  // namespace vardel::test
