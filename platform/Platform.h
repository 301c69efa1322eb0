// The narrow interface through which the engine (and the window side) reaches
// the operating system. Nothing here throws. Its implementations:
// - one per system: linuxos::LinuxPlatform (linux/LinuxPlatform.h) and
//   win32::Win32Platform (win32/Win32Platform.h);
// - FakePlatform (fake/FakePlatform.h), scripted by the tests;
// - those that wrap a system's one and change part of what it serves, on
//   ForwardingPlatform (ForwardingPlatform.h): vardel-flash's
//   flash::UnitPlatform (flash/UnitPlatform.h: the chosen firmware from
//   memory, and a watch on the line) and the end-to-end tests' RunPlatform
//   (tests/e2e/E2eHarness.h: a program path of the run's own, and a hand in
//   what is written to the line).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vardel {

// Handle of the open serial port. 0 always means "no port", so an
// implementation never hands out 0 for an open port.
using PortHandle = std::intptr_t;
// Handle of an open firmware file; kInvalidHandle when the open failed.
using FileHandle = std::intptr_t;
// A running program that may be asked to quit; 0 means "none".
using ProgramHandle = std::intptr_t;

inline constexpr std::intptr_t kInvalidHandle = -1;

// What a port met that a call's own answer cannot say (a read that found no
// byte, a write that went out short). The engine never asks; the command
// line does, to tell a pulled cable from a silent MCU.
enum class LineFault {
    None,
    Gone,     // the device went away or the line hung up: it will give no byte again
    Stalled,  // a write found the line taking no bytes for longer than its limit
};

// Why an open or the line settings were refused, in the system's own terms.
struct Refusal {
    // errno on Linux, GetLastError() on Windows; 0 when nothing was refused or
    // the platform cannot tell.
    std::uint32_t error = 0;
    // The process seen holding the port or writing into the file, where the
    // system can name one; 0 otherwise.
    std::int64_t holder = 0;
};

class Platform {
public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform() = default;

    // --- serial port ("COM4:") ---
    // Opens the one serial port for reading and writing, exclusively.
    // Returns kInvalidHandle when it does not exist or another holds it.
    virtual PortHandle OpenSerial() = 0;
    // Applies 38,400 baud, 8N1, raw, no flow control on output, reads that
    // never wait. False when the settings are refused.
    virtual bool ConfigureSerial(PortHandle port) = 0;
    // Throws away whatever is pending in either direction.
    virtual void PurgeSerial(PortHandle port) = 0;
    // Writes the whole buffer without a time-out; returns how many bytes went
    // out before an error (the length itself on success).
    virtual std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                      std::uint32_t length) = 0;
    // Reads at most one byte and never waits. False when no byte was there.
    virtual bool ReadSerialByte(PortHandle port, std::uint8_t& byte) = 0;
    // Waits until a byte can be read or timeoutMs have passed, whichever comes
    // first. May return early (a signal, a hung-up line); callers re-check.
    virtual void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) = 0;
    virtual void CloseSerial(PortHandle port) = 0;
    // The fault met on port since it was opened; a platform that cannot tell
    // says None.
    [[nodiscard]] virtual LineFault SerialFault(PortHandle /*port*/) const {
        return LineFault::None;
    }

    // Why the latest OpenSerial, ConfigureSerial or OpenFileForReading
    // failed; each of them sets it, to nothing when it succeeds. The engine
    // never asks; the command line tells the user, without opening anything
    // a second time.
    [[nodiscard]] virtual Refusal LastRefusal() const { return {}; }

    // --- clock ---
    // Milliseconds on a monotonic clock, cut to 32 bits: it wraps.
    virtual std::uint32_t TickCount() = 0;

    // --- memory ---
    // Total physical memory in bytes, saturated at 0xFFFFFFFF.
    virtual std::uint32_t TotalPhysicalMemory() = 0;
    // A plain block for the firmware image; null when there is no memory.
    virtual std::uint8_t* Allocate(std::size_t size) = 0;
    virtual void Free(std::uint8_t* block) = 0;

    // --- files ---
    // Writes the full path of the program file, zero-terminated, into buffer
    // when it fits in capacity units (terminator included). Returns the
    // path's length in units without the terminator, whether or not it fit;
    // 0 on failure.
    virtual std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) = 0;
    // The character that ends each folder in such a path: '/' unless the
    // system says otherwise (Windows: the backslash).
    [[nodiscard]] virtual char16_t FolderSeparator() const { return u'/'; }
    // When no file has exactly the name that ends path, puts in its place the
    // name of a file in the same folder that differs from it only in letter
    // case, if there is one; the path keeps its length. A file system that
    // ignores letter case needs nothing here.
    virtual void MatchFileNameCase(char16_t* /*path*/) {}
    // Opens an existing file for reading, without sharing; kInvalidHandle on
    // failure (missing, unreadable, or held by another program).
    virtual FileHandle OpenFileForReading(const char16_t* path) = 0;
    // Reads up to length bytes, until the end of the file. error receives the
    // system's error code of a failed read, 0 when none.
    virtual std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                   std::uint32_t& error) = 0;
    virtual void CloseFile(FileHandle file) = 0;

    // --- debug output ---
    // One line on the system debug output, written as given.
    virtual void DebugPrint(const char16_t* line) = 0;

    // --- other programs ---
    // The first running program whose name is exactly name; 0 when none.
    virtual ProgramHandle FindProgram(const char16_t* name) = 0;
    // Asks that program to quit; nothing waits for it.
    virtual void AskProgramToQuit(ProgramHandle program) = 0;
};

}  // namespace vardel
