#include "sim/McuSession.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vardel::sim {

namespace {

// Waits that end only through Stop() or a vanished line still need a deadline.
constexpr std::chrono::hours kForever{24 * 365};

}  // namespace

std::string McuSession::Hex(std::uint8_t byte) {
    char text[8];
    (void)std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
    return text;
}

std::string McuSession::Ms(Milliseconds time) { return std::to_string(time.count()) + " ms"; }

McuSession::McuSession(const Options& options, const Bytes& expected, Line& line, Verdict& verdict)
    : options_(options),
      expected_(expected),
      line_(line),
      verdict_(verdict),
      blocks_(expected.size() / kBlockSize),
      asked_(blocks_, false),
      received_(blocks_, false),
      image_(expected.size(), 0) {
    verdict_.expectedBlocks = blocks_;
}

void McuSession::Play(const std::vector<Step>& plan) {
    if (AwaitHandshake() == Flow::Go) {
        for (const Step& step : plan) {
            if (Perform(step) == Flow::End) {
                break;
            }
        }
    }
    Conclude();
}

Flow McuSession::Perform(const Step& step) {
    switch (step.kind) {
    case StepKind::Send:
        return Write(step.chunks, nullptr);
    case StepKind::Ask:
        return Ask(step);
    case StepKind::Refusal:
        return Refusal(step);
    case StepKind::Complete:
        return Complete(step);
    case StepKind::FallSilent:
        return FallSilent(step);
    }
    return Flow::End;
}

// Before the enter-upgrade frame the host's bytes mean nothing to the MCU.
Flow McuSession::AwaitHandshake() {
    const auto limit = options_.handshakeTimeout.count() > 0
                           ? Milliseconds(options_.handshakeTimeout)
                           : std::chrono::duration_cast<Milliseconds>(kForever);
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        HostFrame frame;
        const Outcome outcome = line_.NextFrame(deadline, frame);
        const auto junk = line_.TakeJunk();
        verdict_.ignoredBeforeHandshake += junk.strayBytes + junk.cutBytes;
        if (outcome == Outcome::Timeout) {
            Note("no enter-upgrade frame within " + Ms(options_.handshakeTimeout));
            return Flow::End;
        }
        if (!Continue(outcome)) {
            return Flow::End;
        }
        if (frame.kind == HostFrameKind::EnterUpgrade && HasUpgradeWord(frame.bytes)) {
            verdict_.handshakeSeen = true;
            handshakeAt_ = frame.lastByteAt;
            verdict_.handshakeAt = frame.lastByteAt;
            Count(frame);
            Note("enter-upgrade frame received");
            return Flow::Go;
        }
        verdict_.ignoredBeforeHandshake += frame.bytes.size();
    }
}

Flow McuSession::Refusal(const Step& step) {
    if (Write(step.chunks, nullptr) == Flow::End) {
        return Flow::End;
    }
    const Clock::time_point deadline = Clock::now() + options_.refusalWait;
    bool answered = false;
    for (;;) {
        HostFrame frame;
        const Arrival arrival = AwaitFrame(deadline, frame);
        if (arrival == Arrival::Timeout) {
            if (!answered) {
                ++verdict_.refused;
                Note(std::string("refused as it should be: ") + std::string(step.why));
            }
            return Flow::Go;
        }
        if (arrival == Arrival::End) {
            return Flow::End;
        }
        if (frame.kind == HostFrameKind::Data) {
            AddFault(FaultKind::Answered, -1, std::string(step.why));
            answered = true;
        } else if (Stray(frame) == Flow::End) {
            return Flow::End;
        }
    }
}

Flow McuSession::Complete(const Step& step) {
    if (Write(step.chunks, nullptr) == Flow::End) {
        return Flow::End;
    }
    verdict_.completionSent = true;
    verdict_.transferTime = std::chrono::duration_cast<Micros>(line_.LastWriteAt() - handshakeAt_);
    Note("completion request sent");
    const Clock::time_point deadline = Clock::now() + options_.resetTimeout;
    for (;;) {
        HostFrame frame;
        const Arrival arrival = AwaitFrame(deadline, frame);
        if (arrival == Arrival::Timeout) {
            Note("no reset frame within " + Ms(options_.resetTimeout));
            return Flow::End;
        }
        if (arrival == Arrival::End) {
            return Flow::End;
        }
        if (frame.kind == HostFrameKind::Reset) {
            TakeReset(frame);
            return Flow::End;
        }
        AddFault(FaultKind::UnexpectedFrame, -1,
                 "a frame other than the reset frame after the completion");
    }
}

