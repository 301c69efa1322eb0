// The clock, memory and other programs.
#include <sys/sysinfo.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <new>
#include <string>
#include <string_view>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/Utf.h"

namespace vardel::linuxos {
namespace {

constexpr std::uint64_t kMsPerSecond = 1000;
constexpr std::uint64_t kNsPerMs = 1000000;
constexpr std::uint64_t kMostMemory = 0xFFFFFFFFu;
constexpr std::uint64_t kBytesPerKib = 1024;
constexpr std::string_view kMemTotal = "MemTotal:";

// MemTotal of /proc/meminfo in bytes, 0 when it cannot be read. It is text,
// the same for a program of any word size; sysinfo() gives a 32-bit program
// the total in a 32-bit field, which qemu-user fills with the low 32 bits of
// a machine's 4 GiB or more (a 4.1 GiB machine would read as 100 MiB).
std::uint64_t MemTotalBytes(const char* path) {
    std::ifstream meminfo(path);
    for (std::string line; std::getline(meminfo, line);) {
        if (line.starts_with(kMemTotal)) {
            return std::strtoull(line.c_str() + kMemTotal.size(), nullptr, 10) * kBytesPerKib;
        }
    }
    return 0;
}

}  // namespace

LinuxPlatform::LinuxPlatform(std::string serialDevice, const LineOptions& line)
    : serialDevice_(std::move(serialDevice)), line_(line) {}

std::uint32_t LinuxPlatform::TickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * kMsPerSecond +
                             static_cast<std::uint64_t>(now.tv_nsec) / kNsPerMs;
    return static_cast<std::uint32_t>(ms);  // wraps, as callers expect
}

std::uint32_t TotalMemory(const char* meminfo) {
    std::uint64_t bytes = MemTotalBytes(meminfo);
    struct sysinfo info {};
    if (bytes == 0 && ::sysinfo(&info) == 0) {
        bytes = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
    }
    return static_cast<std::uint32_t>(std::min(bytes, kMostMemory));
}

std::uint32_t LinuxPlatform::TotalPhysicalMemory() { return TotalMemory("/proc/meminfo"); }

std::uint8_t* LinuxPlatform::Allocate(std::size_t size) {
    return new (std::nothrow) std::uint8_t[size];
}

void LinuxPlatform::Free(std::uint8_t* block) { delete[] block; }

ProgramHandle LinuxPlatform::FindProgram(const char16_t* name) {
    if (name == nullptr) {
        return 0;
    }
    std::string wanted = Utf16ToUtf8(name);
    auto last = std::find_if(searches_.begin(), searches_.end(),
                             [&wanted](const Search& s) { return s.name == wanted; });
    const auto now = std::chrono::steady_clock::now();
    if (last != searches_.end()) {
        const bool stillRuns = last->found != 0 && ProcessTable::IsRunning(last->found, wanted);
        const bool noneOfLate = last->found == 0 && now - last->at < kSearchAgainAfter;
        if (stillRuns || noneOfLate) {
            return last->found;
        }
    } else {
        last = searches_.insert(searches_.end(), Search{std::move(wanted), 0, now});
    }
    last->found = processes_.FindByName(last->name);
    last->at = now;
    return last->found;
}

void LinuxPlatform::AskProgramToQuit(ProgramHandle program) {
    for (const Search& search : searches_) {
        if (search.found != 0 && search.found == program &&
            ProcessTable::IsNamed(search.found, search.name)) {
            ::kill(search.found, SIGTERM);
            return;
        }
    }
}

}  // namespace vardel::linuxos
