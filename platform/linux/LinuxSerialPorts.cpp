#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "platform/SerialPorts.h"
#include "platform/linux/AdapterLatency.h"
#include "platform/linux/FileHolders.h"
#include "platform/linux/SerialPortScan.h"
#include "platform/linux/UniqueFd.h"

namespace vardel::linuxos {
namespace {

namespace fs = std::filesystem;

// A UART slot that the 8250 driver registers whether or not a chip answers
// there shows this type; opening it fails, so it is no port to offer.
constexpr std::string_view kNoUart = "0";
constexpr std::string_view kGenericDrivers[] = {"port", "ctrl"};

bool IsGenericDriver(std::string_view name) {
    return std::find(std::begin(kGenericDrivers), std::end(kGenericDrivers), name) !=
           std::end(kGenericDrivers);
}
constexpr const char* kAliasFolders[] = {"serial/by-id", "serial/by-path"};

// The first line of a small sysfs or /proc file, without its line end; ""
// when there is none.
std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

fs::path Resolved(const fs::path& path) {
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    return error ? fs::path() : real;
}

// Every name under devRoot/serial/... by the node it leads to.
std::map<fs::path, std::vector<std::string>> AliasesByNode(const fs::path& devRoot) {
    std::map<fs::path, std::vector<std::string>> aliases;
    for (const char* folder : kAliasFolders) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(devRoot / folder, error)) {
            const fs::path node = Resolved(entry.path());
            if (!node.empty()) {
                aliases[node].push_back(entry.path().string());
            }
        }
    }
    for (auto& [node, names] : aliases) {
        std::sort(names.begin(), names.end());
    }
    return aliases;
}

// "ftdi_sio: FTDI FT232R USB UART (0403:6001)": the driver of the port's
// device, then the maker, product and ids of the USB device it hangs from,
// found by walking up the device tree no higher than sysRoot.
// Newer kernels hang a UART's tty from devices of the generic serial bus,
// whose drivers are "port" and "ctrl": the chip's own driver is above them.
std::string Describe(const fs::path& device, const fs::path& sysRoot) {
    std::string text;
    for (fs::path at = device; at != sysRoot && at.has_relative_path(); at = at.parent_path()) {
        const std::string driver = Resolved(at / "driver").filename().string();
        if (!driver.empty() && (text.empty() || IsGenericDriver(text))) {
            text = driver;
        }
        if (!fs::exists(at / "idVendor")) {
            continue;
        }
        std::string usb = FirstLine(at / "manufacturer");
        const std::string product = FirstLine(at / "product");
        if (!product.empty()) {
            usb += (usb.empty() ? "" : " ") + product;
        }
        usb += (usb.empty() ? "(" : " (") + FirstLine(at / "idVendor") + ":" +
               FirstLine(at / "idProduct") + ")";
        text += (text.empty() ? "" : ": ") + usb;
        break;
    }
    return text;
}

}  // namespace

std::vector<SerialPortInfo> ScanSerialPorts(const std::string& sysRoot, const std::string& devRoot,
                                            bool withHolders) {
    const fs::path sys = Resolved(sysRoot);
    const fs::path dev(devRoot);
    const auto aliases = AliasesByNode(dev);
    std::vector<SerialPortInfo> ports;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sys / "class" / "tty", error)) {
        const fs::path device = Resolved(entry.path() / "device");
        const fs::path node = dev / entry.path().filename();
        if (device.empty() || Resolved(device / "driver").empty() ||
            FirstLine(entry.path() / "type") == kNoUart || !fs::exists(node)) {
            continue;
        }
        SerialPortInfo port;
        port.device = node.string();
        if (const auto found = aliases.find(Resolved(node)); found != aliases.end()) {
            port.aliases = found->second;
        }
        port.description = Describe(device, sys);
        if (const auto timer = ReadLatencyTimer(entry.path().filename().string(), sys.string())) {
            port.latencyTimerMs = timer->ms;
            if (timer->ms > kLowestLatencyMs && !timer->writable) {
                port.latencyFix =
                    "fix: install the udev rule 70-vardel.rules (see the README), or "
                    "run: echo 1 | sudo tee " +
                    timer->path;
            }
        }
        if (withHolders) {
            port.holder = DescribePortHolder(port.device);
        }
        ports.push_back(std::move(port));
    }
    SortSerialPorts(ports);
    return ports;
}

std::string DescribeProcess(pid_t pid) {
    const std::string number = std::to_string(pid);
    const std::string name = FirstLine(std::filesystem::path("/proc") / number / "comm");
    return "PID " + number + (name.empty() ? "" : " (" + name + ")");
}

}  // namespace vardel::linuxos

namespace vardel {

std::vector<SerialPortInfo> ListSerialPorts() {
    return linuxos::ScanSerialPorts("/sys", "/dev", true);
}

// O_PATH gives the device's identity without opening it: an open would reach
// the driver, which raises DTR on many adapters and resets what hangs there.
std::string DescribePortHolder(const std::string& device) {
    const linuxos::UniqueFd ours(::open(device.c_str(), O_PATH | O_CLOEXEC));
    if (!ours.Valid()) {
        return {};
    }
    linuxos::FileHolders holders;
    const auto holder = holders.Find(ours.Get(), linuxos::FileHolders::Access::Any);
    if (!holder) {
        return {};
    }
    return linuxos::DescribeProcess(holder->pid);
}

}  // namespace vardel
