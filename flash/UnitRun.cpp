#include "flash/UnitRun.h"

#include <optional>
#include <string_view>

#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"
#include "engine/WireProtocol.h"
#include "flash/UnitPlatform.h"
#include "platform/Console.h"

namespace vardel::flash {
namespace {

using Clock = std::chrono::steady_clock;

// Never slower than the dialog's timer; sooner when the MCU has sent a byte.
constexpr std::uint32_t kTickPeriodMs = 5;
// A write may wait this long for the line beyond its bytes' own time: long
// enough for any adapter that still works, short enough that a stop request
// is answered within a second.
constexpr std::uint32_t kWriteMarginMs = 500;

// The engine's callbacks carry no unit, and each unit runs on a thread of its
// own: the thread's unit is found here.
class Reporter;
thread_local Reporter* t_reporter = nullptr;

// The MCU's own reports of a failure: shown even with --quiet.
bool IsMcuError(std::u16string_view text) {
    return text == texts::kChipEncrypted || text == texts::kEraseFailed;
}

class Reporter {
public:
    Reporter(std::size_t unit, Display& display) : unit_(unit), display_(display) {
        t_reporter = this;
    }
    ~Reporter() { t_reporter = nullptr; }
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    static int OnMessage(const char16_t* text, std::uint32_t /*context*/) {
        if (t_reporter != nullptr) t_reporter->Text(text);
        return 1;
    }
    void Step(int step) {
        UnitEvent event;
        event.kind = UnitEvent::Kind::Step;
        event.step = step;
        Report(event);
    }
    void Progress(int percent, std::optional<std::uint32_t> block) {
        UnitEvent event;
        event.kind = UnitEvent::Kind::Progress;
        event.percent = percent;
        event.block = block;
        Report(event);
    }
    void Port(UnitEvent::Kind kind, std::optional<std::uint32_t> block) {
        UnitEvent event;
        event.kind = kind;
        event.block = block;
        Report(event);
    }
    [[nodiscard]] std::u16string_view LastText() const { return lastText_; }
    void Finish(const UnitResult& result) {
        UnitEvent event;
        event.kind = UnitEvent::Kind::Finished;
        event.result = result;
        Report(event);
    }

private:
    void Text(const char16_t* text) {
        lastText_ = text;
        UnitEvent event;
        event.kind = UnitEvent::Kind::Status;
        event.text = ConsoleText(text);
        event.error = IsMcuError(text);
        Report(event);
    }
    void Report(const UnitEvent& event) { display_.Report(unit_, event); }

    std::size_t unit_;
    Display& display_;
    std::u16string_view lastText_;
};

class Unit {
public:
    Unit(const UnitSetup& setup, Display& display)
        : setup_(setup),
          platform_(MakePlatform(setup.device, {kWriteMarginMs, true}), setup.firmware->bytes),
          engine_(platform_),
          reporter_(setup.index, display) {
        engine_.SetMessageCallback(Reporter::OnMessage, 0);
        if (setup.tap) platform_.TapLine(setup.tap);
    }

    UnitResult Run(const std::atomic<bool>& stop) {
        UnitResult result = Drive(stop);
        result.blocks = platform_.DataFramesSent();
        result.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        result.reconnections = platform_.Reconnections();
        reporter_.Finish(result);
        return result;
    }

private:
    UnitResult Drive(const std::atomic<bool>& stop) {
        Tick();
        if (engine_.GetStep() != STEP_READY) {
            const bool settingsRefused = reporter_.LastText() == texts::kPortConfigFailed;
            const Refusal refusal = platform_.LastRefusal();
            if (settingsRefused) return Failed("cannot set the port: " + SettingsRefusal(refusal));
            UnitResult refused =
                Failed("cannot open the port: " + PortRefusal(setup_.device, refusal));
            refused.portInUse = PortInUse(refusal);
            return refused;
        }
        if (setup_.checkOnly) {
            return {Outcome::Ready, "opened and set to 38,400 baud 8N1"};
        }
        engine_.RequestStart();
        Tick();
        if (engine_.GetStep() != STEP_HANDSHAKE) {
            return Failed("the upgrade did not start: " + ConsoleText(reporter_.LastText()));
        }
        while (engine_.GetStep() != STEP_DONE) {
            if (stop.load()) {
                return {Outcome::Stopped, "at " + Where() + "; the unit needs a new upgrade"};
            }
            if (auto reason = Stuck()) return Failed(std::move(*reason));
            platform_.WaitSerialReadable(engine_.port, kTickPeriodMs);
            Tick();
        }
        if (setup_.reset && engine_.SendReset() != 1) {
            return Failed("the upgrade completed, but the reset frame was not written");
        }
        return {Outcome::Completed, {}};
    }

