// Asking the host for a block, and judging the data frame that comes back:
// a block whose checks fail is asked for again, a few times at most.
#include <algorithm>
#include <string>
#include <vector>

#include "sim/McuSession.h"

namespace vardel::sim {

Flow McuSession::Ask(const Step& step) {
    if (options_.dropAfterBlocks && !dropped_ && receivedBlocks_ >= *options_.dropAfterBlocks) {
        dropped_ = true;
        if (DropLine() == Flow::End) {
            return Flow::End;
        }
    }
    if (options_.stopReadingAfterBlocks && receivedBlocks_ >= *options_.stopReadingAfterBlocks) {
        return AskWithoutReading(step);
    }
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

// The line goes away under the host and, when it comes back, the MCU goes on
// where it was, once the host has the line open again.
Flow McuSession::DropLine() {
    Note("line dropped after " + std::to_string(receivedBlocks_) + " blocks");
    const int fd = options_.dropLine ? options_.dropLine() : -1;
    if (fd < 0) {
        Note("the line stays gone");
        return Flow::End;
    }
    line_.Replace(fd);
    Note("line back");
    return Continue(line_.AwaitHost(Clock::now() + options_.dataTimeout)) ? Flow::Go : Flow::End;
}

// Asks and asks again, reading nothing, until the session is stopped.
Flow McuSession::AskWithoutReading(const Step& step) {
    constexpr Milliseconds kAskEvery{2};
    Note("reading no more");
    line_.StopReading();
    for (;;) {
        for (const std::uint16_t block : step.blocks) {
            if (Write({Chunk{BlockRequest(block), Milliseconds{0}, block}}, nullptr) == Flow::End ||
                !Continue(line_.Idle(Clock::now() + kAskEvery))) {
                return Flow::End;
            }
        }
    }
}

Flow McuSession::AskAgain(std::uint16_t block) {
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

Answer McuSession::AwaitData(std::uint16_t block, Clock::time_point requestEnd) {
    const Clock::time_point deadline = Clock::now() + options_.dataTimeout;
    for (;;) {
        HostFrame frame;
        const Arrival arrival = AwaitFrame(deadline, frame);
        if (arrival == Arrival::Timeout) {
            AddFault(FaultKind::TimedOut, block, "nothing within " + Ms(options_.dataTimeout));
            return Answer::Missing;
        }
        if (arrival == Arrival::End) {
            return Answer::End;
        }
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
Answer McuSession::Judge(std::uint16_t block, const HostFrame& frame) {
    const auto data = DataOf(frame.bytes);
    const BlockChecks checks = ChecksOf(data);
    if (frame.bytes[kSumOffset] != checks.sum) {
        AddFault(FaultKind::BadSum, block,
                 "carried " + Hex(frame.bytes[kSumOffset]) + ", data sum " + Hex(checks.sum));
        return Answer::Bad;
    }
    if (frame.bytes[kXorOffset] != checks.xorValue) {
        AddFault(FaultKind::BadXor, block,
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

bool McuSession::Keep(std::uint16_t block, std::span<const std::uint8_t> data) {
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
             "byte " + std::to_string(offset) + " is " + Hex(*mismatch.first) + ", the image has " +
                 Hex(*mismatch.second));
    return false;
}

}  // namespace vardel::sim
