#include "flash/Trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/WireProtocol.h"

namespace vardel::flash {
namespace {

// A request is "#U", a kind byte, H, L, ~H, ~L.
constexpr std::size_t kRequestLength = 7;
constexpr const char* kStatusReplies[] = {wire::kStatusEraseOk, wire::kStatusEraseFailed,
                                          wire::kStatusChipEncrypted};

bool StartsFrame(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] == wire::kFrameStart0 &&
           (at + 1 == bytes.size() || bytes[at + 1] == wire::kFrameStart1);
}

}  // namespace

std::string TraceDecoder::Line(std::int64_t us, const char* side, const std::string& meaning,
                               const std::uint8_t* bytes, std::size_t length) const {
    char time[32];
    (void)std::snprintf(time, sizeof time, "%12lld us  ", static_cast<long long>(us));
    std::string line = time + prefix_ + side + "  " + meaning + ":";
    for (std::size_t i = 0; i < length; ++i) {
        char hex[4];
        (void)std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
        line += hex;
    }
    return line + "\n";
}

std::string TraceDecoder::Take(bool fromHost, const std::uint8_t* bytes, std::size_t length,
                               std::int64_t us) {
    lastUs_ = us;
    if (fromHost) return Flush() + Host(bytes, length, us);
    if (pending_.empty()) pendingSince_ = us;
    pending_.insert(pending_.end(), bytes, bytes + length);
    return Mcu(us);
}

// The host writes each frame whole, in one write.
std::string TraceDecoder::Host(const std::uint8_t* bytes, std::size_t length, std::int64_t us) {
    std::string meaning = "bytes that form no frame";
    const std::uint8_t command = length >= wire::kHeaderLength && bytes[0] == wire::kFrameStart0 &&
                                         bytes[1] == wire::kFrameStart1
                                     ? bytes[2]
                                     : 0;
    if (command == wire::kCmdEnterUpgrade && length == wire::kEnterUpgradeLength) {
        meaning = "enter-upgrade";
    } else if (command == wire::kCmdData && length == wire::kDataFrameLength) {
        meaning = requested_ >= 0 ? "data frame of block " + std::to_string(requested_)
                                  : "data frame, no block asked for";
    } else if (command == wire::kCmdReset && length == wire::kResetFrameLength) {
        meaning = "reset";
    } else if (command != 0) {
        meaning = "a frame cut short (" + std::to_string(length) + " bytes)";
    }
    return Line(us, "host", meaning, bytes, length);
}

// Lines for every whole frame at the front of the MCU's bytes, and for the
// bytes before a frame that form none.
std::string TraceDecoder::Mcu(std::int64_t us) {
    std::string lines;
    for (;;) {
        std::size_t junk = 0;
        while (junk < pending_.size() && !StartsFrame(pending_, junk)) ++junk;
        if (junk > 0) lines += Junk(junk);
        if (pending_.size() >= wire::kStatusReplyLength) {
            const auto* reply = std::find_if(
                std::begin(kStatusReplies), std::end(kStatusReplies), [&](const char* text) {
                    return std::memcmp(pending_.data(), text, wire::kStatusReplyLength) == 0;
                });
            if (reply != std::end(kStatusReplies)) {
                lines += Line(pendingSince_, "mcu ", std::string("status reply ") + (*reply + 2),
                              pending_.data(), wire::kStatusReplyLength);
                pending_.erase(pending_.begin(), pending_.begin() + wire::kStatusReplyLength);
                pendingSince_ = us;
                continue;
            }
        }
        if (pending_.size() < kRequestLength) return lines;
        const std::uint8_t* r = pending_.data();
        if (static_cast<std::uint8_t>(~r[3]) != r[5] || static_cast<std::uint8_t>(~r[4]) != r[6]) {
            lines += Junk(1);
            continue;
        }
        const auto block = static_cast<std::uint32_t>(r[3] << 8 | r[4]);
        const bool completion = block == wire::kCompletionBlock;
        if (!completion) requested_ = block;
        lines +=
            Line(pendingSince_, "mcu ",
                 completion ? "completion request" : "request for block " + std::to_string(block),
                 r, kRequestLength);
        pending_.erase(pending_.begin(), pending_.begin() + kRequestLength);
        pendingSince_ = us;
    }
}

std::string TraceDecoder::Junk(std::size_t count) {
    std::string line =
        Line(pendingSince_, "mcu ", "bytes that form no frame", pending_.data(), count);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    return line;
}

std::string TraceDecoder::Flush() {
    return pending_.empty() ? std::string() : Junk(pending_.size());
}

Trace::Trace(const std::string& path, std::vector<std::string> ports)
    : file_(path, std::ios::out | std::ios::trunc | std::ios::binary),
      start_(UnitPlatform::Clock::now()) {
    if (!file_.is_open()) {
        error_ = std::strerror(errno);
        return;
    }
    for (const auto& port : ports) {
        decoders_.push_back(std::make_unique<TraceDecoder>(ports.size() > 1 ? port + "  " : ""));
    }
    thread_ = std::thread([this] { Run(); });
}

Trace::~Trace() { Close(); }

UnitPlatform::LineTap Trace::TapOf(std::size_t unit) {
    return [this, unit](bool fromHost, const std::uint8_t* bytes, std::uint32_t length,
                        UnitPlatform::Clock::time_point at) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            queue_.push_back({unit, fromHost, at, {bytes, bytes + length}});
        }
        wake_.notify_one();
    };
}

void Trace::Close() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    for (auto& decoder : decoders_) file_ << decoder->Flush();
    file_.flush();
}

void Trace::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return !queue_.empty() || closing_; });
        if (queue_.empty()) return;
        std::deque<Bytes> batch;
        batch.swap(queue_);
        hold.unlock();
        std::string text;
        for (const Bytes& part : batch) {
            const auto us =
                std::chrono::duration_cast<std::chrono::microseconds>(part.at - start_).count();
            text +=
                decoders_[part.unit]->Take(part.fromHost, part.bytes.data(), part.bytes.size(), us);
        }
        file_ << text;
        hold.lock();
    }
}

}  // namespace vardel::flash
