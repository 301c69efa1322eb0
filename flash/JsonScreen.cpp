#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <utility>

#include "flash/ScreenParts.h"

namespace vardel::flash {
namespace {

// The time of a JSON line: ISO 8601 in UTC, to the millisecond.
std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    (void)std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

// Every line one JSON object: the port, the event and its fields, the time
// and the version of this schema (fields may be added, never renamed or
// removed within a version).
class JsonScreen : public Screen {
public:
    static constexpr int kSchemaVersion = 1;

    // `user`: the user's standard output, where errors also go to standard
    // error; otherwise a log, whose name `trouble` words are about.
    JsonScreen(std::vector<std::string> ports, ScreenSetup setup, std::ostream& out, bool user,
               std::string name = {})
        : Screen(std::move(ports), std::move(setup)),
          out_(out),
          user_(user),
          name_(std::move(name)) {}
    void Notice(const std::string& text) override {
        Write({{"port", nullptr}, {"event", "notice"}, {"text", text}});
    }
    void Error(const std::string& text) override {
        if (user_) std::cerr << "vardel-flash: " << text << std::endl;
        Write({{"port", nullptr}, {"event", "error"}, {"text", text}});
    }
    std::string TakeTrouble() override { return std::exchange(trouble_, {}); }
    void Summary(const std::vector<UnitResult>& results) override {
        if (IsStation()) {
            for (const auto& slot : state_) {
                Write({{"port", slot.port},
                       {"event", "summary"},
                       {"passed", slot.passed},
                       {"failed", slot.failed}});
            }
            return;
        }
        for (std::size_t i = 0; i < results.size() && i < state_.size(); ++i) {
            Write(Result(state_[i].port, results[i], "summary"));
        }
    }

private:
    void Show(std::size_t unit, const UnitEvent& event, const UnitState& previous) override {
        const UnitState& slot = state_[unit];
        nlohmann::json line = {{"port", slot.port}};
        switch (event.kind) {
        case UnitEvent::Kind::Status:
            line["event"] = "status";
            line["text"] = event.text;
            if (event.error) line["error"] = true;
            break;
        case UnitEvent::Kind::Step:
            line["event"] = "step";
            line["step"] = event.step;
            break;
        case UnitEvent::Kind::Progress:
            if (previous.block && event.percent == previous.percent) return;
            line["event"] = "progress";
            line["percent"] = event.percent;
            if (event.block) line["block"] = *event.block;
            break;
        case UnitEvent::Kind::PortLost:
            line["event"] = "port_lost";
            if (event.block) line["block"] = *event.block;
            break;
        case UnitEvent::Kind::PortBack:
            line["event"] = "port_back";
            break;
        case UnitEvent::Kind::Finished:
            if (IsStation() && slot.inUse) {
                line["event"] = "port_in_use";
                line["reason"] = event.result.reason;
                break;
            }
            line = Result(slot.port, event.result, "result");
            if (IsStation()) {
                line["unit"] = slot.sequence;
                line["passed"] = slot.passed;
                line["failed"] = slot.failed;
            }
            break;
        case UnitEvent::Kind::Appeared:
        case UnitEvent::Kind::Gone:
        case UnitEvent::Kind::Waiting:
            line["event"] = event.kind == UnitEvent::Kind::Appeared ? "slot_added"
                            : event.kind == UnitEvent::Kind::Gone   ? "slot_gone"
                                                                    : "waiting";
            break;
        case UnitEvent::Kind::Start:
            line["event"] = "unit_start";
            line["unit"] = event.sequence;
            break;
        }
        if (!quiet_ || IsBadEnd(event)) Write(line);
    }

    static nlohmann::json Result(const std::string& port, const UnitResult& result,
                                 const char* event) {
        nlohmann::json line = {{"port", port},
                               {"event", event},
                               {"result", OutcomeName(result.outcome)},
                               {"blocks", result.blocks},
                               {"seconds", result.seconds},
                               {"bytes_per_second", result.BytesPerSecond()},
                               {"reconnections", result.reconnections}};
        if (!result.reason.empty()) line["reason"] = result.reason;
        return line;
    }
    // A text that is not valid UTF-8 is shown with U+FFFD, never refused.
    // Flushed at once, so that each line leaves whole.
    void Write(nlohmann::json line) {
        line["v"] = kSchemaVersion;
        line["t"] = UtcNow();
        out_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        out_.flush();
        if (out_.good()) return;
        if (!told_ && !user_) {
            trouble_ = "the log " + name_ + " cannot be written (" + std::strerror(errno) +
                       "); the units go on";
        }
        told_ = true;
        out_.clear();
    }

    std::ostream& out_;
    bool user_;
    std::string name_;
    std::string trouble_;
    bool told_ = false;
};

// The file of --log, opened before the screen that writes to it.
struct LogFile {
    explicit LogFile(const std::string& path)
        : file(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())),
               std::ios::out | std::ios::app | std::ios::binary) {}
    std::ofstream file;
};

class LogScreen final : private LogFile, public JsonScreen {
public:
    LogScreen(const std::string& path, ScreenSetup setup)
        : LogFile(path), JsonScreen({}, std::move(setup), file, false, path) {}
    [[nodiscard]] bool Opened() const { return file.is_open(); }
};

}  // namespace

std::unique_ptr<Screen> MakeJsonScreen(const std::vector<std::string>& ports,
                                       const ScreenSetup& setup) {
    return std::make_unique<JsonScreen>(ports, setup, std::cout, true);
}

std::unique_ptr<Screen> MakeLogScreen(const std::string& path, const ScreenSetup& setup,
                                      std::string& error) {
    auto log = std::make_unique<LogScreen>(path, setup);
    if (log->Opened()) return log;
    error = path + ": " + std::strerror(errno);
    return nullptr;
}

}  // namespace vardel::flash
