// A platform that hands every call on to another one. A platform that changes
// only some of what the system does (vardel-flash's unit, a test's run)
// derives from it and overrides just those calls.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace vardel {

class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(std::unique_ptr<Platform> inner)
        : owned_(std::move(inner)), inner_(*owned_) {}

    PortHandle OpenSerial() override { return inner_.OpenSerial(); }
    bool ConfigureSerial(PortHandle port) override { return inner_.ConfigureSerial(port); }
    void PurgeSerial(PortHandle port) override { inner_.PurgeSerial(port); }
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override {
        return inner_.WriteSerial(port, bytes, length);
    }
    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override {
        return inner_.ReadSerialByte(port, byte);
    }
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override {
        inner_.WaitSerialReadable(port, timeoutMs);
    }
    void CloseSerial(PortHandle port) override { inner_.CloseSerial(port); }
    [[nodiscard]] LineFault SerialFault(PortHandle port) const override {
        return inner_.SerialFault(port);
    }

    [[nodiscard]] Refusal LastRefusal() const override { return inner_.LastRefusal(); }

    std::uint32_t TickCount() override { return inner_.TickCount(); }

    std::uint32_t TotalPhysicalMemory() override { return inner_.TotalPhysicalMemory(); }
    std::uint8_t* Allocate(std::size_t size) override { return inner_.Allocate(size); }
    void Free(std::uint8_t* block) override { inner_.Free(block); }

    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override {
        return inner_.ProgramFilePath(buffer, capacity);
    }
    [[nodiscard]] char16_t FolderSeparator() const override { return inner_.FolderSeparator(); }
    void MatchFileNameCase(char16_t* path) override { inner_.MatchFileNameCase(path); }
    FileHandle OpenFileForReading(const char16_t* path) override {
        return inner_.OpenFileForReading(path);
    }
    std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t& error) override {
        return inner_.ReadFile(file, buffer, length, error);
    }
    void CloseFile(FileHandle file) override { inner_.CloseFile(file); }

    void DebugPrint(const char16_t* line) override { inner_.DebugPrint(line); }

    ProgramHandle FindProgram(const char16_t* name) override { return inner_.FindProgram(name); }
    void AskProgramToQuit(ProgramHandle program) override { inner_.AskProgramToQuit(program); }

protected:
    [[nodiscard]] Platform& Inner() const { return inner_; }

private:
    std::unique_ptr<Platform> owned_;
    Platform& inner_;
};

}  // namespace vardel
