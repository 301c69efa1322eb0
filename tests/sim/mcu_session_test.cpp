// The simulated MCU against a host written by hand: what it asks for, and how
// it judges what comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tests/sim/HandHost.h"

namespace vardel::sim::test {
namespace {

constexpr int kCompletion = 0xFFFF;

std::vector<int> Range(int first, int end) {
    std::vector<int> numbers(static_cast<std::size_t>(end - first));
    std::iota(numbers.begin(), numbers.end(), first);
    return numbers;
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
}

TEST(McuSession, ADataFrameThatFailsAnyCheckIsAFaultAndTheBlockIsAskedAgain) {
    std::vector<std::pair<FaultKind, HandHostKnobs>> cases(3);
    cases[0].first = FaultKind::BadSum;
    cases[0].second.spoilFirst[3] = 67;
    cases[1].first = FaultKind::BadXor;
    cases[1].second.spoilFirst[3] = 68;
    cases[2].first = FaultKind::WrongData;
    cases[2].second.wrongDataFirst.insert(3);
    for (const auto& [fault, knobs] : cases) {
        SCOPED_TRACE(std::string(FaultName(fault)));
        const Bytes image = CountingImage(8 * kBlockSize);
        HandHost host(image, knobs);

        const Verdict verdict = PlaySession(QuickOptions(), image, host);

        ASSERT_EQ(verdict.faults.size(), 1u);
        EXPECT_EQ(verdict.faults.front().kind, fault);
        EXPECT_EQ(verdict.faults.front().block, 3);
        EXPECT_EQ(std::count(host.requests.begin(), host.requests.end(), 3), 2);
        EXPECT_TRUE(verdict.identical) << "the second answer was right";
        EXPECT_FALSE(verdict.Passed());
    }
}

TEST(McuSession, AHostThatAlwaysSendsWrongDataEndsWithADifferingImage) {
    const Bytes image = CountingImage(8 * kBlockSize);
    Bytes other = image;
    other[3 * 64 + 37] ^= 0x01;
    HandHost liar(other);
    Options options = QuickOptions();
    options.retries = 1;

    const Verdict verdict = PlaySession(options, image, liar);

    EXPECT_EQ(verdict.Count(FaultKind::WrongData), 2u);
    EXPECT_TRUE(verdict.gaveUp);
    EXPECT_FALSE(verdict.identical);
    EXPECT_TRUE(verdict.Text().starts_with("verdict: image incomplete, 4 of 8 blocks"))
        << verdict.Text();
}

TEST(McuSession, WithoutAResetFrameTheVerdictSaysNoReset) {
    const Bytes image = CountingImage(4 * kBlockSize);
    HandHostKnobs knobs;
    knobs.sendReset = false;
    HandHost host(image, knobs);
    Options options = QuickOptions();
    options.resetTimeout = std::chrono::milliseconds(150);

    const Verdict verdict = PlaySession(options, image, host);

    EXPECT_TRUE(verdict.identical);
    EXPECT_FALSE(verdict.resetReceived);
    EXPECT_FALSE(verdict.Passed());
    EXPECT_TRUE(verdict.Text().ends_with(", no reset")) << verdict.Text();
}

TEST(McuSession, ShuffledOrderAsksForEveryBlockExactlyOnceBlockZeroFirst) {
    const Bytes image = CountingImage(40 * kBlockSize);
    HandHost host(image);
    Options options = QuickOptions();
    options.order = BlockOrder::Shuffled;
    options.seed = 7;

    const Verdict verdict = PlaySession(options, image, host);

    ASSERT_TRUE(verdict.Passed()) << verdict.Text();
    std::vector<int> blocks(host.requests.begin(), host.requests.end() - 1);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front(), 0);
    EXPECT_NE(blocks, Range(0, 40)) << "not shuffled at all";
    std::sort(blocks.begin(), blocks.end());
    EXPECT_EQ(blocks, Range(0, 40));
}

TEST(McuSession, ARequestBeyondTheImageMustGoUnansweredAndAnAnswerIsAFault) {
    const Bytes image = CountingImage(1030);
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer ? "answered" : "left unanswered");
        HandHostKnobs knobs;
        knobs.answerBeyond = answer;
        HandHost host(image, knobs);
        Options options = QuickOptions();
        options.beyondImage = 3;

        const Verdict verdict = PlaySession(options, image, host);

        EXPECT_EQ(std::count(host.requests.begin(), host.requests.end(), 16), 1)
            << "one asks for the part block at the end";
        EXPECT_EQ(verdict.refused, answer ? 0u : 3u);
        EXPECT_EQ(verdict.Count(FaultKind::Answered), answer ? 3u : 0u);
        EXPECT_TRUE(verdict.identical) << "a stray frame is not taken for a block";
        EXPECT_EQ(verdict.Passed(), !answer);
    }
}

}  // namespace
}  // namespace vardel::sim::test
