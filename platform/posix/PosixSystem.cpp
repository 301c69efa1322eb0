// The clock, memory and other programs.
#include <sys/sysinfo.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <new>

#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Utf.h"

namespace vardel {
namespace {

constexpr std::uint64_t kMsPerSecond = 1000;
constexpr std::uint64_t kNsPerMs = 1000000;
constexpr std::uint64_t kMostMemory = 0xFFFFFFFFu;

}  // namespace

PosixPlatform::PosixPlatform(std::string serialDevice) : serialDevice_(std::move(serialDevice)) {}

std::uint32_t PosixPlatform::TickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * kMsPerSecond +
                             static_cast<std::uint64_t>(now.tv_nsec) / kNsPerMs;
    return static_cast<std::uint32_t>(ms);  // wraps, as callers expect
}

std::uint32_t PosixPlatform::TotalPhysicalMemory() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) {
        return 0;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
    return static_cast<std::uint32_t>(std::min(bytes, kMostMemory));
}

std::uint8_t* PosixPlatform::Allocate(std::size_t size) {
    return new (std::nothrow) std::uint8_t[size];
}

void PosixPlatform::Free(std::uint8_t* block) { delete[] block; }

ProgramHandle PosixPlatform::FindProgram(const char16_t* name) {
    if (name == nullptr) {
        return 0;
    }
    std::string wanted = utf::Utf16ToUtf8(name);
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

void PosixPlatform::AskProgramToQuit(ProgramHandle program) {
    for (const Search& search : searches_) {
        if (search.found != 0 && search.found == program &&
            ProcessTable::IsNamed(search.found, search.name)) {
            ::kill(search.found, SIGTERM);
            return;
        }
    }
}

}  // namespace vardel
