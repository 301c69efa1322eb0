// The script of a session: every block asked for, block 0 first, and the
// awkward extras really there, where they do no harm to that.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "sim/SessionPlan.h"

namespace vardel::sim {
namespace {

std::vector<std::uint16_t> AskedBlocks(const std::vector<Step>& plan) {
    std::vector<std::uint16_t> blocks;
    for (const Step& step : plan) {
        if (step.kind == StepKind::Ask) {
            blocks.insert(blocks.end(), step.blocks.begin(), step.blocks.end());
        }
    }
    return blocks;
}

Bytes Joined(const Step& step) {
    Bytes all;
    for (const Chunk& chunk : step.chunks) {
        all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
    }
    return all;
}

TEST(SessionPlan, EveryOrderStartsWithBlockZeroAndCoversEveryBlock) {
    for (const BlockOrder order :
         {BlockOrder::InOrder, BlockOrder::Shuffled, BlockOrder::Repeated}) {
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            Random random(seed);
            const auto blocks = MakeBlockOrder(order, 50, random);
            ASSERT_FALSE(blocks.empty());
            EXPECT_EQ(blocks.front(), 0);
            const std::set<std::uint16_t> distinct(blocks.begin(), blocks.end());
            EXPECT_EQ(distinct.size(), 50u);
            EXPECT_EQ(*distinct.rbegin(), 49);
            EXPECT_EQ(blocks.size() > 50u, order == BlockOrder::Repeated);
        }
    }
}

// The fault matrix is only as good as these extras are really in the plan.
TEST(SessionPlan, NoiseSplitRequestsAndBackToBackFramesAreThereAsAsked) {
    Options noise;
    noise.noiseBursts = 40;
    std::size_t bursts = 0;
    for (const Step& step : MakePlan(noise, 40)) {
        for (const Chunk& chunk : step.chunks) {
            if (chunk.bytes.front() == kFrameMark) continue;
            ++bursts;
            EXPECT_EQ(std::count(chunk.bytes.begin(), chunk.bytes.end(), kFrameMark), 0);
        }
    }
    EXPECT_EQ(bursts, 40u);

    Options split;
    split.splitRequests = 3;
    split.splitPause = Milliseconds(777);
    std::size_t splits = 0;
    for (const Step& step : MakePlan(split, 10)) {
        const bool isSplit =
            step.chunks.size() == 2 && step.chunks[1].pauseBefore == Milliseconds(777);
        if (isSplit) {
            ++splits;
            EXPECT_EQ(Joined(step).size(), kRequestLength);
        }
    }
    EXPECT_EQ(splits, 3u);

    Options pairs;
    pairs.backToBack = 6;
    const auto plan = MakePlan(pairs, 60);
    std::size_t twoRequests = 0;
    std::size_t statusAndRequest = 0;
    for (const Step& step : plan) {
        if (step.kind != StepKind::Ask || step.chunks.size() != 2) continue;
        (step.blocks.size() == 2 ? twoRequests : statusAndRequest) += 1;
        EXPECT_NE(step.blocks.front(), 0) << "block 0 always goes alone";
    }
    EXPECT_GT(twoRequests, 0u);
    EXPECT_EQ(twoRequests + statusAndRequest, 6u);
    EXPECT_EQ(AskedBlocks(plan).size(), 60u);
}

TEST(SessionPlan, RefusalsComeAfterBlockZeroAndAskForWhatTheHostMustRefuse) {
    Options options;
    options.beyondImage = 5;
    options.badComplements = 5;
    const auto plan = MakePlan(options, 16);
    ASSERT_EQ(plan.front().kind, StepKind::Ask) << "nothing before block 0";
    std::size_t refusals = 0;
    bool partBlockAsked = false;
    for (const Step& step : plan) {
        if (step.kind != StepKind::Refusal) continue;
        ++refusals;
        const Bytes request = Joined(step);
        ASSERT_EQ(request.size(), kRequestLength);
        const bool complementsFit =
            request[5] == 0xFF - request[3] && request[6] == 0xFF - request[4];
        const int block = request[3] * 256 + request[4];
        if (complementsFit) {
            EXPECT_GE(block, 16);
            EXPECT_LE(block, kHighestBlockNumber);
            partBlockAsked = partBlockAsked || block == 16;
        } else {
            EXPECT_LT(block, 16) << "a bad request names a real block: answering it would show";
        }
    }
    EXPECT_EQ(refusals, 10u);
    EXPECT_TRUE(partBlockAsked) << "the first block past the image is one of them";
}

}  // namespace
}  // namespace vardel::sim
