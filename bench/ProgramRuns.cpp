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
#include "bench/SimulatedMcu.h"
#include "sim/Line.h"
#include "sim/Scenario.h"

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

// What the simulator tells of its session.
constexpr std::string_view kHandshakeNote = "enter-upgrade frame received";
constexpr std::string_view kCompletionNote = "completion request sent";
constexpr std::string_view kSilenceNote = "falling silent";

// Bounds on every wait.
constexpr milliseconds kStartLimit{20'000};    // until the program shows the state wanted
constexpr milliseconds kUnpacedLimit{60'000};  // a whole upgrade without pacing
constexpr milliseconds kEndGrace{3'000};       // to close after SIGTERM
constexpr milliseconds kSessionGrace{3'000};   // for the simulator to take the reset frame
// After the MCU has fallen silent: time for the program to take the half
// request and begin waiting for the rest.
constexpr milliseconds kSilenceSettle{500};
constexpr std::size_t kIdleImageSize = 1024;  // the smallest file the program loads

// Session moments, with the CPU times read at each on the simulator's thread
// as it happens: the span runs from the first enter-upgrade frame of any
// session to the completion request of the last.
class SessionEvents {
public:
    explicit SessionEvents(std::size_t sessions) : sessions_(sessions) {}

    void Follow(pid_t pid) { pid_ = pid; }

    std::function<void(std::string_view)> Listener() {
        return [this](std::string_view note) { Take(note); };
    }

    std::optional<TransferCpu> Transfer() const {
        const std::lock_guard<std::mutex> guard(lock_);
        if (!first_ || !last_ || completions_ < sessions_) {
            return std::nullopt;
        }
        return TransferCpu{ShareBetween(first_->program, last_->program),
                           ShareBetween(first_->bench, last_->bench),
                           ShareBetween(first_->machine, last_->machine)};
    }

    bool FellSilent() const { return silent_; }

    std::chrono::duration<double> StartSpread() const {
        const std::lock_guard<std::mutex> guard(lock_);
        return firstStart_ && lastStart_ ? *lastStart_ - *firstStart_ : Clock::duration{0};
    }

private:
    struct Marks {
        CpuMark program;
        CpuMark bench;
        CpuMark machine;
    };

    void Take(std::string_view note) {
        if (note == kSilenceNote) {
            silent_ = true;
            return;
        }
        if (note != kHandshakeNote && note != kCompletionNote) {
            return;
        }
        const auto now = Clock::now();
        const auto program = ReadCpu(pid_);
        const auto bench = ReadCpu(getpid());
        const auto machine = ReadMachineBusy();
        const std::lock_guard<std::mutex> guard(lock_);
        std::optional<Marks> marks;
        if (program && bench && machine) {
            marks = Marks{*program, *bench, *machine};
        }
        if (note == kCompletionNote) {
            ++completions_;
            last_ = marks;
            return;
        }
        lastStart_ = now;
        if (!firstStart_) {
            firstStart_ = now;
            first_ = marks;
        }
    }

    const std::size_t sessions_;
    std::atomic<pid_t> pid_{-1};
    std::atomic<bool> silent_{false};
    mutable std::mutex lock_;
    std::size_t completions_ = 0;
    std::optional<Marks> first_;
    std::optional<Marks> last_;
    std::optional<Clock::time_point> firstStart_;
    std::optional<Clock::time_point> lastStart_;
};

milliseconds LineTime(std::size_t imageBytes) {
    const std::size_t blocks = imageBytes / sim::kBlockSize;
    const auto bytes = static_cast<long>(blocks * (sim::kRequestLength + sim::kDataFrameLength));
    return std::chrono::ceil<milliseconds>(sim::kByteTime * bytes);
}

std::string Seconds(milliseconds time) { return std::to_string(time.count() / 1000) + " s"; }

}  // namespace

sim::Bytes DemoImage(std::size_t size) {
    sim::Bytes image;
    image.reserve(size);
    std::uint32_t state = 0x5EED1234;
    while (image.size() < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image.push_back(static_cast<std::uint8_t>(state & 0xFF));
    }
    return image;
}

std::optional<UpgradeRun> ProgramRuns::Upgrade(Host host, std::size_t units, std::size_t imageBytes,
                                               bool lineRate, std::string& error) {
    const sim::Bytes image = DemoImage(imageBytes);
    // Outlives the simulators, which tell it of their sessions.
    SessionEvents events(units);
    std::vector<std::unique_ptr<SimulatedMcu>> mcus;
    std::vector<std::string> devices;
    if (!WriteFirmware(image, error)) {
        return std::nullopt;
    }
    for (std::size_t unit = 0; unit < units; ++unit) {
        devices.push_back(DeviceOf(host, unit));
        mcus.push_back(std::make_unique<SimulatedMcu>());
        if (!mcus.back()->Open(devices.back(), error)) {
            return std::nullopt;
        }
        sim::Options options;
        options.lineRate = lineRate;
        options.onNote = events.Listener();
        mcus.back()->Start(std::move(options), image);
    }

    ChildProgram program;
    if (!(host == Host::Dialog ? Launch(program, error) : LaunchFlash(program, devices, error))) {
        return std::nullopt;
    }
    events.Follow(program.Pid());
    const milliseconds limit = lineRate ? kStartLimit + 2 * LineTime(imageBytes) : kUnpacedLimit;
    const bool ended = program.AwaitExit(Clock::now() + limit);
    program.End(kEndGrace);
    if (host == Host::Dialog) {
        Record(program);
    }
    UpgradeRun run{{}, events.Transfer(), program.PeakResidentKib(), events.StartSpread()};
    for (const auto& mcu : mcus) {
        run.verdicts.push_back(mcu->Finish(kSessionGrace));
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
    const sim::Bytes image = DemoImage(imageBytes);
    SimulatedMcu mcu;
    if (!mcu.Open(setup_.device, error)) {
        return std::nullopt;
    }
    sim::Options options;
    options.lineRate = true;
    mcu.Start(std::move(options), image);
    const auto deadline = Clock::now() + kStartLimit + 2 * LineTime(imageBytes);
    const bool played = PlayInstantHost(setup_.device, image, deadline, error);
    sim::Verdict verdict = mcu.Finish(kSessionGrace);
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
    SimulatedMcu mcu;
    if (!mcu.Open(setup_.device, error)) {
        return std::nullopt;
    }
    sim::Options options;
    options.handshakeTimeout = milliseconds{0};  // the enter-upgrade frame never comes
    mcu.Start(std::move(options), DemoImage(kIdleImageSize));

    ChildProgram program;
    if (!Launch(program, error)) {
        return std::nullopt;
    }
    if (!program.AwaitLine({kMtkFileMissing, kQ9FileMissing}, Clock::now() + kStartLimit)) {
        error = Trouble(program, "the start press never failed to load the firmware file");
        return std::nullopt;
    }
    auto share = Measure(program, window, error);
    if (share && (program.Saw(kTransferStep) || !program.Saw(kReadyStep))) {
        error = Trouble(program, "the step did not stay at 1");
        share.reset();
    }
    program.End(kEndGrace);
    Record(program);
    return share;
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
    SimulatedMcu mcu;
    if (!mcu.Open(setup_.device, error)) {
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
    ChildProgram program;
    if (!Launch(program, error)) {
        return std::nullopt;
    }
    if (!program.AwaitLine({kPortOpenFailed}, Clock::now() + kStartLimit)) {
        error = Trouble(program, "the program never reported the port failing to open");
        return std::nullopt;
    }
    auto share = Measure(program, window, error);
    if (share && program.Saw(kPortOpened)) {
        error = Trouble(program, "the port opened after all");
        share.reset();
    }
    program.End(kEndGrace);
    Record(program);
    return share;
}

std::optional<CpuShare> ProgramRuns::SilentMidFrame(milliseconds window, std::string& error) {
    const sim::Bytes image = DemoImage(kIdleImageSize * 4);
    SessionEvents events(1);  // outlives the simulator, which tells it of the session
    SimulatedMcu mcu;
    if (!WriteFirmware(image, error) || !mcu.Open(setup_.device, error)) {
        return std::nullopt;
    }
    sim::Options options;
    options.silence = sim::Silence::MidFrame;
    options.silenceAfterBlocks = kBlocksBeforeSilence;
    options.onNote = events.Listener();
    mcu.Start(std::move(options), image);

    ChildProgram program;
    if (!Launch(program, error)) {
        return std::nullopt;
    }
    const bool silent = program.AwaitCondition([&events] { return events.FellSilent(); },
                                               Clock::now() + kStartLimit);
    if (!silent || !program.Watch(Clock::now() + kSilenceSettle)) {
        error = Trouble(program, "the MCU never fell silent with the program running");
        return std::nullopt;
    }
    auto share = Measure(program, window, error);
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
                              std::string& error) const {
    std::vector<std::string> arguments;
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
