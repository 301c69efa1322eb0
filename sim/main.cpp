// vardel-mcu-sim: plays the MCU for upgrade sessions on a pseudo-terminal,
// so the real program can be run against it. Its flags: sim/CommandLine.h.

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/CommandLine.h"
#include "sim/DemoImage.h"
#include "sim/McuSimulator.h"
#include "sim/PseudoTerminal.h"

namespace {

using vardel::sim::Bytes;
using vardel::sim::Options;
using vardel::sim::Settings;

enum ExitCode : int {
    kPassed = 0,
    kSetupFailed = 1,
    kNoHandshake = 2,
    kImageNotIdentical = 3,
    kNoReset = 4,
    kFaultsSeen = 5,
};

// --- output -------------------------------------------------------------

// A line on standard output (the ready line, the verdict), seen at once by a
// script that waits for it.
void Say(const std::string& line) {
    (void)std::fputs((line + "\n").c_str(), stdout);
    (void)std::fflush(stdout);
}

// Notes and complaints go to standard error; a failed write there has nowhere
// else to be told.
void Tell(const std::string& line) { (void)std::fputs((line + "\n").c_str(), stderr); }

void Complain(const std::string& line) { Tell("vardel-mcu-sim: " + line); }

// --- running ------------------------------------------------------------

std::optional<Bytes> ReadImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    Bytes image{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return std::nullopt;
    }
    return image;
}

// Signals end the session the orderly way, so the link is removed; the
// handler only wakes the main thread.
int gSignalPipe = -1;

extern "C" void OnSignal(int) {
    const int savedErrno = errno;
    const char wake = 1;
    [[maybe_unused]] const auto written = write(gSignalPipe, &wake, 1);
    errno = savedErrno;
}

// The pipe stays open for the life of the process: a late signal must find it.
// Returns its read end, or -1.
int CatchSignals() {
    std::array<int, 2> signalPipe = {-1, -1};
    if (pipe(signalPipe.data()) != 0) {
        return -1;
    }
    gSignalPipe = signalPipe[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
    // A host that goes away must not take the simulator with it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
    return signalPipe[0];
}

void Report(const Settings& settings, Options& options) {
    if (!settings.quiet) {
        options.onNote = [](std::string_view note) { Tell("sim: " + std::string(note)); };
    }
    if (settings.progress && !settings.quiet) {
        options.onProgress = [](std::size_t done, std::size_t total) {
            const std::size_t step = std::max<std::size_t>(1, total / 20);
            if (done % step == 0 || done == total) {
                Tell("sim: " + std::to_string(done) + " of " + std::to_string(total) + " blocks");
            }
        };
    }
}

// Waits for the session to end by itself, for a signal, or for the time limit;
// whether it ended by itself.
bool Supervise(vardel::sim::McuSimulator& mcu, int signalRead, int doneRead,
               std::chrono::steady_clock::time_point deadline, long maxSeconds, bool quiet) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            if (!quiet) {
                Tell("sim: time limit of " + std::to_string(maxSeconds) + " s reached");
            }
            break;
        }
        std::array<pollfd, 2> waits = {{{signalRead, POLLIN, 0}, {doneRead, POLLIN, 0}}};
        const int ready = poll(waits.data(), waits.size(),
                               static_cast<int>(std::min<long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (waits[1].revents != 0) {
            char done = 0;
            [[maybe_unused]] const auto got = read(doneRead, &done, 1);
            return true;
        }
        if (waits[0].revents != 0) {
            if (!quiet) {
                Tell("sim: signal received");
            }
            break;
        }
    }
    mcu.Stop();
    return false;
}

int ExitCodeOf(const vardel::sim::Verdict& verdict) {
    if (!verdict.handshakeSeen) {
        return kNoHandshake;
    }
    if (!verdict.identical) {
        return kImageNotIdentical;
    }
    if (!verdict.resetReceived) {
        return kNoReset;
    }
    return verdict.faults.empty() ? kPassed : kFaultsSeen;
}

int WriteDemoImage(const std::vector<std::string>& paths) {
    const Bytes image = vardel::sim::DemoImage();
    for (const std::string& path : paths) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        if (!file.flush()) {
            Complain("cannot write " + path);
            return kSetupFailed;
        }
    }
    return kPassed;
}

