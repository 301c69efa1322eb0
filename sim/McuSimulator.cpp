#include "sim/McuSimulator.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "sim/SessionPlan.h"

namespace vardel::sim {

namespace {

using Micros = std::chrono::microseconds;

// Waits that end only through Stop() or a vanished line still need a deadline.
constexpr std::chrono::hours kForever{24 * 365};

// Whether the session goes on after a step.
enum class Flow { Go, End };

// What came back for one block request.
enum class Answer { Good, Bad, Missing, End };

std::string Hex(std::uint8_t byte) {
    char text[8];
    (void)std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
    return text;
}

std::string Ms(Milliseconds time) { return std::to_string(time.count()) + " ms"; }

class Session {
public:
    Session(const Options& options, const Bytes& expected, Line& line, Verdict& verdict)
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

    void Play(const std::vector<Step>& plan) {
        if (AwaitHandshake() == Flow::Go) {
            for (const Step& step : plan) {
                if (Perform(step) == Flow::End) {
                    break;
                }
            }
        }
        Conclude();
    }

private:
    Flow Perform(const Step& step) {
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
    Flow AwaitHandshake() {
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
                Count(frame);
                Note("enter-upgrade frame received");
                return Flow::Go;
            }
            verdict_.ignoredBeforeHandshake += frame.bytes.size();
        }
    }

    Flow Ask(const Step& step) {
        for (const std::uint16_t block : step.blocks) {
            MarkAsked(block);
        }
        std::vector<Clock::time_point> requestEnds;
        if (Write(step.chunks, &requestEnds) == Flow::End) {
            return Flow::End;
        }
        std::vector<std::uint16_t> again;
        bool silent = false;
        for (std::size_t i = 0; i < step.blocks.size(); ++i) {
            const std::uint16_t block = step.blocks[i];
            if (silent) {  // no point waiting for the rest of a batch the host ignored
                again.push_back(block);
                continue;
            }
            const auto requestEnd = i < requestEnds.size() ? requestEnds[i] : line_.LastWriteAt();
            const Answer answer = AwaitData(block, requestEnd);
            if (answer == Answer::End) {
                return Flow::End;
            }
            if (answer != Answer::Good) {
                again.push_back(block);
                silent = answer == Answer::Missing;
            }
        }
        for (const std::uint16_t block : again) {
            if (AskAgain(block) == Flow::End) {
                return Flow::End;
            }
        }
        return Flow::Go;
    }

    Flow AskAgain(std::uint16_t block) {
        for (std::size_t attempt = 0; attempt < options_.retries; ++attempt) {
            MarkAsked(block);
            if (Write({Chunk{BlockRequest(block), Milliseconds{0}, block}}, nullptr) == Flow::End) {
                return Flow::End;
            }
            const Answer answer = AwaitData(block, line_.LastWriteAt());
            if (answer == Answer::Good) {
                return Flow::Go;
            }
            if (answer == Answer::End) {
                return Flow::End;
            }
        }
        verdict_.gaveUp = true;
        AddFault(FaultKind::GaveUp, block,
                 "still wrong after " + std::to_string(options_.retries) + " more requests");
        return Flow::End;
    }

    Answer AwaitData(std::uint16_t block, Clock::time_point requestEnd) {
        const Clock::time_point deadline = Clock::now() + options_.dataTimeout;
        for (;;) {
            HostFrame frame;
            const Outcome outcome = line_.NextFrame(deadline, frame);
            NoteJunk();
            if (outcome == Outcome::Timeout) {
                AddFault(FaultKind::TimedOut, block, "nothing within " + Ms(options_.dataTimeout));
                return Answer::Missing;
            }
            if (!Continue(outcome)) {
                return Answer::End;
            }
            Count(frame);
            if (frame.kind != HostFrameKind::Data) {
                if (Stray(frame) == Flow::End) {
                    return Answer::End;
                }
                continue;
            }
            verdict_.latencies.push_back(
                std::chrono::duration_cast<Micros>(frame.firstByteAt - requestEnd));
            return Judge(block, frame);
        }
    }

