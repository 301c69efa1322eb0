// Upgrades back to back, each with faults drawn from a seed: reproducible
// with the same seed. VARDEL_SOAK_RUNS sets how many (20 by default, the
// short run the test suite makes), VARDEL_SOAK_SEED the seed. At the end, the
// totals over every run of this process, for a report to count.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/e2e/E2eHarness.h"

namespace vardel::test {
namespace {

// What a report counts: every run of this process that got to its end.
class TotalsPrinter : public testing::Environment {
public:
    void TearDown() override {
        std::printf(
            "e2e totals: upgrades completed %zu, bytes verified %zu, corrupted images %zu\n",
            g_totals.completed, g_totals.bytesVerified, g_totals.corrupted);
    }
};
[[maybe_unused]] testing::Environment* const g_printer =
    testing::AddGlobalTestEnvironment(new TotalsPrinter);

std::uint32_t FromEnvironment(const char* name, std::uint32_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10))
                            : fallback;
}

TEST(Soak, UpgradesWithSeededFaultsAllDeliverTheWholeImage) {
    const std::uint32_t runs = FromEnvironment("VARDEL_SOAK_RUNS", 20);
    const std::uint32_t seed = FromEnvironment("VARDEL_SOAK_SEED", 2026);
    std::mt19937 random(seed);
    auto below = [&random](std::uint32_t n) { return static_cast<std::size_t>(random() % n); };
    std::size_t faults = 0;
    std::size_t bytes = 0;
    for (std::uint32_t i = 0; i < runs; ++i) {
        sim::Options o;
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
        if (below(3) == 0) o.statusAtStart = {sim::StatusReply::EraseOk};
        o.completionAtHandshake = below(8) == 0;
        const std::size_t imageSize = 1024 + below(7 * 1024);
        faults += o.noiseBursts + o.badComplements + o.beyondImage + o.backToBack +
                  o.splitRequests + o.statusMid.size() + o.statusAtStart.size() +
                  (o.completionAtHandshake ? 1 : 0);

        SCOPED_TRACE("run " + std::to_string(i) + " of seed " + std::to_string(seed));
        UpgradeRun run(o, MakeImage(imageSize, seed + i));
        ASSERT_EQ(run.RunToDone(60s), STEP_DONE);
        const sim::Verdict verdict = run.FinishWithReset();
        ASSERT_TRUE(verdict.Passed()) << verdict.Text();
        bytes += verdict.bytes;
    }
    std::printf(
        "soak: seed %u, runs %u, faults injected %zu, upgrades completed %u, "
        "bytes verified %zu, corrupted images 0\n",
        seed, runs, faults, runs, bytes);
}

}  // namespace
}  // namespace vardel::test