int Play(Settings& settings) {
    if (settings.options.lineRate) {
        // The line is paced with one sleep a byte: the usual 50 us of timer
        // slack on each would slow it by a fifth of a byte time.
        prctl(PR_SET_TIMERSLACK, 1UL);
    }
    const auto image = ReadImage(settings.imagePath);
    if (!image) {
        Complain("cannot read " + settings.imagePath);
        return kSetupFailed;
    }
    std::string error;
    auto terminal = vardel::sim::PseudoTerminal::Open(error);
    if (!terminal) {
        Complain(error);
        return kSetupFailed;
    }
    std::optional<vardel::sim::DeviceLink> link;
    if (!settings.linkPath.empty()) {
        link = vardel::sim::DeviceLink::Make(settings.linkPath, terminal->SlavePath(), error);
        if (!link) {
            Complain(error);
            return kSetupFailed;
        }
    }
    const int signalRead = CatchSignals();
    std::array<int, 2> donePipe = {-1, -1};
    if (signalRead < 0 || pipe(donePipe.data()) != 0) {
        Complain("cannot make a pipe");
        return kSetupFailed;
    }
    const vardel::sim::UniqueFd doneRead(donePipe[0]);
    const vardel::sim::UniqueFd doneWrite(donePipe[1]);

    Report(settings, settings.options);
    // A pulled cable: the terminal and its link go; a new terminal comes back
    // behind the same link, as an adapter plugged in again does.
    settings.options.dropLine = [&]() -> int {
        terminal.reset();
        link.reset();
        const auto back = settings.options.backAfter;
        if (!back) {
            return -1;
        }
        std::this_thread::sleep_for(*back);
        std::string why;
        terminal = vardel::sim::PseudoTerminal::Open(why);
        if (terminal && !settings.linkPath.empty()) {
            link = vardel::sim::DeviceLink::Make(settings.linkPath, terminal->SlavePath(), why);
        }
        if (!terminal || (!settings.linkPath.empty() && !link)) {
            Complain(why);
            return -1;
        }
        return terminal->Master();
    };
    if (settings.ready) {
        Say("ready " + (link ? link->Path() : terminal->SlavePath()) + " " +
            std::to_string(getpid()));
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(settings.maxSeconds);
    // One session on the line, to its end; whether it ended by itself.
    const auto play = [&](const Options& options, vardel::sim::Verdict& verdict) {
        vardel::sim::McuSimulator mcu(options, *image);
        std::thread session([&] {
            mcu.Run(terminal->Master());
            const char done = 1;
            [[maybe_unused]] const auto written = write(doneWrite.Get(), &done, 1);
        });
        const bool ended = Supervise(mcu, signalRead, doneRead.Get(), deadline, settings.maxSeconds,
                                     settings.quiet);
        session.join();
        verdict = mcu.Result();
        return ended;
    };
    // An adapter that stays plugged in while the operator swaps units: the
    // units answer one after another on the same line, each with its verdict.
    int status = kPassed;
    bool ended = true;
    for (long unit = 0; unit < settings.units && ended; ++unit) {
        vardel::sim::Verdict verdict;
        ended = play(settings.options, verdict);
        Say(verdict.Text());
        if (!settings.quiet) {
            Tell("sim: " + verdict.TimingText());
        }
        if (status == kPassed) {
            status = ExitCodeOf(verdict);
        }
    }
    // Then the line stays a while, and an upgrade begun on it is one that
    // nobody asked for.
    if (ended && settings.lingerMs > 0) {
        Options idle = settings.options;
        idle.handshakeTimeout = vardel::sim::Milliseconds(settings.lingerMs);
        vardel::sim::Verdict extra;
        play(idle, extra);
        if (extra.handshakeSeen) {
            Say("fault: an upgrade began after the last unit, unasked");
            status = status == kPassed ? kFaultsSeen : status;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    std::string complaint;
    switch (vardel::sim::ReadCommandLine(argc, argv, settings, complaint)) {
    case vardel::sim::Parse::Help:
        (void)std::fputs((complaint + "\n").c_str(), stdout);
        return kPassed;
    case vardel::sim::Parse::Error:
        Complain(complaint);
        Complain("--help tells the flags");
        return kSetupFailed;
    case vardel::sim::Parse::Run:
        break;
    }
    if (!settings.demoImagePaths.empty()) {
        return WriteDemoImage(settings.demoImagePaths);
    }
    return Play(settings);
}
