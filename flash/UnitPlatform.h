// The platform of one unit: the system's own, with its serial device, but the
// firmware file the engine opens is the chosen file's bytes, read once for all
// units. It also watches the line for what the command line tells the user and
// the engine does not keep: the block the MCU asked for last, when it asked,
// and how many data frames went out whole.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Platform.h"

namespace vardel::flash {

class UnitPlatform final : public Platform {
public:
    using Clock = std::chrono::steady_clock;

    UnitPlatform(std::unique_ptr<Platform> system, const std::vector<std::uint8_t>& firmware);

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

    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override;
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override;

    PortHandle OpenSerial() override { return system_->OpenSerial(); }
    bool ConfigureSerial(PortHandle port) override { return system_->ConfigureSerial(port); }
    void PurgeSerial(PortHandle port) override { system_->PurgeSerial(port); }
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override {
        system_->WaitSerialReadable(port, timeoutMs);
    }
    void CloseSerial(PortHandle port) override { system_->CloseSerial(port); }
    std::uint32_t TickCount() override { return system_->TickCount(); }
    std::uint32_t TotalPhysicalMemory() override { return system_->TotalPhysicalMemory(); }
    std::uint8_t* Allocate(std::size_t size) override { return system_->Allocate(size); }
    void Free(std::uint8_t* block) override { system_->Free(block); }
    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override {
        return system_->ProgramFilePath(buffer, capacity);
    }
    [[nodiscard]] char16_t FolderSeparator() const override { return system_->FolderSeparator(); }

    // The block of the MCU's latest block request (65,535: the completion).
    [[nodiscard]] std::optional<std::uint32_t> LastRequest() const { return lastRequest_; }
    // When a request last arrived, or else when the enter-upgrade frame went out.
    [[nodiscard]] std::optional<Clock::time_point> LastHeard() const { return lastHeard_; }
    // The block of the latest data frame written whole: the one asked for last.
    [[nodiscard]] std::optional<std::uint32_t> LastServed() const { return lastServed_; }
    [[nodiscard]] std::uint32_t DataFramesSent() const { return dataFrames_; }

private:
    static constexpr FileHandle kServedFile = 1;
    static constexpr std::size_t kRequestLength = 7;

    void Watch(std::uint8_t byte);

    std::unique_ptr<Platform> system_;
    const std::vector<std::uint8_t>& firmware_;
    std::size_t served_ = 0;                    // bytes of the file handed out since it was opened
    std::uint8_t recent_[kRequestLength] = {};  // the last bytes read, oldest first
    std::optional<std::uint32_t> lastRequest_;
    std::optional<std::uint32_t> lastServed_;
    std::optional<Clock::time_point> lastHeard_;
    std::uint32_t dataFrames_ = 0;
};

}  // namespace vardel::flash
