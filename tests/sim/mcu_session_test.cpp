// The simulated MCU against a host written by hand: what it asks for, and how
// it judges what comes back.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

#include "tests/sim/HandHost.h"

namespace vardel::sim::test {
namespace {

using std::chrono::milliseconds;

constexpr int kCompletion = 0xFFFF;

std::vector<int> Range(int first, int end) {
    std::vector<int> numbers(static_cast<std::size_t>(end - first));
    std::iota(numbers.begin(), numbers.end(), first);
    return numbers;
}

std::vector<int> Without(std::vector<int> requests, int block) {
    requests.erase(std::remove(requests.begin(), requests.end(), block), requests.end());
    return requests;
}

TEST(McuSession, APlainRunOfASmallImageIsJudgedIdentical) {
    const Bytes image = CountingImage(1030);  // 16 whole blocks and 6 bytes
    HandHost host(image);

    const Verdict verdict = PlaySession(QuickOptions(), image, host);

    EXPECT_EQ(verdict.Text(),
              "verdict: image identical, 16 blocks, 1024 bytes, frames 18, repeats 0, faults 0, "
              "reset received");
    EXPECT_TRUE(verdict.Passed());
    std::vector<int> expected = Range(0, 16);
    expected.push_back(kCompletion);
    EXPECT_EQ(host.requests, expected) << "the part block at the end is never asked for";
    EXPECT_EQ(verdict.latencies.size(), 16u);
}

TEST(McuSession, ADataFrameThatFailsAnyCheckIsAFaultAndTheBlockIsAskedAgain) {
    struct Case {
        FaultKind fault;
        HandHostKnobs knobs;
    };
    std::vector<Case> cases(3);
    cases[0].fault = FaultKind::BadSum;
    cases[0].knobs.spoilFirst[3] = 67;
    cases[1].fault = FaultKind::BadXor;
    cases[1].knobs.spoilFirst[3] = 68;
    cases[2].fault = FaultKind::WrongData;
    cases[2].knobs.wrongDataFirst.insert(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FaultName(c.fault)));
        const Bytes image = CountingImage(BlocksOf(8));
        HandHost host(image, c.knobs);

        const Verdict verdict = PlaySession(QuickOptions(), image, host);

        ASSERT_EQ(verdict.faults.size(), 1u);
        EXPECT_EQ(verdict.faults.front().kind, c.fault);
        EXPECT_EQ(verdict.faults.front().block, 3);
        EXPECT_EQ(verdict.repeats, 1u);
        EXPECT_EQ(std::count(host.requests.begin(), host.requests.end(), 3), 2);
        EXPECT_TRUE(verdict.identical) << "the second answer was right";
        EXPECT_FALSE(verdict.Passed());
    }
}

TEST(McuSession, AHostThatAlwaysSendsWrongDataEndsWithADifferingImage) {
    const Bytes image = CountingImage(BlocksOf(8));
    Bytes other = image;
    other[3 * 64 + 37] ^= 0x01;
    HandHost liar(other);
    Options options = QuickOptions();
    options.retries = 1;

    const Verdict verdict = PlaySession(options, image, liar);

    EXPECT_EQ(verdict.Count(FaultKind::WrongData), 2u);
    EXPECT_TRUE(verdict.gaveUp);
    EXPECT_FALSE(verdict.identical);
    EXPECT_EQ(verdict.Text().rfind("verdict: image incomplete, 4 of 8 blocks", 0), 0u)
        << verdict.Text();
}

TEST(McuSession, WithoutAResetFrameTheVerdictSaysNoReset) {
    const Bytes image = CountingImage(BlocksOf(4));
    HandHostKnobs knobs;
    knobs.sendReset = false;
    HandHost host(image, knobs);
    Options options = QuickOptions();
    options.resetTimeout = milliseconds(150);

    const auto started = Clock::now();
    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.identical);
    EXPECT_TRUE(verdict.completionSent);
    EXPECT_FALSE(verdict.resetReceived);
    EXPECT_FALSE(verdict.Passed());
    EXPECT_TRUE(verdict.Text().ends_with(", no reset")) << verdict.Text();
    EXPECT_LT(Clock::now() - started, milliseconds(2000)) << "the wait for the reset is bounded";
}

