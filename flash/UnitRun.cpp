#include "flash/UnitRun.h"

#include <optional>

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

// The engine's callbacks carry no unit, and each unit runs on a thread of its
// own: the thread's unit is found here.
class Reporter;
thread_local Reporter* t_reporter = nullptr;

class Reporter {
public:
    Reporter(std::size_t unit, Display& display, UnitPlatform& platform)
        : unit_(unit), display_(display), platform_(platform) {
        t_reporter = this;
    }
    ~Reporter() { t_reporter = nullptr; }
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    static int OnMessage(const char16_t* text, std::uint32_t /*context*/) {
        if (t_reporter != nullptr) t_reporter->Text(text);
        return 1;
    }
    static int OnProgress(int percent) {
        if (t_reporter != nullptr) t_reporter->Percent(percent);
        return 1;
    }
    void Step(int step) {
        UnitEvent event;
        event.kind = UnitEvent::Kind::Step;
        event.step = step;
        display_.Report(unit_, event);
    }
    [[nodiscard]] std::u16string_view LastText() const { return lastText_; }
    void Finish(const UnitResult& result) {
        UnitEvent event;
        event.kind = UnitEvent::Kind::Finished;
        event.result = result;
        display_.Report(unit_, event);
    }

private:
    void Text(const char16_t* text) {
        lastText_ = text;
        UnitEvent event;
        event.kind = UnitEvent::Kind::Status;
        event.text = ConsoleText(text);
        display_.Report(unit_, event);
    }
    // A data frame's percentage comes just before the frame goes out, for
    // the block asked for last; the completion's 100 has no block.
    void Percent(int percent) {
        UnitEvent event;
        event.kind = UnitEvent::Kind::Progress;
        event.percent = percent;
        if (const auto block = platform_.LastRequest(); block && *block < wire::kCompletionBlock) {
            event.block = block;
        }
        display_.Report(unit_, event);
    }

    std::size_t unit_;
    Display& display_;
    UnitPlatform& platform_;
    std::u16string_view lastText_;
};

class Unit {
public:
    Unit(const UnitSetup& setup, Display& display)
        : setup_(setup),
          platform_(MakePlatform(setup.device), setup.firmware->bytes),
          engine_(platform_),
          reporter_(setup.index, display, platform_) {
        engine_.SetMessageCallback(Reporter::OnMessage, 0);
        engine_.SetProgressCallback(Reporter::OnProgress);
    }

    UnitResult Run(const std::atomic<bool>& stop) {
        UnitResult result = Drive(stop);
        result.blocks = platform_.DataFramesSent();
        result.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        reporter_.Finish(result);
        return result;
    }

private:
    UnitResult Drive(const std::atomic<bool>& stop) {
        Tick();
        if (engine_.GetStep() != STEP_READY) {
            const bool settingsRefused = reporter_.LastText() == texts::kPortConfigFailed;
            return Failed(settingsRefused ? "cannot set the port: " + SettingsRefusal(setup_.device)
                                          : "cannot open the port: " + PortRefusal(setup_.device));
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
            if (Silent()) {
                return Failed("no request from the MCU for " +
                              std::to_string(setup_.timeout.count()) + " s at " + Where());
            }
            platform_.WaitSerialReadable(engine_.port, kTickPeriodMs);
            Tick();
        }
        if (setup_.reset && engine_.SendReset() != 1) {
            return Failed("the upgrade completed, but the reset frame was not written");
        }
        return {Outcome::Completed, {}};
    }

    void Tick() {
        engine_.Tick();
        if (const int step = engine_.GetStep(); step != step_) {
            step_ = step;
            reporter_.Step(step);
        }
    }

    [[nodiscard]] bool Silent() const {
        const auto heard = platform_.LastHeard();
        return heard && Clock::now() - *heard > setup_.timeout;
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
};

}  // namespace

UnitResult RunUnit(const UnitSetup& setup, Display& display, const std::atomic<bool>& stop) {
    Unit unit(setup, display);
    return unit.Run(stop);
}

}  // namespace vardel::flash
