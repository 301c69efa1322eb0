// A host written by hand for the simulator's tests: the little the real host
// does on the wire (enter-upgrade frame, one data frame per block request,
// nothing before block 0, the reset frame after the completion), built from
// plain bytes here, with knobs that make it misbehave. The sessions here send
// no status replies, so every frame from the MCU is a 7-byte request.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "sim/McuSimulator.h"

namespace vardel::sim::test {

inline Bytes CountingImage(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return image;
}

struct HandHostKnobs {
    bool sendReset = true;      // after the completion request
    bool answerBeyond = false;  // with a frame of zeros
    // The first answer to a block: a spoilt byte at an offset of the frame,
    std::map<int, std::size_t> spoilFirst;
    // or other data and checks that fit it.
    std::set<int> wrongDataFirst;
};

class HandHost {
public:
    explicit HandHost(Bytes image, HandHostKnobs knobs = {})
        : image_(std::move(image)), knobs_(std::move(knobs)) {}

    std::vector<int> requests;          // block numbers, the completion as 65535
    std::atomic<bool> finished{false};  // set from outside to end Play() early

    // Plays on `fd` until the other end closes, `finished` is set, or `limit` passes.
    void Play(int fd, std::chrono::milliseconds limit) {
        fd_ = fd;
        Write({0x23, 0x55, 0x02, 0x56, 0x4B, 0x54});
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            pollfd wait{fd_, POLLIN, 0};
            std::uint8_t byte = 0;
            if (poll(&wait, 1, 20) <= 0) continue;
            if (read(fd_, &byte, 1) != 1) return;
            // Noise is whatever does not begin "#U".
            if (pending_.size() < 2 && byte != (pending_.empty() ? 0x23 : 0x55)) {
                pending_.clear();
                continue;
            }
            pending_.push_back(byte);
            if (pending_.size() == 7) {
                OnRequest(pending_);
                pending_.clear();
            }
        }
    }

private:
    static Bytes DataFrame(Bytes data) {
        std::uint8_t sum = 0;
        std::uint8_t xorValue = 0;
        for (const std::uint8_t b : data) {
            sum = static_cast<std::uint8_t>(sum + b);
            xorValue ^= b;
        }
        data.insert(data.begin(), {0x23, 0x55, 0x44});
        data.push_back(sum);
        data.push_back(xorValue);
        return data;
    }

    void OnRequest(const Bytes& request) {
        if (request[5] != 0xFF - request[3] || request[6] != 0xFF - request[4]) return;
        const int block = request[3] * 256 + request[4];
        requests.push_back(block);
        if (block == 0xFFFF) {
            if (inTransfer_ && knobs_.sendReset) {
                Bytes reset(69, 0);
                reset[0] = 0x23;
                reset[1] = 0x55;
                reset[2] = 0x52;
                Write(reset);
            }
            return;
        }
        if (!inTransfer_ && block != 0) return;
        inTransfer_ = true;
        const auto start = static_cast<std::size_t>(block) * 64;
        if (start + 64 > image_.size()) {
            if (knobs_.answerBeyond) Write(DataFrame(Bytes(64, 0)));
            return;
        }
        Bytes data(image_.begin() + static_cast<long>(start),
                   image_.begin() + static_cast<long>(start + 64));
        const bool first = answered_.insert(block).second;
        if (first && knobs_.wrongDataFirst.contains(block)) data[10] ^= 0x40;
        Bytes frame = DataFrame(data);
        if (first && knobs_.spoilFirst.contains(block)) frame[knobs_.spoilFirst.at(block)] ^= 0x01;
        Write(frame);
    }

    void Write(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto count = write(fd_, bytes.data() + done, bytes.size() - done);
            if (count <= 0) return;
            done += static_cast<std::size_t>(count);
        }
    }

    Bytes image_;
    HandHostKnobs knobs_;
    int fd_ = -1;
    Bytes pending_;
    bool inTransfer_ = false;
    std::set<int> answered_;
};

// Short limits, so that a test waits for what it must and no longer.
inline Options QuickOptions() {
    Options options;
    options.handshakeTimeout = std::chrono::milliseconds(2000);
    options.dataTimeout = std::chrono::milliseconds(300);
    options.refusalWait = std::chrono::milliseconds(80);
    options.resetTimeout = std::chrono::milliseconds(500);
    options.frameGap = std::chrono::milliseconds(100);
    return options;
}

// One session of the simulator against `host` over a socket pair.
inline Verdict PlaySession(const Options& options, const Bytes& image, HandHost& host) {
    McuSimulator mcu(options, image);
    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return {};
    std::thread session([&mcu, &host, mcuEnd = ends[1]] {
        mcu.Run(mcuEnd);
        host.finished = true;
    });
    host.Play(ends[0], std::chrono::milliseconds(10000));
    mcu.Stop();
    session.join();
    close(ends[0]);
    close(ends[1]);
    return mcu.Result();
}

}  // namespace vardel::sim::test
