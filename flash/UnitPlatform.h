// The platform of one unit: the system's own, with its serial device, but the
// firmware file the engine opens is the chosen file's bytes, read once for all
// units. It also watches the line for what the command line tells the user and
// the engine does not keep: the block the MCU asked for last, when the upgrade
// last moved on, which of the file's blocks went out, and the port going away.
//
// A port that goes away (a pulled adapter, a hung-up line) is closed and opened
// again under the same path as soon as it is back, behind the engine's back:
// the engine keeps its one handle, meanwhile reads find no byte and writes go
// out short, and the MCU, which leads, asks again for what it still needs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ForwardingPlatform.h"
#include "platform/ServedFile.h"

namespace vardel::flash {

class UnitPlatform final : public ForwardingPlatform {
public:
    using Clock = std::chrono::steady_clock;
    // Each byte on the line as it goes: true for the host's, at the time given.
    using LineTap = std::function<void(bool fromHost, const std::uint8_t* bytes,
                                       std::uint32_t length, Clock::time_point at)>;

    UnitPlatform(std::unique_ptr<Platform> system, const std::vector<std::uint8_t>& firmware);

    void TapLine(LineTap tap) { tap_ = std::move(tap); }

    // Every file the engine opens is the chosen one; its name is not looked at.
    FileHandle OpenFileForReading(const char16_t* path) override;
    std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t& error) override;
    void CloseFile(FileHandle file) override;
    void MatchFileNameCase(char16_t* /*path*/) override {}
    // The loader's debug lines would name a file that is not the one served.
    void DebugPrint(const char16_t* /*line*/) override {}
    // A bench PC runs no navigation program, and a process that happens to
    // bear its name is none of ours to end.
    ProgramHandle FindProgram(const char16_t* /*name*/) override { return 0; }
    void AskProgramToQuit(ProgramHandle /*program*/) override {}
    // The program's own path plays no part: the file is served whatever its
    // name, so the engine is given a short one of its own.
    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override;

    PortHandle OpenSerial() override;
    bool ConfigureSerial(PortHandle port) override;
    void PurgeSerial(PortHandle port) override;
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override;
    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override;
    // While the port is gone: sleeps, and opens it again when it is back.
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override;
    void CloseSerial(PortHandle port) override;
    [[nodiscard]] LineFault SerialFault(PortHandle port) const override;

    // The block of the MCU's latest block request (65,535: the completion).
    [[nodiscard]] std::optional<std::uint32_t> LastRequest() const { return lastRequest_; }
    // When the MCU last asked for anything.
    [[nodiscard]] std::optional<Clock::time_point> LastHeard() const { return lastHeard_; }
    // When the upgrade last moved on: the enter-upgrade frame, a data frame
    // written whole, or the port back.
    [[nodiscard]] std::optional<Clock::time_point> LastProgress() const { return lastProgress_; }
    // The block of the latest data frame written whole: the one asked for last.
    [[nodiscard]] std::optional<std::uint32_t> LastServed() const { return lastServed_; }
    [[nodiscard]] std::uint32_t DataFramesSent() const { return dataFrames_; }
    // The share of the file's whole blocks that went out at least once, in
    // percent: it never passes 100 and only grows, whatever order the MCU asks in.
    [[nodiscard]] int ServedPercent() const;
    // Since when the port has been gone; none while it is there.
    [[nodiscard]] std::optional<Clock::time_point> GoneSince() const { return goneSince_; }
    [[nodiscard]] std::uint32_t Reconnections() const { return reconnections_; }

private:
    // The engine's handle of the port, whichever system handle stands behind it.
    static constexpr PortHandle kEnginePort = 1;
    static constexpr std::size_t kRequestLength = 7;
    static constexpr auto kReopenEvery = std::chrono::milliseconds(100);

    void Watch(std::uint8_t byte);
    void LookForFault();
    void Reopen();

    LineTap tap_;
    PortHandle systemPort_ = 0;  // 0 while closed or gone
    bool open_ = false;          // in the engine's eyes
    LineFault fault_ = LineFault::None;
    std::optional<Clock::time_point> goneSince_;
    Clock::time_point reopenedAt_;
    std::uint32_t reconnections_ = 0;
    ServedFile file_;
    std::uint8_t recent_[kRequestLength] = {};  // the last bytes read, oldest first
    std::optional<std::uint32_t> lastRequest_;
    std::optional<std::uint32_t> lastServed_;
    std::optional<Clock::time_point> lastHeard_;
    std::optional<Clock::time_point> lastProgress_;
    std::uint32_t dataFrames_ = 0;
    std::vector<bool> served_;  // by block of the file
    std::uint32_t servedBlocks_ = 0;
};

}  // namespace vardel::flash
