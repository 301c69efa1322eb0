// --trace FILE: every byte on each unit's line, both ways, with its time from
// the start in microseconds and the frame it forms, one line per frame or run
// of bytes that form none; with several ports each line names its port.
// Units hand the bytes over and go on; the trace's own thread decodes and
// writes them, so that a slow disk never delays a data frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "flash/UnitPlatform.h"

namespace vardel::flash {

class TraceDecoder;

class Trace {
public:
    Trace(const std::string& path, std::vector<std::string> ports);
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    [[nodiscard]] bool Opened() const { return file_.is_open(); }
    [[nodiscard]] std::string Error() const { return error_; }
    // What unit `unit`'s platform calls with each byte on its line.
    [[nodiscard]] UnitPlatform::LineTap TapOf(std::size_t unit);
    // Writes what is left, the bytes of a frame cut short among it.
    void Close();

private:
    struct Bytes {
        std::size_t unit = 0;
        bool fromHost = false;
        UnitPlatform::Clock::time_point at;
        std::vector<std::uint8_t> bytes;
    };

    void Run();

    std::ofstream file_;
    std::string error_;
    UnitPlatform::Clock::time_point start_;
    std::vector<std::unique_ptr<TraceDecoder>> decoders_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Bytes> queue_;
    bool closing_ = false;
    std::thread thread_;
};

// Turns one port's bytes into the trace's lines.
class TraceDecoder {
public:
    using Clock = UnitPlatform::Clock;
    // prefix: what begins each line after the time (the port, or nothing).
    explicit TraceDecoder(std::string prefix) : prefix_(std::move(prefix)) {}

    // The lines that the bytes complete, each ending in a line feed; `us` is
    // the bytes' time from the start.
    std::string Take(bool fromHost, const std::uint8_t* bytes, std::size_t length, std::int64_t us);
    // The MCU's bytes that form no whole frame yet, as a run of junk.
    std::string Flush();

private:
    std::string Host(const std::uint8_t* bytes, std::size_t length, std::int64_t us);
    std::string Mcu(std::int64_t us);
    std::string Line(std::int64_t us, const char* side, const std::string& meaning,
                     const std::uint8_t* bytes, std::size_t length) const;
    std::string Junk(std::size_t count);

    std::string prefix_;
    std::vector<std::uint8_t> pending_;  // the MCU's bytes not yet in a line
    std::int64_t pendingSince_ = 0;
    std::int64_t lastUs_ = 0;
    std::int64_t requested_ = -1;  // the block the MCU asked for last
};

}  // namespace vardel::flash
