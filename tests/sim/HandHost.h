// A host written by hand for the simulator's tests: the little the real host
// does on the wire (enter-upgrade frame, one data frame per block request,
// nothing before block 0, the reset frame after the completion), built from
// plain bytes here, with knobs that make it misbehave.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/McuSimulator.h"

namespace vardel::sim::test {

inline std::size_t BlocksOf(std::size_t blocks) { return blocks * kBlockSize; }

inline Bytes CountingImage(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return image;
}

struct HandHostKnobs {
    Bytes before;           // written before the enter-upgrade frame
    bool sendReset = true;  // after the completion request
    bool serveBeforeBlockZero = false;
    bool answerBeyond = false;  // with a frame of zeros
    int neverAnswer = -1;       // a block that gets no answer
    // The first answer to a block: a spoilt byte at an offset of the frame...
    std::map<int, std::size_t> spoilFirst;
    // ...cut to this many bytes...
    std::map<int, std::size_t> cutFirst;
    // ...or followed by these bytes...
    std::map<int, Bytes> appendFirst;
    // ...or with other data and checks that fit it.
    std::set<int> wrongDataFirst;
};

class HandHost {
public:
    explicit HandHost(Bytes image, HandHostKnobs knobs = {})
        : image_(std::move(image)), knobs_(std::move(knobs)) {}

    // What the host saw, in order: "0".."65535" for block requests,
    // "KOK"/"ENG"/"KNG" for status replies, "bad" for a bad complement.
    std::vector<std::string> seen;
    std::vector<int> requests;  // block numbers only, the completion as 65535
    std::size_t strayBytes = 0;
    bool resetSent = false;
    std::atomic<bool> finished{false};  // set from outside to end Play() early

    // Plays on `fd` until the other end closes, `finished` is set, or `limit` passes.
    void Play(int fd, std::chrono::milliseconds limit) {
        fd_ = fd;
        Write(knobs_.before);
        Write({0x23, 0x55, 0x02, 0x56, 0x4B, 0x54});
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 20) <= 0) {
                continue;
            }
            std::array<std::uint8_t, 256> chunk{};
            const auto count = read(fd_, chunk.data(), chunk.size());
            if (count <= 0) {
                return;
            }
            pending_.insert(pending_.end(), chunk.begin(), chunk.begin() + count);
            Parse();
        }
    }

    std::size_t PendingBytes() const { return pending_.size(); }

    static Bytes DataFrame(const std::uint8_t* data) {
        Bytes frame = {0x23, 0x55, 0x44};
        std::uint8_t sum = 0;
        std::uint8_t xorValue = 0;
        for (int i = 0; i < 64; ++i) {
            frame.push_back(data[i]);
            sum = static_cast<std::uint8_t>(sum + data[i]);
            xorValue ^= data[i];
        }
        frame.push_back(sum);
        frame.push_back(xorValue);
        return frame;
    }

private:
    void Parse() {
        for (;;) {
            if (pending_.empty()) {
                return;
            }
            if (pending_[0] != 0x23 || (pending_.size() >= 2 && pending_[1] != 0x55)) {
                ++strayBytes;
                pending_.erase(pending_.begin());
                continue;
            }
            if (pending_.size() >= 5) {
                const std::string text(pending_.begin() + 2, pending_.begin() + 5);
                if (text == "KOK" || text == "ENG" || text == "KNG") {
                    seen.push_back(text);
                    pending_.erase(pending_.begin(), pending_.begin() + 5);
                    continue;
                }
            }
            if (pending_.size() < 7) {
                return;
            }
            OnRequest(Bytes(pending_.begin(), pending_.begin() + 7));
            pending_.erase(pending_.begin(), pending_.begin() + 7);
        }
    }

    void OnRequest(const Bytes& request) {
        if (request[5] != 0xFF - request[3] || request[6] != 0xFF - request[4]) {
            seen.emplace_back("bad");
            return;
        }
        const int block = request[3] * 256 + request[4];
        seen.push_back(std::to_string(block));
        requests.push_back(block);
        if (block == 0xFFFF) {
            if (inTransfer_ && knobs_.sendReset) {
                Bytes reset(69, 0);
                reset[0] = 0x23;
                reset[1] = 0x55;
                reset[2] = 0x52;
                Write(reset);
                resetSent = true;
            }
            return;
        }
        if (!inTransfer_ && block != 0 && !knobs_.serveBeforeBlockZero) {
            return;
        }
        inTransfer_ = true;
        if (block == knobs_.neverAnswer) {
            return;
        }
        const auto end = static_cast<std::size_t>(block) * 64 + 64;
        if (end > image_.size()) {
            if (knobs_.answerBeyond) {
                const Bytes zeros(64, 0);
                Write(DataFrame(zeros.data()));
            }
            return;
        }
        Answer(block, DataFrame(image_.data() + end - 64));
    }

    void Answer(int block, Bytes frame) {
        if (answered_[block]++ == 0) {
            if (knobs_.wrongDataFirst.contains(block)) {
                Bytes data(frame.begin() + 3, frame.begin() + 67);
                data[10] ^= 0x40;
                frame = DataFrame(data.data());
            }
            if (knobs_.spoilFirst.contains(block)) {
                frame[knobs_.spoilFirst.at(block)] ^= 0x01;
            }
            if (knobs_.cutFirst.contains(block)) {
                frame.resize(knobs_.cutFirst.at(block));
            }
            if (knobs_.appendFirst.contains(block)) {
                const Bytes& extra = knobs_.appendFirst.at(block);
                frame.insert(frame.end(), extra.begin(), extra.end());
            }
        }
        Write(frame);
    }

    void Write(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto count = write(fd_, bytes.data() + done, bytes.size() - done);
            if (count <= 0) {
                return;
            }
            done += static_cast<std::size_t>(count);
        }
    }

    Bytes image_;
    HandHostKnobs knobs_;
    int fd_ = -1;
    Bytes pending_;
    bool inTransfer_ = false;
    std::map<int, int> answered_;
};

// Short limits, so that a test waits for what it must and no longer.
inline Options QuickOptions() {
    Options options;
    options.handshakeTimeout = std::chrono::milliseconds(2000);
    options.dataTimeout = std::chrono::milliseconds(300);
    options.refusalWait = std::chrono::milliseconds(80);
    options.resetTimeout = std::chrono::milliseconds(500);
    options.frameGap = std::chrono::milliseconds(100);
    options.splitPause = std::chrono::milliseconds(150);
    return options;
}

// One session of the simulator against `host` over a socket pair.
inline Verdict PlaySession(McuSimulator& mcu, HandHost& host,
                           std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return {};
    }
    std::thread session([&mcu, &host, mcuEnd = ends[1]] {
        mcu.Run(mcuEnd);
        host.finished = true;
    });
    host.Play(ends[0], limit);
    mcu.Stop();
    session.join();
    close(ends[0]);
    close(ends[1]);
    return mcu.Result();
}

inline Verdict PlaySession(const Options& options, const Bytes& image, HandHost& host) {
    McuSimulator mcu(options, image);
    return PlaySession(mcu, host);
}

}  // namespace vardel::sim::test
