#include "tests/e2e/E2eHarness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace vardel::e2e {

namespace {

std::vector<std::u16string> g_texts;

// Totals over every run of this process, printed at the end so that a report
// can count what was verified.
struct Totals {
    std::size_t completed = 0;
    std::size_t bytesVerified = 0;
    std::size_t corrupted = 0;
};
Totals g_totals;

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

void Count(const sim::Verdict& verdict) {
    if (!verdict.completionSent) {
        return;
    }
    if (verdict.identical) {
        ++g_totals.completed;
        g_totals.bytesVerified += verdict.bytes;
    } else {
        ++g_totals.corrupted;
    }
}

int RecordText(const char16_t* text, std::uint32_t /*context*/) {
    g_texts.emplace_back(text);
    return 1;
}

std::filesystem::path MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vardel-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

sim::PseudoTerminal OpenPty() {
    std::string error;
    auto pty = sim::PseudoTerminal::Open(error);
    if (!pty) {
        (void)std::fprintf(stderr, "no pseudo-terminal: %s\n", error.c_str());
        std::abort();
    }
    return std::move(*pty);
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::u16string ProgramPathIn(const std::filesystem::path& folder) {
    const std::string path = (folder / "vardel").string();  // plain ASCII
    return {path.begin(), path.end()};
}

}  // namespace

std::vector<std::uint8_t> MakeImage(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(size);
    for (auto& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    return image;
}

UpgradeRun::UpgradeRun(const sim::Options& options, const std::vector<std::uint8_t>& image)
    : UpgradeRun(options, image, Setup{}) {}

UpgradeRun::UpgradeRun(const sim::Options& options, const std::vector<std::uint8_t>& image,
                       const Setup& setup)
    : folder_(MakeFolder()),
      pty_(OpenPty()),
      posix_(setup.device.empty() ? pty_.SlavePath() : setup.device),
      platform_(posix_, ProgramPathIn(folder_)),
      engine_(platform_),
      mcu_(options, image) {
    if (setup.writeFirmware) {
        WriteFirmware(image);
    }
    g_texts.clear();
    engine_.SetMessageCallback(RecordText, 0);
    session_ = std::thread([this] { mcu_.Run(pty_.Master()); });
}

UpgradeRun::~UpgradeRun() {
    mcu_.Stop();
    if (session_.joinable()) {
        session_.join();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

const std::vector<std::u16string>& UpgradeRun::Texts() const { return g_texts; }

int UpgradeRun::RunToDone(std::chrono::milliseconds limit) {
    AdvanceTo(STEP_DONE, limit);
    return engine_.GetStep();
}

bool UpgradeRun::AdvanceTo(int step, std::chrono::milliseconds limit,
                           const std::function<bool()>& also) {
    bool pressed = false;
    return TickUntil(
        [&] {
            if (engine_.GetStep() == STEP_READY && !pressed) {
                pressed = engine_.RequestStart() == 1;
            }
            return engine_.GetStep() >= step && also();
        },
        limit);
}

bool UpgradeRun::TickUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kTickPeriod = std::chrono::milliseconds(5);
    const auto start = Clock::now();
    auto next = start;
    bool reached = false;
    while (!reached && Clock::now() - start < limit) {
        const auto tickStart = Clock::now();
        engine_.Tick();
        const auto tickTime =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tickStart);
        longestTick_ = std::max(longestTick_, tickTime);
        ++ticks_;
        const int step = engine_.GetStep();
        if (steps_.empty() || steps_.back() != step) {
            steps_.push_back(step);
        }
        if (everyTick) {
            everyTick(*this);
        }
        reached = done();
        // Like the window's timer: ticks never pile up after a long one.
        next = std::max(next + kTickPeriod, Clock::now());
        if (!reached) {
            std::this_thread::sleep_until(next);
        }
    }
    elapsed_ += std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return reached;
}

bool UpgradeRun::Reported(std::u16string_view text) const {
    return std::find(g_texts.begin(), g_texts.end(), text) != g_texts.end();
}

bool UpgradeRun::PrintedLineStarting(std::u16string_view start) const {
    const auto& lines = platform_.DebugLines();
    return std::any_of(lines.begin(), lines.end(),
                       [start](const std::u16string& line) { return line.starts_with(start); });
}

void UpgradeRun::WriteFirmware(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    if (!name.empty()) {
        WriteFile(folder_ / name, bytes);
        return;
    }
    for (const char* file : {"KD51A.BIN", "MTK51A.BIN"}) {
        WriteFile(folder_ / file, bytes);
    }
}

void UpgradeRun::HangUp() {
    mcu_.Stop();
    if (session_.joinable()) {
        session_.join();
    }
    // The master side is closed by putting /dev/null in its place: the slave
    // then sees a hang-up, and the descriptor number stays the pty's to close.
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    dup2(nothing, pty_.Master());
    close(nothing);
}

sim::Verdict UpgradeRun::FinishWithReset() {
    engine_.SendReset();
    if (session_.joinable()) {
        session_.join();
    }
    sim::Verdict verdict = mcu_.Result();
    Count(verdict);
    return verdict;
}

sim::Verdict UpgradeRun::Abandon() {
    mcu_.Stop();
    if (session_.joinable()) {
        session_.join();
    }
    return mcu_.Result();
}

}  // namespace vardel::e2e
