// The script of a session: every block asked for, block 0 first, and the
// awkward extras put where they do no harm to that.

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

std::vector<const Step*> StepsOf(const std::vector<Step>& plan, StepKind kind) {
    std::vector<const Step*> steps;
    for (const Step& step : plan) {
        if (step.kind == kind) {
            steps.push_back(&step);
        }
    }
    return steps;
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
            if (order != BlockOrder::Repeated) {
                EXPECT_EQ(blocks.size(), 50u);
            } else {
                EXPECT_GT(blocks.size(), 50u);
            }
        }
    }
}

TEST(SessionPlan, TheSameSeedGivesTheSamePlanAndAnotherSeedAnotherOne) {
    Options options;
    options.order = BlockOrder::Shuffled;
    options.noiseBursts = 3;
    options.seed = 11;
    const auto first = AskedBlocks(MakePlan(options, 64));
    EXPECT_EQ(first, AskedBlocks(MakePlan(options, 64)));
    options.seed = 12;
    EXPECT_NE(first, AskedBlocks(MakePlan(options, 64)));
}

TEST(SessionPlan, APlainPlanAsksInOrderAndEndsWithTheCompletion) {
    const auto plan = MakePlan(Options{}, 3);

    ASSERT_EQ(plan.size(), 4u);
    for (std::uint16_t block = 0; block < 3; ++block) {
        EXPECT_EQ(plan[block].kind, StepKind::Ask);
        EXPECT_EQ(Joined(plan[block]), BlockRequest(block));
    }
    EXPECT_EQ(plan.back().kind, StepKind::Complete);
    EXPECT_EQ(Joined(plan.back()), CompletionRequest());
}

TEST(SessionPlan, NoiseNeverContainsAFrameStart) {
    Options options;
    options.noiseBursts = 40;
    const auto plan = MakePlan(options, 40);
    std::size_t bursts = 0;
    for (const Step& step : plan) {
        for (const Chunk& chunk : step.chunks) {
            const bool isNoise = chunk.bytes.front() != kFrameMark;
            bursts += isNoise ? 1 : 0;
            if (isNoise) {
                EXPECT_EQ(std::count(chunk.bytes.begin(), chunk.bytes.end(), kFrameMark), 0);
                EXPECT_LE(chunk.bytes.size(), 4u);
            }
        }
    }
    EXPECT_EQ(bursts, 40u);
}

TEST(SessionPlan, BackToBackFramesAreAStatusWithARequestOrTwoRequests) {
    Options options;
    options.backToBack = 6;
    const auto plan = MakePlan(options, 60);
    std::size_t pairs = 0;
    std::size_t statusPairs = 0;
    for (const Step* step : StepsOf(plan, StepKind::Ask)) {
        for (const Chunk& chunk : step->chunks) {
            EXPECT_EQ(chunk.pauseBefore.count(), 0);
        }
        if (step->chunks.size() == 2 && step->blocks.size() == 2) {
            ++pairs;
            EXPECT_NE(step->blocks.front(), 0) << "block 0 always goes alone";
            EXPECT_EQ(step->chunks[0].endsRequestFor, step->blocks[0]);
            EXPECT_EQ(step->chunks[1].endsRequestFor, step->blocks[1]);
        } else if (step->chunks.size() == 2) {
            ++statusPairs;
            EXPECT_EQ(step->chunks[0].bytes.size(), kStatusLength);
        }
    }
    EXPECT_EQ(pairs + statusPairs, 6u);
    EXPECT_GT(pairs, 0u);
    EXPECT_GT(statusPairs, 0u);
    const auto blocks = AskedBlocks(plan);
    EXPECT_EQ(std::set<std::uint16_t>(blocks.begin(), blocks.end()).size(), 60u);
    EXPECT_EQ(blocks.size(), 60u);
}

TEST(SessionPlan, ASplitRequestIsTwoPartsWithAPauseBetween) {
    Options options;
    options.splitRequests = 1;
    options.splitPause = Milliseconds(777);
    const auto plan = MakePlan(options, 1);  // one ask and the completion: either may be split
    std::size_t splits = 0;
    for (const Step& step : plan) {
        if (step.chunks.size() == 2) {
            ++splits;
            EXPECT_EQ(step.chunks[0].pauseBefore.count(), 0);
            EXPECT_EQ(step.chunks[1].pauseBefore, Milliseconds(777));
            EXPECT_EQ(Joined(step).size(), kRequestLength);
            EXPECT_EQ(Joined(step).front(), kFrameMark);
        }
    }
    EXPECT_EQ(splits, 1u);
}

TEST(SessionPlan, RefusalsComeAfterBlockZeroAndAskForWhatTheHostMustRefuse) {
    Options options;
    options.beyondImage = 5;
    options.badComplements = 5;
    const auto plan = MakePlan(options, 16);
    ASSERT_EQ(plan.front().kind, StepKind::Ask) << "nothing before block 0";
    const auto refusals = StepsOf(plan, StepKind::Refusal);
    ASSERT_EQ(refusals.size(), 10u);
    bool partBlockAsked = false;
    for (const Step* step : refusals) {
        const Bytes request = Joined(*step);
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
    EXPECT_TRUE(partBlockAsked) << "the first block past the image is one of them";
}

TEST(SessionPlan, HandshakeExtrasComeBeforeBlockZero) {
    Options options;
    options.statusAtStart = {StatusReply::EraseOk};
    options.completionAtHandshake = true;
    options.blockBeforeBlockZero = 0;  // taken as block 1: block 0 would start the transfer
    const auto plan = MakePlan(options, 4);

    ASSERT_GE(plan.size(), 4u);
    EXPECT_EQ(plan[0].kind, StepKind::Send);
    EXPECT_EQ(Joined(plan[1]), CompletionRequest());
    EXPECT_EQ(Joined(plan[2]), BlockRequest(1));
    EXPECT_EQ(plan[3].blocks, std::vector<std::uint16_t>{0});
}

TEST(SessionPlan, FallingSilentMidFrameLeavesHalfTheNextRequest) {
    Options options;
    options.silence = Silence::MidFrame;
    options.silenceAfterBlocks = 2;
    options.beyondImage = 3;
    const auto plan = MakePlan(options, 10);

    EXPECT_EQ(AskedBlocks(plan), (std::vector<std::uint16_t>{0, 1}));
    ASSERT_EQ(plan.back().kind, StepKind::FallSilent);
    const Bytes half = Joined(plan.back());
    const Bytes next = BlockRequest(2);
    EXPECT_EQ(half, Bytes(next.begin(), next.begin() + 3));
    EXPECT_TRUE(StepsOf(plan, StepKind::Complete).empty());
}

}  // namespace
}  // namespace vardel::sim
