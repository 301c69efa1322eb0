// The platform on Linux. The serial port "COM4:" is a terminal device chosen
// when the platform is made; files are plain files; other programs are
// processes found by name.
//
// "Exclusively" and "without sharing" mean more here than a lock: another
// process that merely has the device or file open (for writing, for a file)
// holds it too, and is found through /proc (see FileHolders.h).
//
// Handles: a serial port is its descriptor + 1, so that descriptor 0 is never
// handed out as 0 ("no port"); a file is its descriptor, which is never -1.
// Every descriptor handed out stays owned by the platform until it is closed
// through it, and is closed with the platform at the latest.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/Console.h"
#include "platform/Platform.h"
#include "platform/linux/FdTable.h"
#include "platform/linux/FileHolders.h"
#include "platform/linux/ProcessTable.h"

namespace vardel::linuxos {

// Total memory in bytes as TotalPhysicalMemory gives it: MemTotal of the
// meminfo file (/proc/meminfo), else sysinfo()'s, saturated at 0xFFFFFFFF.
std::uint32_t TotalMemory(const char* meminfo);

class LinuxPlatform final : public Platform {
public:
    // serialDevice: the device that stands for "COM4:", e.g. /dev/ttyS3.
    // line: what the command line asks of the port beyond the engine's needs.
    explicit LinuxPlatform(std::string serialDevice, const LineOptions& line = {});

    // The device is opened, locked, and refused while any other process has
    // it open, before its settings are touched. The holder found is watched:
    // until somebody closes what it holds, an attempt costs one read of the
    // watch and the device is not even opened; then that holder is looked at
    // again, and all processes are searched anew only once it has let go.
    PortHandle OpenSerial() override;
    bool ConfigureSerial(PortHandle port) override;
    void PurgeSerial(PortHandle port) override;
    std::uint32_t WriteSerial(PortHandle port, const std::uint8_t* bytes,
                              std::uint32_t length) override;
    bool ReadSerialByte(PortHandle port, std::uint8_t& byte) override;
    // Returns when a byte can be read, when timeoutMs have passed, or early on
    // a signal. A hung-up line never delivers a byte, but poll() reports it
    // at once on every call; waiting out the time there keeps a caller that
    // loops on this from spinning.
    void WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) override;
    void CloseSerial(PortHandle port) override;
    // Gone after a read that met the end of the line (0, EIO, ENXIO, ENODEV),
    // a write that met EIO, ENXIO or ENODEV, or a wait that saw POLLHUP,
    // POLLERR or POLLNVAL; Stalled after a write that ran out of its limit.
    [[nodiscard]] LineFault SerialFault(PortHandle port) const override;
    // The errno of the call that failed; EBUSY with the holder's pid for a
    // port another process has open, ENOTTY for a device that opened but is
    // no terminal, EWOULDBLOCK for a lock, EISDIR for a
    // folder, ETXTBSY with the writer's pid for a file still being written.
    [[nodiscard]] Refusal LastRefusal() const override { return refusal_; }

    std::uint32_t TickCount() override;

    std::uint32_t TotalPhysicalMemory() override;
    std::uint8_t* Allocate(std::size_t size) override;
    void Free(std::uint8_t* block) override;

    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override;
    // Refused while another process holds a lock on the file (flock, POSIX
    // or open-file-description record locks) or has it open for writing, as
    // a copy that is still arriving does. Readers do not count.
    FileHandle OpenFileForReading(const char16_t* path) override;
    // Letter case counts on Linux; see Platform.h. Only ASCII letters are
    // folded; with several variants and no exact name, the first in byte
    // order is taken (upper-case letters sort before lower-case ones).
    void MatchFileNameCase(char16_t* path) override;
    std::uint32_t ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t& error) override;
    void CloseFile(FileHandle file) override;

    // Written to standard error, as UTF-8, in one write.
    void DebugPrint(const char16_t* line) override;

    // A program is a process whose name (/proc/PID/comm) is exactly name;
    // the handle is its pid. Searching all processes costs a file read per
    // process, and this is asked for on every tick while the port stays
    // closed: so a program found is kept for as long as it runs under that
    // name, and after a search that found none the answer stays "none" for
    // kSearchAgainAfter before all processes are searched again. A search
    // reads one file per process, so its pace sets most of the cost of a
    // closed port; a navigation program that starts meanwhile is still asked
    // to quit within a quarter of a second.
    ProgramHandle FindProgram(const char16_t* name) override;
    // Sends SIGTERM, but only to a pid FindProgram returned and only while
    // that process still has the name it was found by: a pid may have been
    // reused since.
    void AskProgramToQuit(ProgramHandle program) override;

private:
    static constexpr std::chrono::milliseconds kSearchAgainAfter{250};
    // A search for the holders of the port looks at every descriptor of every
    // process: a few milliseconds.
    static constexpr std::chrono::milliseconds kSearchPortAgainAfter{1000};

    struct Search {
        std::string name;
        pid_t found = 0;  // 0: none
        std::chrono::steady_clock::time_point at;
    };

    // The descriptor behind a handle this platform handed out; -1 otherwise.
    [[nodiscard]] int PortFd(PortHandle port) const;
    [[nodiscard]] int FileFd(FileHandle file) const;
    bool PortStillHeld();
    bool PortHeldByAnother(int fd);
    // Keeps why a call failed; returns what the failed call returns.
    std::intptr_t Refuse(int error, pid_t holder = 0);

    std::string serialDevice_;
    LineOptions line_;
    LineFault fault_ = LineFault::None;  // of the port opened last
    Refusal refusal_;
    FdTable ports_;
    FdTable files_;
    ProcessTable processes_;
    std::vector<Search> searches_;  // the last search for each name asked
    FileHolders holders_;
    std::optional<Holder> portHolder_;  // the other holder of the port found last
    CloseWatch portWatch_;              // the moment anybody lets go of it
    // When the port, found free of other holders, last refused its settings.
    // It is then opened again on every tick: for kSearchPortAgainAfter it
    // counts as still free instead of all processes being searched each time.
    std::optional<std::chrono::steady_clock::time_point> settingsRefusedAt_;
};

}  // namespace vardel::linuxos
