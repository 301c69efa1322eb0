#include "sim/Verdict.h"

#include <algorithm>
#include <cstdio>

namespace vardel::sim {

namespace {

std::string_view ImageWord(const Verdict& verdict) {
    if (!verdict.handshakeSeen) {
        return "no handshake";
    }
    if (verdict.identical) {
        return "image identical";
    }
    return verdict.blocks < verdict.expectedBlocks ? "image incomplete" : "image differs";
}

double Millis(std::chrono::microseconds time) { return static_cast<double>(time.count()) / 1e3; }

}  // namespace

std::string_view FaultName(FaultKind kind) {
    switch (kind) {
    case FaultKind::BadSum:
        return "bad sum";
    case FaultKind::BadXor:
        return "bad xor";
    case FaultKind::WrongData:
        return "wrong data";
    case FaultKind::UnexpectedBytes:
        return "unexpected bytes";
    case FaultKind::CutShort:
        return "frame cut short";
    case FaultKind::UnexpectedFrame:
        return "unexpected frame";
    case FaultKind::Answered:
        return "answered a request that had to be refused";
    case FaultKind::TimedOut:
        return "no data frame in time";
    case FaultKind::BadReset:
        return "reset frame not zero-padded";
    case FaultKind::EarlyReset:
        return "reset frame before the completion";
    case FaultKind::GaveUp:
        return "gave up";
    case FaultKind::LineFailed:
        return "line failed";
    }
    return "fault";
}

std::size_t Verdict::Count(FaultKind kind) const {
    return static_cast<std::size_t>(std::count_if(
        faults.begin(), faults.end(), [kind](const Fault& fault) { return fault.kind == kind; }));
}

std::string Verdict::Text() const {
    std::string text = "verdict: ";
    text += ImageWord(*this);
    text += ", " + std::to_string(blocks);
    if (blocks != expectedBlocks) {
        text += " of " + std::to_string(expectedBlocks);
    }
    text += " blocks, " + std::to_string(bytes) + " bytes";
    text += ", frames " + std::to_string(frames);
    text += ", repeats " + std::to_string(repeats);
    text += ", faults " + std::to_string(faults.size());
    text += resetReceived ? ", reset received" : ", no reset";
    if (gaveUp) {
        text += ", gave up";
    }
    if (stopped) {
        text += ", stopped";
    }
    if (lineClosed) {
        text += ", line closed";
    }
    return text;
}

std::string Verdict::TimingText() const {
    char line[160];
    const double seconds = static_cast<double>(transferTime.count()) / 1e6;
    if (latencies.empty()) {
        (void)std::snprintf(line, sizeof line, "timing: transfer %.3f s, 0 answers", seconds);
        return line;
    }
    std::vector<std::chrono::microseconds> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&sorted](double share) {
        const auto index = static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1));
        return Millis(sorted[index]);
    };
    (void)std::snprintf(
        line, sizeof line,
        "timing: transfer %.3f s, %zu answers, latency median %.1f ms, 95%% %.1f ms, "
        "max %.1f ms",
        seconds, sorted.size(), at(0.5), at(0.95), Millis(sorted.back()));
    return line;
}

}  // namespace vardel::sim