TEST(McuSession, ShuffledOrderStillAsksForEveryBlockExactlyOnce) {
    const Bytes image = CountingImage(BlocksOf(40));
    HandHost host(image);
    Options options = QuickOptions();
    options.order = BlockOrder::Shuffled;
    options.seed = 7;

    const Verdict verdict = PlaySession(options, image, host);

    ASSERT_TRUE(verdict.Passed()) << verdict.Text();
    std::vector<int> blocks = Without(host.requests, kCompletion);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front(), 0) << "the host starts the transfer on block 0";
    EXPECT_NE(blocks, Range(0, 40)) << "not shuffled at all";
    std::sort(blocks.begin(), blocks.end());
    EXPECT_EQ(blocks, Range(0, 40));
    EXPECT_EQ(verdict.repeats, 0u);
}

TEST(McuSession, RepeatedRequestsAreCountedAndStillMakeAnIdenticalImage) {
    const Bytes image = CountingImage(BlocksOf(32));
    HandHost host(image);
    Options options = QuickOptions();
    options.order = BlockOrder::Repeated;

    const Verdict verdict = PlaySession(options, image, host);

    ASSERT_TRUE(verdict.Passed()) << verdict.Text();
    const std::vector<int> blocks = Without(host.requests, kCompletion);
    const std::set<int> distinct(blocks.begin(), blocks.end());
    EXPECT_EQ(distinct.size(), 32u);
    EXPECT_GT(verdict.repeats, 0u);
    EXPECT_EQ(verdict.repeats, blocks.size() - distinct.size());
    EXPECT_EQ(verdict.dataFrames, blocks.size());
}

TEST(McuSession, RequestsBeyondTheImageLeftUnansweredAreCountedAsRefused) {
    const Bytes image = CountingImage(1030);
    HandHost host(image);
    Options options = QuickOptions();
    options.beyondImage = 3;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_EQ(verdict.refused, 3u);
    const std::vector<int> beyond = [&host] {
        std::vector<int> numbers;
        std::copy_if(host.requests.begin(), host.requests.end(), std::back_inserter(numbers),
                     [](int block) { return block >= 16 && block != kCompletion; });
        return numbers;
    }();
    ASSERT_EQ(beyond.size(), 3u);
    EXPECT_TRUE(std::find(beyond.begin(), beyond.end(), 16) != beyond.end())
        << "one asks for the part block at the end";
}

TEST(McuSession, ADataFrameInAnswerToARequestBeyondTheImageIsAFault) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHostKnobs knobs;
    knobs.answerBeyond = true;
    HandHost host(image, knobs);
    Options options = QuickOptions();
    options.beyondImage = 1;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_EQ(verdict.Count(FaultKind::Answered), 1u);
    EXPECT_EQ(verdict.refused, 0u);
    EXPECT_TRUE(verdict.identical) << "the stray frame is not taken for a block";
    EXPECT_FALSE(verdict.Passed());
}

TEST(McuSession, RequestsWithBadComplementsReachTheHostAndGoUnanswered) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHost host(image);
    Options options = QuickOptions();
    options.badComplements = 2;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_EQ(verdict.refused, 2u);
    EXPECT_EQ(std::count(host.seen.begin(), host.seen.end(), "bad"), 2);
}

TEST(McuSession, ABlockThatNeverComesIsAskedAgainThenGivenUp) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHostKnobs knobs;
    knobs.neverAnswer = 2;
    HandHost host(image, knobs);
    Options options = QuickOptions();
    options.dataTimeout = milliseconds(100);
    options.retries = 2;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_EQ(host.requests, (std::vector<int>{0, 1, 2, 2, 2})) << "nothing after giving up";
    EXPECT_EQ(verdict.Count(FaultKind::TimedOut), 3u);
    EXPECT_EQ(verdict.Count(FaultKind::GaveUp), 1u);
    EXPECT_EQ(verdict.repeats, 2u);
    EXPECT_TRUE(verdict.gaveUp);
    EXPECT_FALSE(verdict.completionSent);
    EXPECT_FALSE(verdict.identical);
    EXPECT_EQ(verdict.Text(),
              "verdict: image incomplete, 2 of 8 blocks, 128 bytes, frames 3, repeats 2, faults "
              "4, no reset, gave up");
}

