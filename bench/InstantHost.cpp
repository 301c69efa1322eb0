#include "bench/InstantHost.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "bench/Interruption.h"
#include "sim/PseudoTerminal.h"

namespace vardel::bench {

namespace {

constexpr int kPollMs = 20;
constexpr std::size_t kResetPadding = sim::kResetFrameLength - sim::kHeaderLength;
// Positions in a block request: "#U", the kind, the number high and low, and
// their complements.
constexpr std::size_t kNumberHigh = 3;
constexpr std::size_t kNumberLow = 4;

bool WriteAll(int fd, const sim::Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto count = write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

sim::Bytes EnterUpgradeFrame() {
    sim::Bytes frame = {sim::kFrameMark, sim::kFrameTag, sim::kEnterUpgradeCommand};
    frame.insert(frame.end(), sim::kUpgradeWord.begin(), sim::kUpgradeWord.end());
    return frame;
}

sim::Bytes DataFrame(const sim::Bytes& image, std::size_t block) {
    const auto first = image.begin() + static_cast<std::ptrdiff_t>(block * sim::kBlockSize);
    const sim::Bytes data(first, first + sim::kBlockSize);
    const sim::BlockChecks checks = sim::ChecksOf(data);
    sim::Bytes frame = {sim::kFrameMark, sim::kFrameTag, sim::kDataCommand};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(checks.sum);
    frame.push_back(checks.xorValue);
    return frame;
}

sim::Bytes ResetFrame() {
    sim::Bytes frame = {sim::kFrameMark, sim::kFrameTag, sim::kResetCommand};
    frame.resize(frame.size() + kResetPadding, 0);
    return frame;
}

// Collects the MCU's requests from the bytes as they come; the simulator
// sends nothing else in a plain session.
class RequestReader {
public:
    // The block number once a whole request is in, -1 until then.
    int Take(std::uint8_t byte) {
        const bool fits = (pending_.empty() && byte == sim::kFrameMark) ||
                          (pending_.size() == 1 && byte == sim::kFrameTag) || pending_.size() > 1;
        if (!fits) {
            pending_.clear();
            return -1;
        }
        pending_.push_back(byte);
        if (pending_.size() < sim::kRequestLength) {
            return -1;
        }
        const int block = pending_[kNumberHigh] << 8 | pending_[kNumberLow];
        pending_.clear();
        return block;
    }

private:
    sim::Bytes pending_;
};

}  // namespace

bool PlayInstantHost(const std::string& device, const sim::Bytes& image, Clock::time_point deadline,
                     std::string& error) {
    const sim::UniqueFd line(open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!line.Valid() || !WriteAll(line.Get(), EnterUpgradeFrame())) {
        error = "the instant host could not open or write " + device;
        return false;
    }
    RequestReader reader;
    const std::size_t blocks = image.size() / sim::kBlockSize;
    while (Clock::now() < deadline && !Interrupted()) {
        pollfd wait{line.Get(), POLLIN, 0};
        if (poll(&wait, 1, kPollMs) <= 0) {
            continue;
        }
        std::array<std::uint8_t, 256> chunk{};
        const auto count = read(line.Get(), chunk.data(), chunk.size());
        for (auto i = 0; i < std::max<decltype(count)>(count, 0); ++i) {
            const int block = reader.Take(chunk[static_cast<std::size_t>(i)]);
            if (block == sim::kCompletionBlock) {
                return WriteAll(line.Get(), ResetFrame());
            }
            if (block >= 0 && static_cast<std::size_t>(block) < blocks) {
                WriteAll(line.Get(), DataFrame(image, static_cast<std::size_t>(block)));
            }
        }
    }
    error = "the instant host saw no completion request in time";
    return false;
}

}  // namespace vardel::bench
