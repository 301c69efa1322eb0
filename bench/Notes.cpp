// How the figures were taken, in words: the notes under the tables.
#include <string>
#include <vector>

#include "bench/Measurements.h"
#include "bench/Report.h"

namespace vardel::bench {

std::vector<std::string> Measurements::FlashNotes() const {
    std::vector<std::string> notes = {
        "vardel-flash runs as a script would run it: its output piped (plain lines), the reset "
        "frame written, each unit's port a pseudo-terminal with the simulator at the line rate "
        "(or unpaced, for the latency) on a thread of the benchmark. Line rate, latency and "
        "CPU are taken as for the dialog program above.",
        "Several units: one run of vardel-flash with a --port for each unit, all starting "
        "together. The time runs from the first unit's enter-upgrade frame to the last unit's "
        "completion request, against one unit's ideal line time. CPU over the same span: "
        "vardel-flash's (all its threads) divided by the units; the benchmark's own process, "
        "which is the simulated MCUs (each sleeps once a byte it sends); and the whole "
        "machine's busy time from /proc/stat, in cores, which counts any other work on the "
        "machine too.",
        "A bench's line: four runs of one unit in turn, each once. The adapter is the "
        "simulator's model of a USB serial adapter (vardel-sim --adapter-latency MS): the "
        "MCU's bytes reach the host only when the adapter's latency timer fires or 62 bytes "
        "are waiting, so each 7-byte block request waits for the timer. The trace is written "
        "to a file in the benchmark's temporary folder.",
        "The station: vardel-flash --watch --json on a folder of the benchmark's own, in which "
        "each unit's port appears as a link to its simulated MCU's terminal, as udev makes an "
        "adapter's name. Appearance: one unit at a time (16 blocks, unpaced), from the link's "
        "making to the last byte of the enter-upgrade frame at the MCU; each goes before the "
        "next comes. Idle: every thread's processor time (/proc/PID/task/*/schedstat) over the "
        "window with no port. Arrivals: units at the line rate, 0.25 s apart, --max-parallel "
        "of them at once; the ideal is the same arrivals each flashed in one ideal line time "
        "as soon as a place is free.",
    };
    if (!scalingNote_.empty()) {
        notes.push_back(scalingNote_);
    }
    return notes;
}

std::vector<std::string> Notes(const Plan& plan, bool quick) {
    std::vector<std::string> notes;
    if (quick) {
        notes.emplace_back(
            "Made with `--quick`: shorter runs and windows than the goals ask for, a smoke "
            "check only.");
    }
    notes.emplace_back(
        "Line rate: the simulator paces both directions at 38,400 baud, 10 bits a byte, and "
        "takes no time to write a block into flash. The time runs from the enter-upgrade frame "
        "to the completion request; the ideal is the line time of the same bytes, blocks × "
        "(7-byte request + 69-byte data frame) × 10 bits / 38,400 baud. The simulator's thread "
        "sleeps once a byte it sends, until that byte's time on a line that sends a frame's bytes "
        "back to back as a UART does, and runs with 1 ns of timer slack, so that the line keeps "
        "close to its rate; what it still loses shows in the floor row, the same transfer "
        "against a host in the benchmark that answers each request as soon as it has read it.");
    notes.emplace_back(
        "Latency: the simulator unpaced, from the last byte of each block request written to the "
        "first byte of its data frame read; percentiles interpolate between neighbouring "
        "samples.");
    notes.emplace_back(
        "CPU: utime + stime of all the program's threads from /proc/PID/stat, in clock ticks, "
        "over a window of " +
        Fixed(static_cast<double>(plan.window.count()) / 1000.0, 0) +
        " s (the transfer: its whole length), as a share of one core. STEP_READY: both firmware "
        "files are absent, so the start press fails to load and the step stays 1 with the port "
        "open. STEP_CLOSED: nothing at the program's COM4: path; held: the benchmark has the "
        "device "
        "open. Silent: the MCU sends half a "
        "request and nothing more; measured from half a second later.");
    notes.emplace_back(
        "Memory: VmHWM from /proc/PID/status, sampled every 50 ms during each run and just before "
        "it is told to end; MB are 10^6 bytes.");
    notes.emplace_back(
        "Start: from just before fork/exec to the program's first \"step: Step = N\" line, which "
        "it prints after its first tick; over every start the benchmark made.");
    return notes;
}

}  // namespace vardel::bench
