#include "platform/linux/AdapterLatency.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vardel::linuxos {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::optional<LatencyTimer> ReadLatencyTimer(const std::string& ttyName,
                                             const std::string& sysRoot) {
    const fs::path file =
        fs::path(sysRoot) / "class" / "tty" / ttyName / "device" / "latency_timer";
    std::ifstream in(file);
    LatencyTimer timer;
    if (!(in >> timer.ms)) return std::nullopt;
    timer.path = file.string();
    timer.writable = ::access(file.c_str(), W_OK) == 0;
    return timer;
}

void LowerLatencyTimer(const std::string& device, const std::string& sysRoot) {
    std::error_code error;
    const fs::path node = fs::canonical(device, error);
    if (error) return;
    const auto timer = ReadLatencyTimer(node.filename().string(), sysRoot);
    if (!timer || timer->ms <= kLowestLatencyMs || !timer->writable) return;
    std::ofstream(timer->path) << kLowestLatencyMs << '\n';
}

}  // namespace vardel::linuxos
