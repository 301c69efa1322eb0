// A whole upgrade run against a scripted MCU: everything it asks for arrives
// on the line unchanged, in the order it asked.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineUpgradeRun : public EngineTest {
protected:
    // The MCU answers each frame it receives a few milliseconds later.
    void McuAnswers(std::size_t& seen, std::uint32_t& next, std::uint32_t blocks) {
        while (seen < fake.writes.size()) {
            const Bytes& frame = fake.writes[seen++];
            if (frame == kEnterUpgradeFrame) {
                fake.Arrive(fake.now + 3, Ascii("#UKOK"));
                fake.Arrive(fake.now + 40, BlockRequest(0));
                next = 1;
            } else if (frame.size() == 69 && frame[2] == 0x44) {
                fake.Arrive(fake.now + 5, next < blocks ? BlockRequest(next) : Completion());
                ++next;
            }
        }
    }
};

TEST_F(EngineUpgradeRun, EveryRequestedBlockOf448ArrivesIntact) {
    constexpr std::uint32_t kBlocks = 448;
    const Bytes image = Pattern(std::size_t{kBlocks} * 64, 3);
    PutFile(kQ9File, image);

    engine.Tick();
    ASSERT_EQ(engine.GetStep(), STEP_READY);
    ASSERT_EQ(engine.RequestStart(), 1);

    std::size_t seen = 0;
    std::uint32_t next = 0;
    int ticks = 0;
    while (engine.GetStep() != STEP_DONE && ticks < 20000) {
        const std::uint32_t before = fake.now;
        engine.Tick();
        ASSERT_LE(fake.now - before, kPoll + 10) << "tick " << ticks;
        McuAnswers(seen, next, kBlocks);
        fake.now += 5;  // the timer period
        ++ticks;
    }
    ASSERT_EQ(engine.GetStep(), STEP_DONE);

    ASSERT_EQ(fake.writes.size(), kBlocks + 1);
    EXPECT_EQ(fake.writes[0], kEnterUpgradeFrame);
    for (std::uint32_t block = 0; block < kBlocks; ++block) {
        ASSERT_EQ(fake.writes[block + 1], DataFrame(image, block)) << "block " << block;
    }
    EXPECT_EQ(fake.writes.size(), fake.writeRequests.size());

    EXPECT_EQ(Texts(), std::vector<std::u16string>(
                           {kPortOpened, kEraseOk, kLinkUp, kUpgrading, kUpgradeDone}));
    std::vector<int> percents;
    for (std::uint32_t block = 0; block < kBlocks; ++block) {
        percents.push_back(static_cast<int>(block * 100 / 448));
    }
    percents.push_back(100);
    EXPECT_EQ(Percents(), percents);

    EXPECT_EQ(engine.SendReset(), 1);
    EXPECT_EQ(fake.writes.back(), ResetFrame());
    EXPECT_EQ(fake.openFiles, 0);
}

}  // namespace
}  // namespace vardel::test