TEST(McuSession, AFrameCutShortIsAFaultAndTheBlockIsAskedAgain) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHostKnobs knobs;
    knobs.cutFirst[5] = 40;
    HandHost host(image, knobs);

    const Verdict verdict = PlaySession(QuickOptions(), image, host);

    EXPECT_EQ(verdict.Count(FaultKind::CutShort), 1u);
    EXPECT_EQ(verdict.Count(FaultKind::TimedOut), 1u);
    EXPECT_EQ(std::count(host.requests.begin(), host.requests.end(), 5), 2);
    EXPECT_TRUE(verdict.identical);
}

TEST(McuSession, BytesAfterADataFrameAreAFault) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHostKnobs knobs;
    knobs.appendFirst[4] = {0x00};  // a data frame one byte too long
    HandHost host(image, knobs);

    const Verdict verdict = PlaySession(QuickOptions(), image, host);

    EXPECT_EQ(verdict.Count(FaultKind::UnexpectedBytes), 1u);
    EXPECT_EQ(verdict.faults.size(), 1u);
    EXPECT_TRUE(verdict.identical);
}

TEST(McuSession, BytesBeforeTheEnterUpgradeFrameAreIgnoredAndCounted) {
    const Bytes image = CountingImage(BlocksOf(4));
    HandHostKnobs knobs;
    knobs.before = HandHost::DataFrame(image.data());
    knobs.before.insert(knobs.before.begin(), {0x11, 0x23, 0x22});
    HandHost host(image, knobs);

    const Verdict verdict = PlaySession(QuickOptions(), image, host);

    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_EQ(verdict.ignoredBeforeHandshake, 3u + 69u);
    EXPECT_EQ(verdict.frames, 6u) << "counted from the enter-upgrade frame on";
}

TEST(McuSession, AtTheHandshakeTheCompletionAndAnotherBlockGoFirstAndUnanswered) {
    const Bytes image = CountingImage(BlocksOf(4));
    HandHost host(image);
    Options options = QuickOptions();
    options.completionAtHandshake = true;
    options.blockBeforeBlockZero = 3;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_EQ(verdict.refused, 2u);
    EXPECT_EQ(host.requests, (std::vector<int>{kCompletion, 3, 0, 1, 2, 3, kCompletion}));
}

TEST(McuSession, AHostThatServesABlockBeforeBlockZeroIsAtFault) {
    const Bytes image = CountingImage(BlocksOf(4));
    HandHostKnobs knobs;
    knobs.serveBeforeBlockZero = true;
    HandHost host(image, knobs);
    Options options = QuickOptions();
    options.blockBeforeBlockZero = 2;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_EQ(verdict.Count(FaultKind::Answered), 1u);
    EXPECT_TRUE(verdict.identical);
}

TEST(McuSession, StatusRepliesGoOutAtTheStartAndAfterTheChosenBlock) {
    const Bytes image = CountingImage(BlocksOf(6));
    HandHost host(image);
    Options options = QuickOptions();
    options.statusAtStart = {StatusReply::EraseOk, StatusReply::EraseFailed};
    options.statusMid = {StatusReply::ChipEncrypted};
    options.statusMidAfterBlocks = 4;

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_EQ(host.seen, (std::vector<std::string>{"KOK", "ENG", "0", "1", "2", "3", "KNG", "4",
                                                   "5", "65535"}));
}

