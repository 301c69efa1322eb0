// The runs the benchmark makes of the whole program against the simulated
// MCU: full upgrades (paced at the line rate or not), by the dialog program or
// by vardel-flash with one or many units at once, and three ways of waiting in
// which only the dialog program's CPU use is of interest. Every start of
// the program also adds its time to the first tick and its peak memory to
// StartsSeen() (the dialog program's starts only).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/ChildProgram.h"
#include "bench/ProcessProbe.h"
#include "sim/Verdict.h"
#include "sim/WireFrames.h"

namespace vardel::bench {

struct BenchSetup {
    std::string program;  // the benchmark's demo build of the program
    std::string device;   // the path it opens as "COM4:"
    std::string folder;   // where it looks for its firmware files
    std::string flash;    // vardel-flash
};

// The program that answers the MCUs' requests.
enum class Host { Dialog, Flash };

struct Starts {
    std::vector<double> firstTickMs;  // from just before the fork to the first "step:" line
    long peakKib = 0;                 // the largest VmHWM of any run
    int runs = 0;
};

// CPU use from the first enter-upgrade frame to the last completion request;
// `program.seconds` is that span.
struct TransferCpu {
    CpuShare program;  // the program under measurement, all its threads
    CpuShare bench;    // the benchmark itself: mostly the simulated MCUs' threads
    CpuShare machine;  // every process: 200 % is both cores of a 2-core machine busy
};

struct UpgradeRun {
    std::vector<sim::Verdict> verdicts;  // one a unit
    std::optional<TransferCpu> transferCpu;
    std::optional<long> peakKib;  // the program's largest VmHWM
    // From the first unit's enter-upgrade frame to the last unit's.
    std::chrono::duration<double> startSpread{0};
};

// What a bench adds to vardel-flash's line: a USB adapter's latency timer on
// the MCU's side, and a trace of the traffic.
struct BenchExtras {
    std::chrono::milliseconds adapterLatency{0};
    bool trace = false;
};

class ProgramRuns {
public:
    explicit ProgramRuns(BenchSetup setup) : setup_(std::move(setup)) {}
    [[nodiscard]] const BenchSetup& Setup() const { return setup_; }

    // One whole upgrade of an image of `imageBytes` on each of `units`
    // simulated MCUs at once (the dialog program drives one); nullopt and
    // `error` unless every MCU received it identical and its reset frame came.
    std::optional<UpgradeRun> Upgrade(Host host, std::size_t units, std::size_t imageBytes,
                                      bool lineRate, std::string& error,
                                      const BenchExtras& extras = {});

    // The same upgrade against an instant host in place of the program: the
    // floor the simulated line sets.
    std::optional<sim::Verdict> InstantUpgrade(std::size_t imageBytes, std::string& error);

    // CPU use over `window` while the program...
    //   waits at STEP_READY: the port is open, the start press failed to load
    //   the (absent) firmware file;
    std::optional<CpuShare> IdleAtReady(std::chrono::milliseconds window, std::string& error);
    //   finds no device at its "COM4:" path and tries again on every tick;
    std::optional<CpuShare> PortNeverOpens(std::chrono::milliseconds window, std::string& error);
    //   finds the device held by another process, which merely has it open;
    std::optional<CpuShare> PortHeldByAnother(std::chrono::milliseconds window, std::string& error);
    //   has half a request from an MCU that then falls silent.
    std::optional<CpuShare> SilentMidFrame(std::chrono::milliseconds window, std::string& error);

    const Starts& StartsSeen() const { return starts_; }

    // Blocks the MCU asks for before falling silent mid-frame.
    static constexpr std::size_t kBlocksBeforeSilence = 8;

private:
    bool Launch(ChildProgram& program, std::string& error) const;
    bool LaunchFlash(ChildProgram& program, const std::vector<std::string>& devices, bool trace,
                     std::string& error) const;
    std::string DeviceOf(Host host, std::size_t unit) const;
    std::optional<CpuShare> PortStaysClosed(std::chrono::milliseconds window, std::string& error);
    std::optional<CpuShare> MeasureProgram(std::chrono::milliseconds window,
                                           const std::function<bool(ChildProgram&)>& reach,
                                           const std::string& neverReached,
                                           const std::function<bool(const ChildProgram&)>& held,
                                           const std::string& notHeld, std::string& error);
    void Record(const ChildProgram& program);
    std::optional<CpuShare> Measure(ChildProgram& program, std::chrono::milliseconds window,
                                    std::string& error) const;
    bool WriteFirmware(const sim::Bytes& image, std::string& error) const;
    void RemoveFirmware() const;
    bool ClearDevicePath(std::string& error) const;
    std::string Trouble(const ChildProgram& program, const std::string& what,
                        Host host = Host::Dialog) const;

    BenchSetup setup_;
    Starts starts_;
};

}  // namespace vardel::bench
