// Whole upgrade runs: the engine on the Linux platform against the simulated
// MCU over a real pseudo-terminal. Every run that completes must deliver the
// firmware file's whole blocks byte for byte.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/e2e/E2eHarness.h"

namespace vardel::e2e {
namespace {

using namespace std::chrono_literals;

// Runs to the end, presses "完成重启" and returns the MCU's verdict.
sim::Verdict Complete(UpgradeRun& run) {
    EXPECT_EQ(run.RunToDone(60s), STEP_DONE);
    return run.FinishWithReset();
}

void ExpectDelivered(const sim::Verdict& verdict, std::size_t blocks) {
    EXPECT_TRUE(verdict.identical) << verdict.Text();
    EXPECT_TRUE(verdict.resetReceived) << verdict.Text();
    EXPECT_TRUE(verdict.faults.empty()) << verdict.Text();
    EXPECT_EQ(verdict.blocks, blocks);
    EXPECT_EQ(verdict.bytes, blocks * 64);
}

TEST(UpgradeEndToEnd, A448BlockImageArrivesIdenticalWithEveryTextOnTheWay) {
    UpgradeRun run({}, MakeImage(28672, 1));
    const sim::Verdict verdict = Complete(run);
    ExpectDelivered(verdict, 448);
    EXPECT_EQ(run.Steps(),
              (std::vector<int>{STEP_READY, STEP_HANDSHAKE, STEP_TRANSFER, STEP_DONE}));
    for (const char16_t* text : {u"串口打开成功!", u"通信建立，开始传输数据!",
                                 u"正在升级......, 请稍后, 不要断电!!!", u"升级成功!"}) {
        EXPECT_TRUE(run.Reported(text));
    }
    std::printf("448-block run: %lld ms from the first tick to STEP_DONE\n",
                static_cast<long long>(run.Elapsed().count()));
}

TEST(UpgradeEndToEnd, AFullSizeImageOf65536BytesArrivesIdentical) {
    UpgradeRun run({}, MakeImage(65536, 2));
    ExpectDelivered(Complete(run), 1024);
}

TEST(UpgradeEndToEnd, TheLastPartialBlockOfAnImageIsNeverSent) {
    UpgradeRun run({}, MakeImage(1030, 3));
    const sim::Verdict verdict = Complete(run);
    ExpectDelivered(verdict, 16);
    EXPECT_EQ(verdict.dataFrames, 16u);
}

TEST(UpgradeEndToEnd, StatusRepliesInTheMiddleAreShownAndTheTransferGoesOn) {
    sim::Options options;
    options.statusAtStart = {sim::StatusReply::EraseOk};
    options.statusMid = {sim::StatusReply::EraseFailed, sim::StatusReply::ChipEncrypted};
    options.statusMidAfterBlocks = 100;
    UpgradeRun run(options, MakeImage(28672, 4));
    ExpectDelivered(Complete(run), 448);
    EXPECT_TRUE(run.Reported(u"擦除成功"));
    EXPECT_TRUE(run.Reported(u"擦除失败"));
    EXPECT_TRUE(run.Reported(u"芯片被加密"));
}

TEST(UpgradeEndToEnd, ARequestForAnotherBlockBeforeBlockZeroIsNotServed) {
    sim::Options options;
    options.blockBeforeBlockZero = 7;
    UpgradeRun run(options, MakeImage(4096, 5));
    const sim::Verdict verdict = Complete(run);
    ExpectDelivered(verdict, 64);
    EXPECT_EQ(verdict.Count(sim::FaultKind::Answered), 0u);
}

TEST(UpgradeEndToEnd, TheCompletionRequestAtHandshakeDoesNotEndTheRun) {
    sim::Options options;
    options.completionAtHandshake = true;
    UpgradeRun run(options, MakeImage(4096, 6));
    ExpectDelivered(Complete(run), 64);
    // Success is told early, but the engine waits for block 0 all the same.
    EXPECT_EQ(run.Steps(),
              (std::vector<int>{STEP_READY, STEP_HANDSHAKE, STEP_TRANSFER, STEP_DONE}));
}

TEST(UpgradeEndToEnd, RequestsSplitAcrossPollWindowsAreStillAnswered) {
    sim::Options options;
    options.splitRequests = 3;
    options.splitPause = 1200ms;
    UpgradeRun run(options, MakeImage(4096, 7));
    ExpectDelivered(Complete(run), 64);
}

TEST(UpgradeEndToEnd, TwoFramesWaitingAtOnceAreParsedOnePerWindow) {
    sim::Options options;
    options.backToBack = 6;
    UpgradeRun run(options, MakeImage(4096, 8));
    ExpectDelivered(Complete(run), 64);
}

TEST(UpgradeEndToEnd, NoiseBadComplementsAndRequestsBeyondTheImageChangeNothing) {
    sim::Options options;
    options.noiseBursts = 5;
    options.badComplements = 3;
    options.beyondImage = 2;
    options.order = sim::BlockOrder::Shuffled;
    UpgradeRun run(options, MakeImage(4096, 9));
    const sim::Verdict verdict = Complete(run);
    ExpectDelivered(verdict, 64);
    EXPECT_TRUE(run.Reported(u"MCU请求数据出错!"));
}

}  // namespace
}  // namespace vardel::e2e
