// What one session with the host came to: whether the image arrived whole and
// unchanged, what went wrong on the way, and timings for a benchmark.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::sim {

enum class FaultKind {
    BadSum,           // a data frame whose sum byte does not match its data
    BadXor,           // a data frame whose xor byte does not match its data
    WrongData,        // a data frame that checks out but carries other bytes than the image
    UnexpectedBytes,  // bytes that begin no frame, after the handshake
    CutShort,         // a frame begun that never ended
    UnexpectedFrame,  // a frame where none was due (a data frame nobody asked for, a second
                      // enter-upgrade frame, anything after the completion but the reset)
    Answered,         // a data frame in answer to a request the host had to refuse
    TimedOut,         // no data frame within the time allowed
    BadReset,         // a reset frame whose 66 bytes after "#UR" are not all zero
    EarlyReset,       // a reset frame before the completion request
    GaveUp,           // a block still not received after every retry
    LineFailed,       // the line would not take the MCU's bytes
};

std::string_view FaultName(FaultKind kind);

struct Fault {
    FaultKind kind = FaultKind::TimedOut;
    int block = -1;  // the block concerned, -1 when none
    std::string detail;
};

struct Verdict {
    bool handshakeSeen = false;  // the enter-upgrade frame came
    bool identical = false;      // every whole block arrived, byte for byte as expected
    bool completionSent = false;
    bool resetReceived = false;
    bool stopped = false;     // Stop() ended the session
    bool lineClosed = false;  // the other end went away
    bool gaveUp = false;      // a block never came right

    std::size_t expectedBlocks = 0;
    std::size_t blocks = 0;  // distinct blocks received with good checks
    std::size_t bytes = 0;   // their bytes
    std::size_t frames = 0;  // host frames from the enter-upgrade frame on
    std::size_t dataFrames = 0;
    std::size_t repeats = 0;                 // requests for a block asked before
    std::size_t refused = 0;                 // requests the host rightly left unanswered
    std::size_t ignoredBeforeHandshake = 0;  // bytes before the enter-upgrade frame
    std::vector<Fault> faults;

    // When the enter-upgrade frame's last byte arrived (a station's unit is
    // timed from its port's appearance to it).
    std::chrono::steady_clock::time_point handshakeAt{};
    // From the enter-upgrade frame to the completion request written.
    std::chrono::microseconds transferTime{0};
    // For each answered request, from its last byte written to the first byte
    // of its data frame.
    std::vector<std::chrono::microseconds> latencies;

    bool Passed() const { return identical && resetReceived && faults.empty(); }
    std::size_t Count(FaultKind kind) const;
    // "verdict: image identical, 448 blocks, 28672 bytes, frames 450, repeats 0,
    // faults 0, reset received"
    std::string Text() const;
    // "timing: transfer 12.345 s, 448 answers, latency median 8.1 ms, 95% 9.9 ms, max 12.0 ms"
    std::string TimingText() const;
};

}  // namespace vardel::sim
