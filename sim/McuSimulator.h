// A simulated MCU for the other end of the serial line: after the host's
// enter-upgrade frame it asks for every block of the image, checks each data
// frame against the image it expects, sends the completion request and waits
// for the reset frame. Options make it awkward in chosen ways; the verdict
// says whether the image arrived whole and what went wrong on the way.
//
//     McuSimulator mcu(options, imageBytes);
//     std::thread session([&] { mcu.Run(fd); });
//     ...                      // the host does its part
//     session.join();          // or mcu.Stop() first, to end it early
//     Verdict verdict = mcu.Result();
#pragma once

#include <cstddef>
#include <mutex>

#include "sim/Line.h"
#include "sim/Scenario.h"
#include "sim/Verdict.h"
#include "sim/WireFrames.h"

namespace vardel::sim {

class McuSimulator {
public:
    // `image` is the firmware file's content, as the host loads it.
    McuSimulator(Options options, Bytes image);
    ~McuSimulator() = default;
    McuSimulator(const McuSimulator&) = delete;
    McuSimulator& operator=(const McuSimulator&) = delete;

    // Plays one session on `fd`, the MCU's end of the line (not owned), and
    // returns when it is over: the reset frame came, a time limit ran out, the
    // line went away, a block never came right, or Stop() was called. Call it
    // once.
    void Run(int fd);
    // Ends Run() soon, from any thread; before Run() it makes Run() return at once.
    void Stop();
    // The verdict of the session; complete once Run() has returned.
    Verdict Result() const;

    // Whole blocks of the image the host holds: the ones the MCU asks for.
    std::size_t Blocks() const { return expected_.size() / kBlockSize; }

private:
    Options options_;
    Bytes expected_;  // the whole blocks only
    StopSignal stop_;
    mutable std::mutex resultLock_;
    Verdict result_;
};

}  // namespace vardel::sim
