#include "platform/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

namespace vardel {
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// a before b with runs of digits compared by value: "COM2" < "COM10",
// "ttyUSB9" < "ttyUSB10"; equal values of different spelling ("07", "7")
// fall back to the bytes so that the order stays total.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::size_t iEnd = a.find_first_not_of("0123456789", i);
            const std::size_t jEnd = b.find_first_not_of("0123456789", j);
            std::string_view x = a.substr(i, iEnd - i);
            std::string_view y = b.substr(j, jEnd - j);
            x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
            y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
            i = std::min(iEnd, a.size());
            j = std::min(jEnd, b.size());
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b;
}

void PrintJson(const SerialPortInfo& port, std::ostream& out) {
    // In this order, so that a reader sees the event and the port first.
    nlohmann::ordered_json line = {
        {"event", "port"},         {"port", port.device},
        {"aliases", port.aliases}, {"description", port.description},
        {"holder", port.holder},
    };
    if (port.latencyTimerMs > 0) line["latency_timer_ms"] = port.latencyTimerMs;
    if (!port.latencyFix.empty()) line["latency_fix"] = port.latencyFix;
    // sysfs passes on whatever a USB device calls itself: never let a stray
    // byte end the listing.
    out << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

void SortSerialPorts(std::vector<SerialPortInfo>& ports) {
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalLess(a.device, b.device);
    });
}

void PrintSerialPorts(const std::vector<SerialPortInfo>& ports, std::ostream& out, bool json) {
    if (json) {
        for (const SerialPortInfo& port : ports) {
            PrintJson(port, out);
        }
        return;
    }
    if (ports.empty()) {
        out << "no serial ports found\n";
        return;
    }
    std::size_t width = 0;
    for (const SerialPortInfo& port : ports) {
        width = std::max(width, port.device.size());
    }
    for (const SerialPortInfo& port : ports) {
        std::string line = port.device;
        line.resize(width, ' ');
        line += "  ";
        line += port.description.empty() ? "-" : port.description;
        if (port.latencyTimerMs > 0) {
            line += "  latency timer " + std::to_string(port.latencyTimerMs) + " ms";
        }
        if (!port.holder.empty()) {
            line += "  [in use by " + port.holder + "]";
        }
        out << line << '\n';
        if (!port.latencyFix.empty()) {
            out << "    warning: each block request waits up to " +
                       std::to_string(port.latencyTimerMs) + " ms in the adapter; " +
                       port.latencyFix
                << '\n';
        }
        for (const std::string& alias : port.aliases) {
            out << "    also " << alias << '\n';
        }
    }
}

}  // namespace vardel
