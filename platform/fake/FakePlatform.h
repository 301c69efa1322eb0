// A platform for tests: a serial line whose input bytes arrive at chosen clock
// times, captured writes (optionally accepted only in part), settings that can
// be refused, a settable millisecond clock, fake files, a settable memory size,
// captured debug lines and fake programs.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vardel {

class FakePlatform : public Platform {
public:
    struct File {
        std::vector<std::uint8_t> bytes;
        bool lockedByOther = false;   // another program holds it open
        std::uint32_t readError = 0;  // nonzero: every read fails with it
    };
    struct Program {
        std::u16string name;
        ProgramHandle handle = 0;
    };

    // --- serial ---
    bool portExists = true;
    bool refuseSettings = false;
    // Bytes the line takes from each write before it fails; unlimited by default.
    std::uint32_t writeLimit = UINT32_MAX;
    int openCalls = 0;
    int configureCalls = 0;
    int purgeCalls = 0;
    int closeCalls = 0;
    int readCalls = 0;
    int waitCalls = 0;
    // A line that cannot be waited on: each wait returns at once, so a caller
    // has to keep reading, as a poll window that spins does.
    bool waitReturnsAtOnce = false;
    std::vector<std::vector<std::uint8_t>> writes;  // what each write put on the line
    // Everything the engine asked to write, in order, including what was refused.
    std::vector<std::vector<std::uint8_t>> writeRequests;
    PortHandle openPort = 0;  // the handle while open, else 0

    // Bytes that reach the port's input queue once the clock shows atMs.
    void Arrive(std::uint32_t atMs, const std::vector<std::uint8_t>& bytes);
    // Bytes waiting now or later that nobody has read yet.
    [[nodiscard]] std::size_t PendingInput() const { return input_.size(); }

    // --- clock ---
    std::uint32_t now = 0;
    // Each TickCount call moves the clock on by this much, so that a loop that
    // keeps asking for the time also sees it pass.
    std::uint32_t msPerTickCount = 1;
    int tickCountCalls = 0;

    // --- memory ---
    std::uint32_t totalPhysical = 128u * 1024u * 1024u;
    bool refuseAllocation = false;
    int allocations = 0;
    int frees = 0;

    // --- files ---
    std::u16string programPath = u"/opt/vardel/vardel";
    char16_t folderSeparator = u'/';
    bool programPathFails = false;
    std::map<std::u16string, File> files;
    std::vector<std::u16string> openedPaths;  // every open attempt, in order
    int openFiles = 0;                        // files open right now

    // --- debug output ---
    std::vector<std::u16string> debugLines;

    // --- other programs ---
    std::vector<Program> programs;
    std::vector<ProgramHandle> quitRequests;

    PortHandle OpenSerial() override;
    bool ConfigureSerial(PortHandle port) override;
    void PurgeSerial(PortHandle port) override;
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override;
    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override;
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override;
    void CloseSerial(PortHandle port) override;
    std::uint32_t TickCount() override;
    std::uint32_t TotalPhysicalMemory() override;
    std::uint8_t* Allocate(std::size_t size) override;
    void Free(std::uint8_t* block) override;
    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override;
    [[nodiscard]] char16_t FolderSeparator() const override { return folderSeparator; }
    FileHandle OpenFileForReading(const char16_t* path) override;
    std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t& error) override;
    void CloseFile(FileHandle file) override;
    void DebugPrint(const char16_t* line) override;
    ProgramHandle FindProgram(const char16_t* name) override;
    void AskProgramToQuit(ProgramHandle program) override;

private:
    struct TimedByte {
        std::uint32_t atMs;
        std::uint8_t byte;
    };
    [[nodiscard]] bool Arrived(const TimedByte& b) const;

    std::deque<TimedByte> input_;
    std::map<FileHandle, const File*> open_;
    FileHandle nextFile_ = 3;
    PortHandle nextPort_ = 7;
};

}  // namespace vardel
