// The platform on Windows: the calls the engine's operations are written in,
// with their arguments as the design gives them. The serial port is "COM4:",
// the firmware file is opened without sharing, debug lines go to the system's
// debug output, and the navigation program is found by its window's class.
//
// Handles: a port or a file is its Win32 HANDLE; a program is the HWND of its
// top-level window.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Console.h"
#include "platform/Platform.h"
#include "platform/win32/UniqueHandle.h"

namespace vardel::win32 {

// A pause of about a millisecond, however coarse the system's clock: on a
// high-resolution waitable timer where the system grants one, else Sleep(1)
// (which the engine timer's timeBeginPeriod(1) then makes short).
class ShortPause {
public:
    void OneMs();

private:
    bool tried_ = false;
    UniqueHandle timer_;
};

// One read of one byte that the driver was asked to hold for up to timeoutMs
// until a byte comes.
enum class ReadResult { kByte, kNothing, kFailed };
using WaitingRead = std::function<ReadResult(std::uint32_t timeoutMs, std::uint8_t& byte)>;

// Until the first byte comes or timeoutMs have passed; true with the byte.
// Drivers that ignore the read's time-out and return at once with nothing are
// common among USB adapters, so such a read is tried again after about a
// millisecond; only a read that fails (the line is gone) sleeps the rest.
bool WaitForFirstByte(const WaitingRead& read, ShortPause& pause, std::uint32_t timeoutMs,
                      std::uint8_t& byte);

class Win32Platform final : public Platform {
public:
    // portName, as CreateFileW takes it: L"COM4:" in the dialog program;
    // vardel-flash and the tests give another, and line: what the command
    // line asks of the port beyond the engine's needs.
    explicit Win32Platform(std::wstring portName = L"COM4:", const LineOptions& line = {});

    PortHandle OpenSerial() override;
    bool ConfigureSerial(PortHandle port) override;
    void PurgeSerial(PortHandle port) override;
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override;
    // A byte taken by the last wait comes first.
    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override;
    // Sleeps in ReadFile calls that wait for the first byte or the time-out
    // (ReadIntervalTimeout = ReadTotalTimeoutMultiplier = MAXDWORD), see
    // WaitForFirstByte; the byte taken is kept for the next ReadSerialByte.
    // The port's own time-outs, reads that never wait, are put back before it
    // returns.
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override;
    void CloseSerial(PortHandle port) override;
    // Gone after a read or write that failed as on a removed USB device (see
    // LineGoneError); Stalled after a write that ran out of its time-out.
    [[nodiscard]] LineFault SerialFault(PortHandle port) const override;
    // GetLastError() of the CreateFileW or SetCommState that failed; the
    // system names no holder.
    [[nodiscard]] Refusal LastRefusal() const override { return refusal_; }

    std::uint32_t TickCount() override;

    std::uint32_t TotalPhysicalMemory() override;
    std::uint8_t* Allocate(std::size_t size) override;
    void Free(std::uint8_t* block) override;

    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override;
    [[nodiscard]] char16_t FolderSeparator() const override { return u'\\'; }
    FileHandle OpenFileForReading(const char16_t* path) override;
    std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t& error) override;
    void CloseFile(FileHandle file) override;

    // OutputDebugStringW: a debugger, or a tool that listens, sees it.
    void DebugPrint(const char16_t* line) override;

    // FindWindowW with the name as the window class and no window name.
    ProgramHandle FindProgram(const char16_t* name) override;
    // PostMessageW of WM_QUIT to that window; nothing waits for it.
    void AskProgramToQuit(ProgramHandle program) override;

private:
    struct Stash {
        PortHandle port = 0;  // 0: no byte kept
        std::uint8_t byte = 0;
    };

    void NoteFailure(DWORD error);

    std::wstring portName_;
    LineOptions line_;
    PortHandle faultPort_ = 0;
    LineFault fault_ = LineFault::None;  // of faultPort_
    Refusal refusal_;
    Stash stash_;
    ShortPause pause_;
};

// The line settings applied to the DCB that GetCommState returned: 38,400
// baud, 8N1, binary, no flow control on output, DTR and RTS off. fInX, the
// reserved bits and every other field keep what they had.
void ApplyLinkSettings(DCB& dcb);

// Reads that return at once with what has arrived; writes without time-out,
// or with writeMarginMs beyond a millisecond a byte (a byte takes 0.26 ms).
COMMTIMEOUTS LinkTimeouts(std::uint32_t writeMarginMs = 0);
// Reads that wait up to timeoutMs for the first byte and return with it;
// writes as above.
COMMTIMEOUTS WaitTimeouts(std::uint32_t timeoutMs, std::uint32_t writeMarginMs = 0);

// The errors that ReadFile, WriteFile and ClearCommError give once a USB
// serial adapter has been pulled out: the port will not come back under
// this handle.
bool LineGoneError(DWORD error);

}  // namespace vardel::win32