    // A block whose checks fail is not written; one whose checks pass is
    // written to flash, which takes the MCU a while.
    Answer Judge(std::uint16_t block, const HostFrame& frame) {
        const auto data = DataOf(frame.bytes);
        const BlockChecks checks = ChecksOf(data);
        if (frame.bytes[kSumOffset] != checks.sum) {
            AddFault(FaultKind::BadSum, block,
                     "carried " + Hex(frame.bytes[kSumOffset]) + ", data sum " + Hex(checks.sum));
            return Answer::Bad;
        }
        if (frame.bytes[kXorOffset] != checks.xorValue) {
            AddFault(
                FaultKind::BadXor, block,
                "carried " + Hex(frame.bytes[kXorOffset]) + ", data xor " + Hex(checks.xorValue));
            return Answer::Bad;
        }
        const bool right = Keep(block, data);
        if (options_.flashDelay.count() > 0 &&
            !Continue(line_.Idle(Clock::now() + options_.flashDelay))) {
            return Answer::End;
        }
        return right ? Answer::Good : Answer::Bad;
    }

    bool Keep(std::uint16_t block, std::span<const std::uint8_t> data) {
        const auto start = static_cast<std::ptrdiff_t>(block * kBlockSize);
        std::copy(data.begin(), data.end(), image_.begin() + start);
        if (!received_[block]) {
            received_[block] = true;
            ++receivedBlocks_;
            if (options_.onProgress) {
                options_.onProgress(receivedBlocks_, blocks_);
            }
        }
        const auto wanted = expected_.begin() + start;
        const auto mismatch = std::mismatch(data.begin(), data.end(), wanted);
        if (mismatch.first == data.end()) {
            return true;
        }
        const auto offset = mismatch.first - data.begin();
        AddFault(FaultKind::WrongData, block,
                 "byte " + std::to_string(offset) + " is " + Hex(*mismatch.first) +
                     ", the image has " + Hex(*mismatch.second));
        return false;
    }

    Flow Refusal(const Step& step) {
        if (Write(step.chunks, nullptr) == Flow::End) {
            return Flow::End;
        }
        const Clock::time_point deadline = Clock::now() + options_.refusalWait;
        bool answered = false;
        for (;;) {
            HostFrame frame;
            const Outcome outcome = line_.NextFrame(deadline, frame);
            NoteJunk();
            if (outcome == Outcome::Timeout) {
                if (!answered) {
                    ++verdict_.refused;
                    Note(std::string("refused as it should be: ") + std::string(step.why));
                }
                return Flow::Go;
            }
            if (!Continue(outcome)) {
                return Flow::End;
            }
            Count(frame);
            if (frame.kind == HostFrameKind::Data) {
                AddFault(FaultKind::Answered, -1, std::string(step.why));
                answered = true;
            } else if (Stray(frame) == Flow::End) {
                return Flow::End;
            }
        }
    }

    Flow Complete(const Step& step) {
        if (Write(step.chunks, nullptr) == Flow::End) {
            return Flow::End;
        }
        verdict_.completionSent = true;
        verdict_.transferTime =
            std::chrono::duration_cast<Micros>(line_.LastWriteAt() - handshakeAt_);
        Note("completion request sent");
        const Clock::time_point deadline = Clock::now() + options_.resetTimeout;
        for (;;) {
            HostFrame frame;
            const Outcome outcome = line_.NextFrame(deadline, frame);
            NoteJunk();
            if (outcome == Outcome::Timeout) {
                Note("no reset frame within " + Ms(options_.resetTimeout));
                return Flow::End;
            }
            if (!Continue(outcome)) {
                return Flow::End;
            }
            Count(frame);
            if (frame.kind == HostFrameKind::Reset) {
                TakeReset(frame);
                return Flow::End;
            }
            AddFault(FaultKind::UnexpectedFrame, -1,
                     "a frame other than the reset frame after the completion");
        }
    }

