#include "flash/PortList.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>

namespace vardel::flash {
namespace {

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

}  // namespace vardel::flash
