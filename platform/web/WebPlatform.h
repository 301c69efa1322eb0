// The platform of the page in the browser: the serial port is the Web Serial
// port the user chose, the firmware file the one the user picked, both handed
// over by the page's script; the clock is the page's. Everything runs on the
// page's one thread, between the page's events.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/Platform.h"
#include "platform/ServedFile.h"

namespace vardel::web {

class WebPlatform : public Platform {
public:
    // --- what the page tells ---
    // The chosen port is open at 38,400 baud, 8N1, no flow control.
    void PortOpened();
    // The port went away (the stream ended with an error, the adapter was
    // unplugged) or its writer failed: nothing more can be written until the
    // user chooses it again. Bytes not yet read stay readable.
    void PortLost();
    void Received(const std::uint8_t* bytes, std::uint32_t length);
    // The file the engine's loader is served, under whatever name it asks.
    void ServeFirmware(std::vector<std::uint8_t> bytes);

    // --- Platform ---
    PortHandle OpenSerial() override;
    bool ConfigureSerial(PortHandle port) override;
    void PurgeSerial(PortHandle port) override;
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override;
    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override;
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override;
    void CloseSerial(PortHandle port) override;
    [[nodiscard]] LineFault SerialFault(PortHandle port) const override;

    std::uint32_t TickCount() override;
    std::uint32_t TotalPhysicalMemory() override;
    std::uint8_t* Allocate(std::size_t size) override;
    void Free(std::uint8_t* block) override;

    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override;
    FileHandle OpenFileForReading(const char16_t* path) override;
    std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t& error) override;
    void CloseFile(FileHandle file) override;

    void DebugPrint(const char16_t* line) override;

    ProgramHandle FindProgram(const char16_t* name) override;
    void AskProgramToQuit(ProgramHandle program) override;

private:
    bool portOpen_ = false;
    bool portLost_ = false;
    std::deque<std::uint8_t> received_;
    std::vector<std::uint8_t> firmware_;
    ServedFile file_;
    // Waits for bytes that could not be waited (see WaitSerialReadable).
    double skippedMs_ = 0;
};

// The one platform of the page, whose serial events the page's script delivers.
WebPlatform& PagePlatform();

}  // namespace vardel::web
