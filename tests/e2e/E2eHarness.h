// End to end: the engine on the real Linux platform, ticking every 5 ms as the
// window does, against the simulated MCU on the other side of a real
// pseudo-terminal. The firmware files sit in a folder of the test's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/posix/PosixPlatform.h"
#include "sim/McuSimulator.h"
#include "sim/PseudoTerminal.h"

namespace vardel::e2e {

// The Linux platform as it is, but for the program file's path: the program
// "lives" in a folder of the test's own, so that tests running side by side
// never share firmware files.
class RelocatedPlatform : public Platform {
public:
    RelocatedPlatform(Platform& inner, std::u16string programPath)
        : inner_(inner), programPath_(std::move(programPath)) {}

    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override {
        const auto length = static_cast<std::uint32_t>(programPath_.size());
        if (length < capacity) {
            programPath_.copy(buffer, length);
            buffer[length] = u'\0';
        }
        return length;
    }

    PortHandle OpenSerial() override { return inner_.OpenSerial(); }
    bool ConfigureSerial(PortHandle p) override { return inner_.ConfigureSerial(p); }
    void PurgeSerial(PortHandle p) override { inner_.PurgeSerial(p); }
    std::uint32_t WriteSerial(PortHandle p, const std::uint8_t* b, std::uint32_t n) override {
        return inner_.WriteSerial(p, b, n);
    }
    bool ReadSerialByte(PortHandle p, std::uint8_t& b) override {
        return inner_.ReadSerialByte(p, b);
    }
    void WaitSerialReadable(PortHandle p, std::uint32_t ms) override {
        inner_.WaitSerialReadable(p, ms);
    }
    void CloseSerial(PortHandle p) override { inner_.CloseSerial(p); }
    std::uint32_t TickCount() override { return inner_.TickCount(); }
    std::uint32_t TotalPhysicalMemory() override { return inner_.TotalPhysicalMemory(); }
    std::uint8_t* Allocate(std::size_t n) override { return inner_.Allocate(n); }
    void Free(std::uint8_t* b) override { inner_.Free(b); }
    void MatchFileNameCase(char16_t* path) override { inner_.MatchFileNameCase(path); }
    FileHandle OpenFileForReading(const char16_t* path) override {
        return inner_.OpenFileForReading(path);
    }
    std::uint32_t ReadFile(FileHandle f, std::uint8_t* b, std::uint32_t n,
                           std::uint32_t& e) override {
        return inner_.ReadFile(f, b, n, e);
    }
    void CloseFile(FileHandle f) override { inner_.CloseFile(f); }
    void DebugPrint(const char16_t* line) override {
        debugLines_.emplace_back(line);
        inner_.DebugPrint(line);
    }
    ProgramHandle FindProgram(const char16_t* name) override {
        ++programLookups_;
        return inner_.FindProgram(name);
    }
    void AskProgramToQuit(ProgramHandle p) override { inner_.AskProgramToQuit(p); }

    const std::vector<std::u16string>& DebugLines() const { return debugLines_; }
    // How often the navigation program was looked for, to be asked to quit.
    std::size_t ProgramLookups() const { return programLookups_; }

private:
    Platform& inner_;
    std::u16string programPath_;
    std::vector<std::u16string> debugLines_;
    std::size_t programLookups_ = 0;
};

// Pseudo-random bytes of our own, the same for the same seed.
std::vector<std::uint8_t> MakeImage(std::size_t size, std::uint32_t seed);

// One upgrade run: a simulator session on a fresh pseudo-terminal, the image
// written as both firmware files, and an engine that ticks every 5 ms.
class UpgradeRun {
public:
    struct Setup {
        // Where the engine looks for "COM4:"; empty: the pseudo-terminal itself.
        std::string device;
        // Whether the image is written as both firmware files beforehand.
        bool writeFirmware = true;
    };

    UpgradeRun(const sim::Options& options, const std::vector<std::uint8_t>& image);
    UpgradeRun(const sim::Options& options, const std::vector<std::uint8_t>& image,
               const Setup& setup);
    ~UpgradeRun();
    UpgradeRun(const UpgradeRun&) = delete;
    UpgradeRun& operator=(const UpgradeRun&) = delete;

    // AdvanceTo(STEP_DONE), as a user would; returns the step reached.
    int RunToDone(std::chrono::milliseconds limit);
    // Ticks every 5 ms, as the window's timer does, until done() holds after
    // a tick or the time is up; returns whether done() held.
    bool TickUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Ticks, pressing start once the port is open, until the engine has
    // reached `step` and `also` holds; returns whether it got there in time.
    bool AdvanceTo(
        int step, std::chrono::milliseconds limit,
        const std::function<bool()>& also = [] { return true; });
    // Ticks for a while, whatever happens.
    void TickFor(std::chrono::milliseconds span) {
        TickUntil([] { return false; }, span);
    }
    // The start button, at any step.
    void PressStart() { engine_.RequestStart(); }
    // Presses "完成重启" (writes the reset frame) and waits for the MCU's verdict.
    sim::Verdict FinishWithReset();
    // Ends the MCU's session without a reset frame and returns its verdict.
    sim::Verdict Abandon();

    UpgradeEngine& Engine() { return engine_; }
    // Every text the engine reported, in order.
    const std::vector<std::u16string>& Texts() const;
    // Every step the engine was seen in after a tick, without repeats.
    const std::vector<int>& Steps() const { return steps_; }
    std::chrono::milliseconds Elapsed() const { return elapsed_; }
    // Ticks so far, and the longest one: the window gets no message while a
    // tick runs.
    std::size_t TickCount() const { return ticks_; }
    std::chrono::milliseconds LongestTick() const { return longestTick_; }
    bool Reported(std::u16string_view text) const;
    bool PrintedLineStarting(std::u16string_view start) const;
    // Ticks on which the navigation program was asked to quit.
    std::size_t QuitRequests() const { return platform_.ProgramLookups(); }
    // Replaces a firmware file's content (both files when name is empty).
    void WriteFirmware(const std::vector<std::uint8_t>& bytes, const std::string& name = {});
    // The MCU's end of the line is gone: the simulator stops and the
    // pseudo-terminal's master side is closed, as when a cable is pulled.
    void HangUp();

    // Calls `everyTick` after each tick of RunToDone.
    std::function<void(UpgradeRun&)> everyTick;

    const std::filesystem::path& Folder() const { return folder_; }
    const std::string& Device() const { return pty_.SlavePath(); }

private:
    std::filesystem::path folder_;
    sim::PseudoTerminal pty_;
    PosixPlatform posix_;
    RelocatedPlatform platform_;
    UpgradeEngine engine_;
    sim::McuSimulator mcu_;
    std::thread session_;
    std::vector<int> steps_;
    std::chrono::milliseconds elapsed_{0};
    std::size_t ticks_ = 0;
    std::chrono::milliseconds longestTick_{0};
};

}  // namespace vardel::e2e