    // Why the unit cannot go on, if it cannot: a line that takes no bytes, a
    // port gone for longer than the time-out, or no progress for that long.
    [[nodiscard]] std::optional<std::string> Stuck() const {
        const auto now = Clock::now();
        const std::string seconds = std::to_string(setup_.timeout.count()) + " s";
        if (platform_.SerialFault(engine_.port) == LineFault::Stalled) {
            return "the port stopped taking data" + AtBlock();
        }
        if (const auto gone = platform_.GoneSince()) {
            if (now - *gone <= setup_.timeout) return std::nullopt;
            return "the port went away" + AtBlock() + " and did not come back within " + seconds;
        }
        const auto moved = platform_.LastProgress();
        if (!moved || now - *moved <= setup_.timeout) return std::nullopt;
        const auto heard = platform_.LastHeard();
        const auto asked = platform_.LastRequest();
        if (heard && now - *heard <= setup_.timeout && asked &&
            *asked >= setup_.firmware->Blocks() && *asked < wire::kCompletionBlock) {
            return "the MCU keeps asking for block " + std::to_string(*asked) +
                   ", which the file does not hold";
        }
        return "no request from the MCU for " + seconds + " at " + Where();
    }

    void Tick() {
        engine_.Tick();
        if (const int step = engine_.GetStep(); step != step_) {
            step_ = step;
            reporter_.Step(step);
        }
        if (const auto served = platform_.LastServed();
            served != served_ || platform_.ServedPercent() != percent_) {
            served_ = served;
            percent_ = platform_.ServedPercent();
            reporter_.Progress(percent_, served_);
        }
        if (const bool gone = platform_.GoneSince().has_value(); gone != gone_) {
            gone_ = gone;
            reporter_.Port(gone ? UnitEvent::Kind::PortLost : UnitEvent::Kind::PortBack, Asked());
        }
    }

    // The block the MCU asked for last, short of the completion.
    [[nodiscard]] std::optional<std::uint32_t> Asked() const {
        const auto block = platform_.LastRequest();
        return block && *block < wire::kCompletionBlock ? block : std::nullopt;
    }
    [[nodiscard]] std::string AtBlock() const {
        const auto block = Asked();
        return block ? " at block " + std::to_string(*block) : " before the first block";
    }

    [[nodiscard]] std::string Where() const {
        std::string where = "Step = " + std::to_string(engine_.GetStep());
        const auto block = platform_.LastServed();
        if (!block) return where + ", no block served yet";
        return where + ", last block served " + std::to_string(*block);
    }

    [[nodiscard]] UnitResult Failed(std::string reason) const {
        return {Outcome::Failed, std::move(reason)};
    }

    const UnitSetup& setup_;
    Clock::time_point start_ = Clock::now();
    UnitPlatform platform_;
    UpgradeEngine engine_;
    Reporter reporter_;
    int step_ = STEP_CLOSED;
    std::optional<std::uint32_t> served_;
    int percent_ = 0;
    bool gone_ = false;
};

}  // namespace

UnitResult RunUnit(const UnitSetup& setup, Display& display, const std::atomic<bool>& stop) {
    Unit unit(setup, display);
    return unit.Run(stop);
}

}  // namespace vardel::flash