// Only Stop() or the line going away ends this.
Flow McuSession::FallSilent(const Step& step) {
    if (Write(step.chunks, nullptr) == Flow::End) {
        return Flow::End;
    }
    Note("falling silent");
    for (;;) {
        HostFrame frame;
        const Arrival arrival = AwaitFrame(Clock::now() + kForever, frame);
        if (arrival == Arrival::End || (arrival == Arrival::Frame && Stray(frame) == Flow::End)) {
            return Flow::End;
        }
    }
}

// The next frame, counted, with any junk before it noted as faults.
Arrival McuSession::AwaitFrame(Clock::time_point deadline, HostFrame& frame) {
    const Outcome outcome = line_.NextFrame(deadline, frame);
    NoteJunk();
    if (outcome == Outcome::Timeout) {
        return Arrival::Timeout;
    }
    if (!Continue(outcome)) {
        return Arrival::End;
    }
    Count(frame);
    return Arrival::Frame;
}

// A frame where none was due. A reset frame restarts the MCU, so it ends
// the session.
Flow McuSession::Stray(const HostFrame& frame) {
    switch (frame.kind) {
    case HostFrameKind::Reset:
        TakeReset(frame);
        AddFault(FaultKind::EarlyReset, -1, "the MCU restarts");
        return Flow::End;
    case HostFrameKind::EnterUpgrade:
        AddFault(FaultKind::UnexpectedFrame, -1, "a second enter-upgrade frame");
        return Flow::Go;
    case HostFrameKind::Data:
        AddFault(FaultKind::UnexpectedFrame, -1, "a data frame nobody asked for");
        return Flow::Go;
    }
    return Flow::Go;
}

void McuSession::TakeReset(const HostFrame& frame) {
    verdict_.resetReceived = true;
    Note("reset frame received");
    if (!HasZeroPadding(frame.bytes)) {
        AddFault(FaultKind::BadReset, -1, "");
    }
}

Flow McuSession::Write(const std::vector<Chunk>& chunks,
                       std::vector<Clock::time_point>* requestEnds) {
    for (const Chunk& chunk : chunks) {
        if (chunk.pauseBefore.count() > 0 &&
            !Continue(line_.Idle(Clock::now() + chunk.pauseBefore))) {
            return Flow::End;
        }
        if (!Continue(line_.Write(chunk.bytes))) {
            return Flow::End;
        }
        if (chunk.endsRequestFor && requestEnds != nullptr) {
            requestEnds->push_back(line_.LastWriteAt());
        }
    }
    return Flow::Go;
}

// False when the session cannot go on.
bool McuSession::Continue(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
    case Outcome::Timeout:
        return true;
    case Outcome::Stopped:
        verdict_.stopped = true;
        Note("stopped");
        return false;
    case Outcome::Closed:
        verdict_.lineClosed = true;
        Note("the line went away");
        return false;
    case Outcome::Failed:
        AddFault(FaultKind::LineFailed, -1, "");
        return false;
    }
    return false;
}

void McuSession::NoteJunk() {
    const auto junk = line_.TakeJunk();
    if (junk.cutFrames != 0) {
        AddFault(FaultKind::CutShort, -1,
                 std::to_string(junk.cutFrames) + " frame(s), " + std::to_string(junk.cutBytes) +
                     " bytes");
    }
    if (junk.strayBytes != 0) {
        AddFault(FaultKind::UnexpectedBytes, -1, std::to_string(junk.strayBytes) + " bytes");
    }
}

void McuSession::MarkAsked(std::uint16_t block) {
    if (block < asked_.size()) {
        if (asked_[block]) {
            ++verdict_.repeats;
        }
        asked_[block] = true;
    }
}

void McuSession::Count(const HostFrame& frame) {
    ++verdict_.frames;
    if (frame.kind == HostFrameKind::Data) {
        ++verdict_.dataFrames;
    }
}

void McuSession::AddFault(FaultKind kind, int block, std::string detail) {
    std::string text = "fault: " + std::string(FaultName(kind));
    if (block >= 0) {
        text += ", block " + std::to_string(block);
    }
    if (!detail.empty()) {
        text += ": " + detail;
    }
    Note(text);
    verdict_.faults.push_back({kind, block, std::move(detail)});
}

void McuSession::Note(const std::string& text) const {
    if (options_.onNote) {
        options_.onNote(text);
    }
}

void McuSession::Conclude() {
    verdict_.blocks = receivedBlocks_;
    verdict_.bytes = receivedBlocks_ * kBlockSize;
    verdict_.identical =
        verdict_.handshakeSeen && receivedBlocks_ == blocks_ && image_ == expected_;
}

}  // namespace vardel::sim
