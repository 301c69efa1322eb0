// The poll window sleeps until the port is readable instead of spinning on
// reads. Run side by side with a window that has to spin (its waits return at
// once), it must parse the same bytes, leave the same state and end at the
// same moments, while reading far less often.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"

namespace vardel {
namespace {

struct Arrival {
    std::uint32_t atMs;
    std::vector<std::uint8_t> bytes;
};

struct Observed {
    std::vector<std::uint32_t> windowEnds;  // the clock after each window
    std::vector<std::uint32_t> positions;
    std::vector<std::int32_t> requests;
    std::vector<std::u16string> texts;
    int reads = 0;
};

std::vector<std::u16string>* g_texts = nullptr;

int Record(const char16_t* text, std::uint32_t /*context*/) {
    g_texts->emplace_back(text);
    return 1;
}

Observed RunWindows(const std::vector<Arrival>& arrivals, bool canWait, std::uint32_t startMs,
                    int windows) {
    FakePlatform fake;
    fake.now = startMs;
    fake.waitReturnsAtOnce = !canWait;
    UpgradeEngine engine(fake);
    Observed seen;
    g_texts = &seen.texts;
    engine.SetMessageCallback(Record, 0);
    engine.OpenPort();
    seen.texts.clear();
    for (const Arrival& a : arrivals) {
        fake.Arrive(startMs + a.atMs, a.bytes);
    }
    const int readsBefore = fake.readCalls;
    for (int i = 0; i < windows; ++i) {
        engine.PollReplies();
        seen.windowEnds.push_back(fake.now - startMs);
        seen.positions.push_back(engine.rxCount);
        seen.requests.push_back(engine.requestedBlock);
        fake.now += 5;  // the next tick
    }
    seen.reads = fake.readCalls - readsBefore;
    g_texts = nullptr;
    return seen;
}

struct Case {
    const char* name;
    std::vector<Arrival> arrivals;
    std::uint32_t startMs;
    int windows;
};

class PollWindowWaiting : public testing::TestWithParam<Case> {};

TEST_P(PollWindowWaiting, ParsesTheSameAndEndsAtTheSameMomentsAsASpinningWindow) {
    const Case& c = GetParam();
    const Observed spinning = RunWindows(c.arrivals, false, c.startMs, c.windows);
    const Observed waiting = RunWindows(c.arrivals, true, c.startMs, c.windows);
    // The fake clock steps 1 ms on every reading of it, so the two may differ
    // by the steps of a read or two; a window that waits too long or too
    // little differs by far more.
    ASSERT_EQ(waiting.windowEnds.size(), spinning.windowEnds.size());
    for (std::size_t i = 0; i < waiting.windowEnds.size(); ++i) {
        EXPECT_NEAR(waiting.windowEnds[i], spinning.windowEnds[i], 3) << "window " << i;
    }
    EXPECT_EQ(waiting.positions, spinning.positions);
    EXPECT_EQ(waiting.requests, spinning.requests);
    EXPECT_EQ(waiting.texts, spinning.texts);
    EXPECT_LE(waiting.reads, spinning.reads);
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const std::vector<std::uint8_t> kRequest5 = {0x23, 0x55, 0x44, 0x00, 0x05, 0xFF, 0xFA};

INSTANTIATE_TEST_SUITE_P(
    Engine, PollWindowWaiting,
    testing::Values(
        Case{"FrameBegunThenSilent", {{0, {0x23, 0x55, 0x44}}}, 1000, 3},
        Case{"BytesTricklingIn",
             {{0, {0x23}}, {40, {0x55}}, {90, {0x44, 0x00}}, {250, {0x05, 0xFF}}, {299, {0xFA}}},
             1000,
             2},
        Case{"StatusReplySplitAcrossWindows",
             {{0, {0x23, 0x55}}, {2000, {0x4B, 0x4F, 0x4B}}},
             50,
             3},
        Case{"TwoFramesWaiting", {{0, {0x23, 0x55, 0x4B, 0x4F, 0x4B}}, {0, kRequest5}}, 10, 3},
        Case{"ClockWrapsInsideTheWindow", {{0, {0x23, 0x55}}, {280, {0x44}}}, 0xFFFFFF00u, 2},
        Case{"QuietLine", {}, 0, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EnginePollWindowWaiting, AFrameLeftHangingCostsAFewReadsNotThousands) {
    const Observed waiting = RunWindows({{0, {0x23, 0x55}}}, true, 0, 1);
    EXPECT_GE(waiting.windowEnds.front(), 300u);
    EXPECT_LE(waiting.windowEnds.front(), 303u);
    EXPECT_LE(waiting.reads, 4);
}

}  // namespace
}  // namespace vardel
