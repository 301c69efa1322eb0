#include "bench/ProgramRuns.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>

#include "bench/InstantHost.h"
#include "bench/Interruption.h"
#include "bench/SessionEvents.h"
#include "sim/DemoImage.h"
#include "sim/Line.h"
#include "sim/Scenario.h"
#include "sim/SimulatedMcu.h"

namespace vardel::bench {

namespace {

using std::chrono::milliseconds;

// The dialog program's two, and the one vardel-flash is given.
constexpr const char* kFlashFirmware = "vardel-flash.bin";
const char* const kFirmwareFiles[] = {"KD51A.BIN", "MTK51A.BIN", kFlashFirmware};
constexpr int kExitCompleted = 0;  // vardel-flash: every unit completed

// What the program prints (its labels, through the demo companion).
constexpr std::string_view kStepLine = "step: Step = ";
constexpr std::string_view kTransferStep = "step: Step = 2";
constexpr std::string_view kReadyStep = "step: Step = 1";
constexpr std::string_view kPortOpened = "status: 串口打开成功!";
constexpr std::string_view kPortOpenFailed = "status: 串口打开失败!";
constexpr std::string_view kMtkFileMissing = "status: 打开MTK升级文件MTK51A.BIN失败!";
constexpr std::string_view kQ9FileMissing = "status: 打开Q9升级文件KD51A.BIN失败!";

// Bounds on every wait.
constexpr milliseconds kStartLimit{20'000};    // until the program shows the state wanted
constexpr milliseconds kUnpacedLimit{60'000};  // a whole upgrade without pacing
constexpr milliseconds kEndGrace{3'000};       // to close after SIGTERM
constexpr milliseconds kSessionGrace{3'000};   // for the simulator to take the reset frame
// After the MCU has fallen silent: time for the program to take the half
// request and begin waiting for the rest.
constexpr milliseconds kSilenceSettle{500};
constexpr std::size_t kIdleImageSize = 1024;  // the smallest file the program loads

milliseconds LineTime(std::size_t imageBytes) {
    const std::size_t blocks = imageBytes / sim::kBlockSize;
    const auto bytes = static_cast<long>(blocks * (sim::kRequestLength + sim::kDataFrameLength));
    return std::chrono::ceil<milliseconds>(sim::kByteTime * bytes);
}

std::string Seconds(milliseconds time) { return std::to_string(time.count() / 1000) + " s"; }

// The MCU's end at `device`, its session under way with the options `tune` sets.
bool StartMcu(sim::SimulatedMcu& mcu, const std::string& device, sim::Bytes image,
              std::string& error, const std::function<void(sim::Options&)>& tune) {
    if (!mcu.Open(error, device)) {
        return false;
    }
    sim::Options options;
    tune(options);
    mcu.Start(std::move(options), std::move(image));
    return true;
}

sim::Verdict FinishMcu(sim::SimulatedMcu& mcu) { return mcu.Finish(kSessionGrace, Interrupted); }

}  // namespace

std::optional<UpgradeRun> ProgramRuns::Upgrade(Host host, std::size_t units, std::size_t imageBytes,
                                               bool lineRate, std::string& error,
                                               const BenchExtras& extras) {
    const sim::Bytes image = sim::DemoImage(imageBytes);
    // Outlives the simulators, which tell it of their sessions.
    SessionEvents events(units);
    std::vector<std::unique_ptr<sim::SimulatedMcu>> mcus;
    std::vector<std::string> devices;
    if (!WriteFirmware(image, error)) {
        return std::nullopt;
    }
    for (std::size_t unit = 0; unit < units; ++unit) {
        devices.push_back(DeviceOf(host, unit));
        mcus.push_back(std::make_unique<sim::SimulatedMcu>());
        if (!StartMcu(*mcus.back(), devices.back(), image, error, [&](sim::Options& options) {
                options.lineRate = lineRate;
                options.adapterLatency = extras.adapterLatency;
                options.onNote = events.Listener();
            })) {
            return std::nullopt;
        }
    }

    ChildProgram program;
    if (!(host == Host::Dialog ? Launch(program, error)
                               : LaunchFlash(program, devices, extras.trace, error))) {
        return std::nullopt;
    }
    events.Follow(program.Pid());
    const milliseconds limit =
        lineRate ? kStartLimit + 2 * LineTime(imageBytes) +
                       static_cast<long>(imageBytes / sim::kBlockSize) * extras.adapterLatency
                 : kUnpacedLimit;
    const bool ended = program.AwaitExit(Clock::now() + limit);
    program.End(kEndGrace);
    if (host == Host::Dialog) {
        Record(program);
    }
    UpgradeRun run{{}, events.Transfer(), program.PeakResidentKib(), events.StartSpread()};
    for (const auto& mcu : mcus) {
        run.verdicts.push_back(FinishMcu(*mcu));
    }
    if (!ended) {
        error = Trouble(program, "the upgrade did not end within " + Seconds(limit), host);
        return std::nullopt;
    }
    for (std::size_t unit = 0; unit < units; ++unit) {
        if (!run.verdicts[unit].Passed()) {
            error = Trouble(program, devices[unit] + ": " + run.verdicts[unit].Text(), host);
            return std::nullopt;
        }
    }
    const int status = program.WaitStatus();
    if (host == Host::Flash && (!WIFEXITED(status) || WEXITSTATUS(status) != kExitCompleted)) {
        error = Trouble(program, "vardel-flash did not exit with 0", host);
        return std::nullopt;
    }
    return run;
}

std::optional<sim::Verdict> ProgramRuns::InstantUpgrade(std::size_t imageBytes,
                                                        std::string& error) {
    const sim::Bytes image = sim::DemoImage(imageBytes);
    sim::SimulatedMcu mcu;
    if (!StartMcu(mcu, setup_.device, image, error,
                  [](sim::Options& options) { options.lineRate = true; })) {
        return std::nullopt;
    }
    const auto deadline = Clock::now() + kStartLimit + 2 * LineTime(imageBytes);
    const bool played = PlayInstantHost(setup_.device, image, deadline, error);
    sim::Verdict verdict = FinishMcu(mcu);
    if (!played) {
        return std::nullopt;
    }
    if (!verdict.Passed()) {
        error = "against the instant host: " + verdict.Text();
        return std::nullopt;
    }
    return verdict;
}

std::optional<CpuShare> ProgramRuns::IdleAtReady(milliseconds window, std::string& error) {
    RemoveFirmware();
    sim::SimulatedMcu mcu;
    // The enter-upgrade frame never comes.
    if (!StartMcu(mcu, setup_.device, sim::DemoImage(kIdleImageSize), error,
                  [](sim::Options& options) { options.handshakeTimeout = milliseconds{0}; })) {
        return std::nullopt;
    }
    return MeasureProgram(
        window,
        [](ChildProgram& program) {
            return program.AwaitLine({kMtkFileMissing, kQ9FileMissing}, Clock::now() + kStartLimit);
        },
        "the start press never failed to load the firmware file",
        [](const ChildProgram& program) {
            return !program.Saw(kTransferStep) && program.Saw(kReadyStep);
        },
        "the step did not stay at 1", error);
}

std::optional<CpuShare> ProgramRuns::PortNeverOpens(milliseconds window, std::string& error) {
    if (!ClearDevicePath(error)) {
        return std::nullopt;
    }
    return PortStaysClosed(window, error);
}

// The benchmark itself is the other process: it opens the device without a
// lock, as a GPS reader or a terminal program would.
std::optional<CpuShare> ProgramRuns::PortHeldByAnother(milliseconds window, std::string& error) {
    sim::SimulatedMcu mcu;
    if (!mcu.Open(error, setup_.device)) {
        return std::nullopt;
    }
    const sim::UniqueFd holder(open(setup_.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!holder.Valid()) {
        error = "could not open " + setup_.device;
        return std::nullopt;
    }
    return PortStaysClosed(window, error);
}

std::optional<CpuShare> ProgramRuns::PortStaysClosed(milliseconds window, std::string& error) {
    return MeasureProgram(
        window,
        [](ChildProgram& program) {
            return program.AwaitLine({kPortOpenFailed}, Clock::now() + kStartLimit);
        },
        "the program never reported the port failing to open",
        [](const ChildProgram& program) { return !program.Saw(kPortOpened); },
        "the port opened after all", error);
}

std::optional<CpuShare> ProgramRuns::SilentMidFrame(milliseconds window, std::string& error) {
    const sim::Bytes image = sim::DemoImage(kIdleImageSize * 4);
    SessionEvents events(1);  // outlives the simulator, which tells it of the session
    sim::SimulatedMcu mcu;
    const auto silentMidFrame = [&events](sim::Options& options) {
        options.silence = sim::Silence::MidFrame;
        options.silenceAfterBlocks = kBlocksBeforeSilence;
        options.onNote = events.Listener();
    };
    if (!WriteFirmware(image, error) ||
        !StartMcu(mcu, setup_.device, image, error, silentMidFrame)) {
        return std::nullopt;
    }
    return MeasureProgram(
        window,
        [&events](ChildProgram& program) {
            return program.AwaitCondition([&events] { return events.FellSilent(); },
                                          Clock::now() + kStartLimit) &&
                   program.Watch(Clock::now() + kSilenceSettle);
        },
        "the MCU never fell silent with the program running",
        [](const ChildProgram&) { return true; }, "", error);
}

// Starts the dialog program, waits for the state wanted, measures its CPU
// use there and ends it; the state must still hold after the window.
std::optional<CpuShare> ProgramRuns::MeasureProgram(
    milliseconds window, const std::function<bool(ChildProgram&)>& reach,
    const std::string& neverReached, const std::function<bool(const ChildProgram&)>& held,
    const std::string& notHeld, std::string& error) {
    ChildProgram program;
    if (!Launch(program, error)) {
        return std::nullopt;
    }
    if (!reach(program)) {
        error = Trouble(program, neverReached);
        return std::nullopt;
    }
    auto share = Measure(program, window, error);
    if (share && !held(program)) {
        error = Trouble(program, notHeld);
        share.reset();
    }
    program.End(kEndGrace);
    Record(program);
    return share;
}

bool ProgramRuns::Launch(ChildProgram& program, std::string& error) const {
    const std::string picture = setup_.folder + "/vardel-bench.png";
    return program.Start(setup_.program, {picture}, setup_.folder + "/vardel-bench.stderr", error);
}

// Its output piped to the benchmark: the plain lines a script would read.
bool ProgramRuns::LaunchFlash(ChildProgram& program, const std::vector<std::string>& devices,
                              bool trace, std::string& error) const {
    std::vector<std::string> arguments;
    if (trace) {
        arguments.insert(arguments.end(), {"--trace", setup_.folder + "/vardel-flash.trace"});
    }
    for (const std::string& device : devices) {
        arguments.insert(arguments.end(), {"--port", device});
    }
    arguments.push_back(setup_.folder + "/" + kFlashFirmware);
    return program.Start(setup_.flash, arguments, setup_.folder + "/vardel-flash.stderr", error);
}

std::string ProgramRuns::DeviceOf(Host host, std::size_t unit) const {
    return host == Host::Dialog ? setup_.device
                                : setup_.folder + "/unit" + std::to_string(unit + 1);
}

void ProgramRuns::Record(const ChildProgram& program) {
    ++starts_.runs;
    if (const auto firstTick = program.FirstLineAt(kStepLine)) {
        starts_.firstTickMs.push_back(
            std::chrono::duration<double, std::milli>(*firstTick - program.StartedAt()).count());
    }
    starts_.peakKib = std::max(starts_.peakKib, program.PeakResidentKib().value_or(0));
}

std::optional<CpuShare> ProgramRuns::Measure(ChildProgram& program, milliseconds window,
                                             std::string& error) const {
    const auto from = ReadCpu(program.Pid());
    const bool running = program.Watch(Clock::now() + window);
    const auto to = ReadCpu(program.Pid());
    if (!from || !to || !running) {
        error =
            Trouble(program, Interrupted() ? "interrupted" : "the program ended while measured");
        return std::nullopt;
    }
    return ShareBetween(*from, *to);
}

bool ProgramRuns::WriteFirmware(const sim::Bytes& image, std::string& error) const {
    for (const char* name : kFirmwareFiles) {
        const std::string path = setup_.folder + "/" + name;
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        if (!file.flush()) {
            error = "could not write " + path;
            return false;
        }
    }
    return true;
}

void ProgramRuns::RemoveFirmware() const {
    for (const char* name : kFirmwareFiles) {
        unlink((setup_.folder + "/" + name).c_str());
    }
}

// A link left there by a run that was killed goes; anything else is not ours.
bool ProgramRuns::ClearDevicePath(std::string& error) const {
    struct stat existing {};
    if (lstat(setup_.device.c_str(), &existing) != 0) {
        return true;
    }
    if (S_ISLNK(existing.st_mode) && unlink(setup_.device.c_str()) == 0) {
        return true;
    }
    error = setup_.device + " exists and is not a link the benchmark can remove";
    return false;
}

// The complaint for the table; the last lines the program printed go to
// standard error, to go by.
std::string ProgramRuns::Trouble(const ChildProgram& program, const std::string& what,
                                 Host host) const {
    if (Interrupted()) {
        return "interrupted";
    }
    constexpr std::size_t kLinesShown = 6;
    const auto& lines = program.Lines();
    std::string told = "vardel_bench: " + what + "\n  the program's last lines:\n";
    for (std::size_t i = lines.size() - std::min(lines.size(), kLinesShown); i < lines.size();
         ++i) {
        told += "    " + lines[i].text + "\n";
    }
    const char* name = host == Host::Dialog ? "vardel-bench" : "vardel-flash";
    told += "  its standard error: " + setup_.folder + "/" + name + ".stderr\n";
    (void)std::fputs(told.c_str(), stderr);
    return what;
}

}  // namespace vardel::bench