    // Only Stop() or the line going away ends this.
    Flow FallSilent(const Step& step) {
        if (Write(step.chunks, nullptr) == Flow::End) {
            return Flow::End;
        }
        Note("falling silent");
        for (;;) {
            HostFrame frame;
            const Outcome outcome = line_.NextFrame(Clock::now() + kForever, frame);
            NoteJunk();
            if (outcome == Outcome::Timeout) {
                continue;
            }
            if (!Continue(outcome)) {
                return Flow::End;
            }
            Count(frame);
            if (Stray(frame) == Flow::End) {
                return Flow::End;
            }
        }
    }

    // A frame where none was due. A reset frame restarts the MCU, so it ends
    // the session.
    Flow Stray(const HostFrame& frame) {
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

    void TakeReset(const HostFrame& frame) {
        verdict_.resetReceived = true;
        Note("reset frame received");
        if (!HasZeroPadding(frame.bytes)) {
            AddFault(FaultKind::BadReset, -1, "");
        }
    }

    Flow Write(const std::vector<Chunk>& chunks, std::vector<Clock::time_point>* requestEnds) {
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
    bool Continue(Outcome outcome) {
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

    void NoteJunk() {
        const auto junk = line_.TakeJunk();
        if (junk.cutFrames != 0) {
            AddFault(FaultKind::CutShort, -1,
                     std::to_string(junk.cutFrames) + " frame(s), " +
                         std::to_string(junk.cutBytes) + " bytes");
        }
        if (junk.strayBytes != 0) {
            AddFault(FaultKind::UnexpectedBytes, -1, std::to_string(junk.strayBytes) + " bytes");
        }
    }

    void MarkAsked(std::uint16_t block) {
        if (block < asked_.size()) {
            if (asked_[block]) {
                ++verdict_.repeats;
            }
            asked_[block] = true;
        }
    }

    void Count(const HostFrame& frame) {
        ++verdict_.frames;
        if (frame.kind == HostFrameKind::Data) {
            ++verdict_.dataFrames;
        }
    }

    void AddFault(FaultKind kind, int block, std::string detail) {
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

    void Note(const std::string& text) const {
        if (options_.onNote) {
            options_.onNote(text);
        }
    }

    void Conclude() {
        verdict_.blocks = receivedBlocks_;
        verdict_.bytes = receivedBlocks_ * kBlockSize;
        verdict_.identical =
            verdict_.handshakeSeen && receivedBlocks_ == blocks_ && image_ == expected_;
    }

    const Options& options_;
    const Bytes& expected_;
    Line& line_;
    Verdict& verdict_;
    std::size_t blocks_;
    std::vector<bool> asked_;
    std::vector<bool> received_;
    std::size_t receivedBlocks_ = 0;
    Bytes image_;
    Clock::time_point handshakeAt_;
};

std::size_t WholeBlockBytes(std::size_t imageBytes, std::size_t imageSizeOption) {
    std::size_t size = std::min(imageBytes, kMaxImageSize);
    if (imageSizeOption != 0) {
        size = std::min(size, imageSizeOption);
    }
    return size - size % kBlockSize;
}

}  // namespace

McuSimulator::McuSimulator(Options options, Bytes image)
    : options_(std::move(options)), expected_(std::move(image)) {
    expected_.resize(WholeBlockBytes(expected_.size(), options_.imageSize));
    result_.expectedBlocks = Blocks();
}

void McuSimulator::Run(int fd) {
    Verdict verdict;
    {
        Line line(fd, stop_, options_.lineRate, options_.frameGap);
        Session session(options_, expected_, line, verdict);
        session.Play(MakePlan(options_, Blocks()));
    }
    const std::lock_guard<std::mutex> guard(resultLock_);
    result_ = std::move(verdict);
}

void McuSimulator::Stop() { stop_.Raise(); }

Verdict McuSimulator::Result() const {
    const std::lock_guard<std::mutex> guard(resultLock_);
    return result_;
}

}  // namespace vardel::sim
