#include "sim/McuSimulator.h"

#include <algorithm>
#include <utility>

#include "sim/McuSession.h"
#include "sim/SessionPlan.h"

namespace vardel::sim {

namespace {

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
        Line line(fd, stop_, options_.lineRate, options_.frameGap, options_.adapterLatency);
        McuSession session(options_, expected_, line, verdict);
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
