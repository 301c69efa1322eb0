#include "bench/ProcessProbe.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace vardel::bench {

namespace {

// /proc/PID/stat counts fields from 1; the name (field 2) is in parentheses
// and may itself hold spaces and parentheses, so fields are counted from the
// last ')'.
constexpr int kFirstFieldAfterName = 3;
constexpr int kUserTimeField = 14;
constexpr int kSystemTimeField = 15;
constexpr std::string_view kPeakKey = "VmHWM:";
// /proc/stat's first line: "cpu  user nice system idle iowait irq softirq
// steal ..."; idle and iowait are the time no one used.
constexpr int kIdleColumn = 4;
constexpr int kIowaitColumn = 5;
constexpr int kStealColumn = 8;

std::string ProcFile(pid_t pid, const char* name) {
    return "/proc/" + std::to_string(pid) + "/" + name;
}

// -1 when the field is not a count.
long long Count(const std::string& field) {
    long long value = -1;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size() ? value : -1;
}

double TicksPerSecond() {
    static const double perSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    return perSecond;
}

}  // namespace

std::optional<CpuMark> ReadCpu(pid_t pid) {
    std::ifstream file(ProcFile(pid, "stat"));
    std::string line;
    if (!std::getline(file, line)) {
        return std::nullopt;
    }
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(nameEnd + 1));
    long long userTicks = -1;
    long long systemTicks = -1;
    std::string field;
    for (int number = kFirstFieldAfterName; number <= kSystemTimeField && fields >> field;
         ++number) {
        if (number == kUserTimeField) {
            userTicks = Count(field);
        } else if (number == kSystemTimeField) {
            systemTicks = Count(field);
        }
    }
    if (userTicks < 0 || systemTicks < 0) {
        return std::nullopt;
    }
    return CpuMark{Clock::now(), userTicks + systemTicks};
}

CpuShare ShareBetween(const CpuMark& from, const CpuMark& to) {
    CpuShare share;
    share.ticks = to.ticks - from.ticks;
    share.seconds = std::chrono::duration<double>(to.at - from.at).count();
    if (share.seconds > 0) {
        share.percentOfCore =
            100.0 * static_cast<double>(share.ticks) / TicksPerSecond() / share.seconds;
    }
    return share;
}

std::optional<CpuMark> ReadMachineBusy() {
    std::ifstream file("/proc/stat");
    std::string name;
    if (!(file >> name) || name != "cpu") {
        return std::nullopt;
    }
    long long busy = 0;
    std::string field;
    for (int column = 1; column <= kStealColumn && file >> field; ++column) {
        const long long ticks = Count(field);
        if (ticks < 0) {
            return std::nullopt;
        }
        if (column != kIdleColumn && column != kIowaitColumn) {
            busy += ticks;
        }
    }
    return CpuMark{Clock::now(), busy};
}

std::optional<long> ReadPeakResidentKib(pid_t pid) {
    std::ifstream file(ProcFile(pid, "status"));
    std::string line;
    while (std::getline(file, line)) {
        if (line.starts_with(kPeakKey)) {
            std::istringstream value(line.substr(kPeakKey.size()));
            long kib = 0;
            if (value >> kib) {
                return kib;
            }
        }
    }
    return std::nullopt;
}

}  // namespace vardel::bench
