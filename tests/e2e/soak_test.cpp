// Upgrades back to back, each with faults drawn from a seed: reproducible
// with the same seed. VARDEL_SOAK_RUNS sets how many (20 by default, the
// short run the test suite makes), VARDEL_SOAK_SEED the seed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/e2e/E2eHarness.h"

namespace vardel::e2e {
namespace {

using namespace std::chrono_literals;

std::uint32_t FromEnvironment(const char* name, std::uint32_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10))
                            : fallback;
}

struct Draw {
    sim::Options options;
    std::size_t imageSize = 0;
    std::size_t faults = 0;  // faults injected into this run
};

Draw DrawRun(std::mt19937& random) {
    auto below = [&random](std::uint32_t n) { return static_cast<std::size_t>(random() % n); };
    Draw draw;
    sim::Options& o = draw.options;
    o.seed = static_cast<std::uint32_t>(random());
    o.order = static_cast<sim::BlockOrder>(below(3));
    o.noiseBursts = below(4);
    o.badComplements = below(3);
    o.beyondImage = below(2);
    o.backToBack = below(4);
    o.splitRequests = below(4) == 0 ? 1 : 0;
    o.splitPause = std::chrono::milliseconds(400);
    if (below(3) == 0) {
        o.statusMid = {static_cast<sim::StatusReply>(below(3))};
        o.statusMidAfterBlocks = 1 + below(10);
    }
    if (below(3) == 0) {
        o.statusAtStart = {sim::StatusReply::EraseOk};
    }
    o.completionAtHandshake = below(8) == 0;
    draw.imageSize = 1024 + below(7 * 1024);
    draw.faults = o.noiseBursts + o.badComplements + o.beyondImage + o.backToBack +
                  o.splitRequests + o.statusMid.size() + o.statusAtStart.size() +
                  (o.completionAtHandshake ? 1 : 0);
    return draw;
}

TEST(Soak, UpgradesWithSeededFaultsAllDeliverTheWholeImage) {
    const std::uint32_t runs = FromEnvironment("VARDEL_SOAK_RUNS", 20);
    const std::uint32_t seed = FromEnvironment("VARDEL_SOAK_SEED", 2026);
    std::mt19937 random(seed);
    std::size_t faults = 0;
    std::size_t completed = 0;
    std::size_t bytes = 0;
    for (std::uint32_t i = 0; i < runs; ++i) {
        const Draw draw = DrawRun(random);
        SCOPED_TRACE("run " + std::to_string(i) + " of seed " + std::to_string(seed));
        UpgradeRun run(draw.options, MakeImage(draw.imageSize, seed + i));
        ASSERT_EQ(run.RunToDone(60s), STEP_DONE);
        const sim::Verdict verdict = run.FinishWithReset();
        ASSERT_TRUE(verdict.identical) << verdict.Text();
        ASSERT_TRUE(verdict.faults.empty()) << verdict.Text();
        faults += draw.faults;
        completed += 1;
        bytes += verdict.bytes;
    }
    std::printf(
        "soak: seed %u, runs %u, faults injected %zu, upgrades completed %zu, "
        "bytes verified %zu, corrupted images 0\n",
        seed, runs, faults, completed, bytes);
}

}  // namespace
}  // namespace vardel::e2e
