// The simulated MCU's own tests: what the end-to-end runs cannot show. They
// show that the two sides agree on every byte; these show that the MCU would
// notice a host that does not (the engine on the Linux platform with its
// writes spoilt on the way), that the tool's exit code says so, and that the
// awkward extras the fault matrix asks for are really in a session's plan.
#include <poll.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <ostream>
#include <string>

#include "sim/DemoImage.h"
#include "sim/SessionPlan.h"
#include "tests/e2e/E2eHarness.h"

// A row names only the simulator's options it changes; GCC would have every
// member of a designated initializer named.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vardel::test {
namespace {

namespace fs = std::filesystem;

// The blocks are asked for in order: data frame n answers block n. A data
// frame is "#UD", 64 bytes of data, the sum and the xor.
constexpr std::size_t kBlock3 = 3;
constexpr std::size_t kSum = 67;
constexpr std::size_t kXor = 68;

// The data moved round by one byte, when `yes`: the sum and the xor still fit.
void TurnIf(bool yes, Bytes& frame) {
    if (yes) std::rotate(frame.begin() + 3, frame.begin() + 4, frame.begin() + kSum);
}

enum class Host { None, Plays, NoReset, AnswersRefusals };
enum class AtTheLink { Nothing, AnEarlierLink, AFile };

struct Session {
    const char* name;
    const char* flags;
    int exitCode;
    Host host = Host::Plays;
    const char* fault = "";  // what the MCU notes, if anything
    void (*spoil)(Bytes& frame, std::size_t index) = nullptr;
    AtTheLink before = AtTheLink::Nothing;
};

void PrintTo(const Session& row, std::ostream* out) { *out << row.name; }

const Session kSessions[] = {
    {"APlainSessionReplacesAnEarlierLink", "--order shuffle --noise=2", 0, Host::Plays, "", nullptr,
     AtTheLink::AnEarlierLink},
    {"AFlagItDoesNotKnow", "--order sideways", 1, Host::None},
    {"APathThatIsNoLinkIsLeftAlone", "", 1, Host::None, "", nullptr, AtTheLink::AFile},
    {"NoHost", "--max-seconds 1", 2, Host::None},
    {"WrongDataEveryTime", "--retries 1", 3, Host::Plays, "fault: wrong data, block 3",
     [](Bytes& f, std::size_t i) { TurnIf(i >= kBlock3, f); }},
    {"NoResetFrame", "--reset-timeout 100", 4, Host::NoReset},
    {"ABadSumOnce", "", 5, Host::Plays, "fault: bad sum, block 3",
     [](Bytes& f, std::size_t i) { f[kSum] ^= i == kBlock3 ? 1 : 0; }},
    {"ABadXorOnce", "", 5, Host::Plays, "fault: bad xor, block 3",
     [](Bytes& f, std::size_t i) { f[kXor] ^= i == kBlock3 ? 1 : 0; }},
    {"WrongDataOnce", "", 5, Host::Plays, "fault: wrong data, block 3",
     [](Bytes& f, std::size_t i) { TurnIf(i == kBlock3, f); }},
    {"StrayBytesBeforeAFrame", "", 5, Host::Plays, "fault: unexpected bytes",
     [](Bytes& f, std::size_t i) { f.insert(f.begin(), i == kBlock3 ? 2 : 0, '-'); }},
    {"AnswersToRequestsBeyondTheImage", "--beyond 3", 5, Host::AnswersRefusals,
     "fault: answered a request that had to be refused"},
};

// The engine as the host, until the upgrade is done or the tool has ended.
void PlayHost(const Session& row, const Bytes& image, const std::string& link, FILE* tool) {
    UpgradeRun run({}, image, link);
    run.platform.spoil = row.spoil;
    pollfd toolOut{fileno(tool), POLLIN, 0};
    std::size_t answered = 0;
    run.TickUntil(
        [&] {
            const auto refused = static_cast<std::size_t>(
                std::count(run.texts.begin(), run.texts.end(), u"MCU请求数据出错!"));
            for (; row.host == Host::AnswersRefusals && answered < refused; ++answered) {
                run.engine.SendBlock(0);
            }
            return run.engine.GetStep() == STEP_DONE || ::poll(&toolOut, 1, 0) > 0;
        },
        20s, true);
    if (row.host != Host::NoReset) run.engine.SendReset();
}

class McuSimTest : public testing::TestWithParam<Session> {};

TEST_P(McuSimTest, EndsWithTheExitCodeOfWhatItSaw) {
    const Session& row = GetParam();
    const TempDir dir;
    const Bytes image = MakeImage(1030, 7);
    WriteFile(dir.Path() / "image.bin", image);
    const std::string link = dir.Path() / "ttyS3";
    if (row.before == AtTheLink::AnEarlierLink) fs::create_symlink("/dev/vardel-gone", link);
    if (row.before == AtTheLink::AFile) WriteFile(link, {1});
    // The time limit ends the tool even if this test dies on the way.
    const std::string command = std::string(VARDEL_MCU_SIM) + " --ready --max-seconds 30 --image " +
                                (dir.Path() / "image.bin").string() + " --link " + link + " " +
                                row.flags + " 2>" + (dir.Path() / "notes").string();
    FILE* tool = ::popen(command.c_str(), "r");
    ASSERT_NE(tool, nullptr);
    char line[256] = {};
    while (std::fgets(line, sizeof line, tool) != nullptr) {
        if (std::string(line).starts_with("ready ") && row.host != Host::None) {
            PlayHost(row, image, link, tool);
        }
    }
    const int status = ::pclose(tool);
    std::ifstream file(dir.Path() / "notes");
    const std::string notes{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.exitCode) << notes;
    EXPECT_NE(notes.find(row.fault), std::string::npos) << notes;
    EXPECT_EQ(fs::exists(fs::symlink_status(link)), row.before == AtTheLink::AFile)
        << "the link goes with the tool; a file stays";
}

INSTANTIATE_TEST_SUITE_P(McuSim, McuSimTest, testing::ValuesIn(kSessions),
                         [](const auto& info) { return std::string(info.param.name); });

// The fault matrix is only as good as the extras it asks for are really in
// the session's plan.
std::size_t Steps(const sim::Options& options,
                  const std::function<bool(const sim::Step&)>& counted) {
    const auto plan = sim::MakePlan(options, 40);
    return static_cast<std::size_t>(std::count_if(plan.begin(), plan.end(), counted));
}

std::vector<std::uint16_t> AskedBlocks(const sim::Options& options) {
    std::vector<std::uint16_t> blocks;
    for (const sim::Step& step : sim::MakePlan(options, 40)) {
        if (step.kind != sim::StepKind::Ask) continue;
        blocks.insert(blocks.end(), step.blocks.begin(), step.blocks.end());
    }
    return blocks;
}

TEST(SessionPlan, HoldsEveryExtraAskedFor) {
    using sim::Step;
    EXPECT_EQ(
        Steps({.noiseBursts = 12},
              [](const Step& s) { return s.chunks.front().bytes.front() != sim::kFrameMark; }),
        12u);
    EXPECT_EQ(Steps({.splitRequests = 3, .splitPause = 777ms},
                    [](const Step& s) { return s.chunks.back().pauseBefore == 777ms; }),
              3u);
    EXPECT_EQ(
        Steps({.backToBack = 6},
              [](const Step& s) { return s.kind == sim::StepKind::Ask && s.chunks.size() == 2; }),
        6u);
    EXPECT_GT(AskedBlocks({.order = sim::BlockOrder::Repeated}).size(), 40u);
    std::vector<std::uint16_t> inOrder(40);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    EXPECT_NE(AskedBlocks({.order = sim::BlockOrder::Shuffled}), inOrder);
}

// Every demo, the benchmark and the Windows tests flash this image: its bytes
// never change, whoever writes it.
TEST(DemoImage, IsTheSameBytesFromTheToolAndTheLibrary) {
    const TempDir dir;
    const std::string a = dir.Path() / "KD51A.BIN";
    const std::string b = dir.Path() / "MTK51A.BIN";
    const std::string command =
        std::string(VARDEL_MCU_SIM) + " --write-demo-image " + a + " --write-demo-image " + b;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Bytes image = sim::DemoImage();
    for (const std::string& path : {a, b}) {
        std::ifstream file(path, std::ios::binary);
        EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(file), {}), image) << path;
    }
    ASSERT_EQ(image.size(), 28'672u);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 6), (Bytes{0x41, 0x6E, 0xD6, 0xBF, 0xA7, 0xD9}));
    EXPECT_EQ(std::accumulate(image.begin(), image.end(), 0L), 3'648'164L);
    EXPECT_EQ(sim::DemoImage(1024), Bytes(image.begin(), image.begin() + 1024));
}

}  // namespace
}  // namespace vardel::test