TEST(McuSession, AwkwardByteStreamsStillDeliverTheImage) {
    const Bytes image = CountingImage(BlocksOf(24));
    HandHost host(image);
    Options options = QuickOptions();
    options.noiseBursts = 5;
    options.splitRequests = 2;
    options.backToBack = 4;
    options.order = BlockOrder::Shuffled;

    const auto started = Clock::now();
    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_GT(host.strayBytes, 0u) << "the noise reached the host";
    EXPECT_GE(Clock::now() - started, 2 * options.splitPause) << "split requests wait in between";
}

TEST(McuSession, AtLineRateNoFrameIsTakenBeforeItsBytesCouldHaveArrived) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHost host(image);
    Options options = QuickOptions();
    options.lineRate = true;

    const Verdict verdict = PlaySession(options, image, host);

    ASSERT_TRUE(verdict.Passed()) << verdict.Text();
    // Each block costs a request (7 bytes) and a data frame (69 bytes) on the line.
    EXPECT_GE(verdict.transferTime, 8 * (7 + 69) * kByteTime);
    ASSERT_EQ(verdict.latencies.size(), 8u);
    for (const auto latency : verdict.latencies) {
        EXPECT_GE(latency, std::chrono::duration_cast<std::chrono::microseconds>(kByteTime));
    }
}

TEST(McuSession, TheFlashDelayIsSpentOnEveryBlock) {
    const Bytes image = CountingImage(BlocksOf(8));
    HandHost host(image);
    Options options = QuickOptions();
    options.flashDelay = milliseconds(15);

    const Verdict verdict = PlaySession(options, image, host);

    ASSERT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_GE(verdict.transferTime, 8 * options.flashDelay);
}

TEST(McuSession, AnMcuFallenSilentEndsPromptlyOnStop) {
    const Bytes image = CountingImage(BlocksOf(8));
    for (const Silence silence : {Silence::AfterBlocks, Silence::MidFrame}) {
        HandHost host(image);
        Options options = QuickOptions();
        options.silence = silence;
        options.silenceAfterBlocks = 2;
        McuSimulator mcu(options, image);

        const Verdict verdict = PlaySession(mcu, host, milliseconds(400));

        EXPECT_EQ(host.requests, (std::vector<int>{0, 1}));
        EXPECT_EQ(host.PendingBytes(), silence == Silence::MidFrame ? 3u : 0u)
            << "half a request hangs in the host's buffer";
        EXPECT_TRUE(verdict.stopped);
        EXPECT_TRUE(verdict.handshakeSeen);
        EXPECT_EQ(verdict.blocks, 2u);
        EXPECT_FALSE(verdict.identical);
        EXPECT_EQ(verdict.faults.size(), 0u);
    }
}

TEST(McuSession, StopBeforeRunMakesRunReturnAtOnce) {
    McuSimulator mcu(Options{}, CountingImage(1024));
    mcu.Stop();
    int ends[2] = {-1, -1};
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);

    const auto started = Clock::now();
    mcu.Run(ends[1]);

    EXPECT_LT(Clock::now() - started, milliseconds(200));
    EXPECT_TRUE(mcu.Result().stopped);
    EXPECT_FALSE(mcu.Result().handshakeSeen);
    EXPECT_EQ(mcu.Result().Text().rfind("verdict: no handshake, 0 of 16 blocks", 0), 0u);
    close(ends[0]);
    close(ends[1]);
}

TEST(McuSession, AHostThatGoesAwayEndsTheSession) {
    const Bytes image = CountingImage(BlocksOf(8));
    McuSimulator mcu(QuickOptions(), image);
    int ends[2] = {-1, -1};
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    const Bytes enterUpgrade = {0x23, 0x55, 0x02, 0x56, 0x4B, 0x54};
    ASSERT_EQ(write(ends[0], enterUpgrade.data(), enterUpgrade.size()), 6);
    close(ends[0]);

    mcu.Run(ends[1]);

    EXPECT_TRUE(mcu.Result().handshakeSeen);
    EXPECT_TRUE(mcu.Result().lineClosed);
    close(ends[1]);
}

}  // namespace
}  // namespace vardel::sim::test
