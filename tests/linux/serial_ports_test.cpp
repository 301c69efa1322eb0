// Listing the serial ports: the search on a scratch tree laid out as /sys and
// /dev are, and the holder of a real pseudo-terminal.
#include <fcntl.h>
#include <sys/prctl.h>

#include <gtest/gtest.h>

#include "platform/SerialPorts.h"
#include "platform/linux/AdapterLatency.h"
#include "platform/linux/SerialPortScan.h"
#include "tests/e2e/E2eHarness.h"

namespace vardel::test {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << '\n';
}

void Link(const fs::path& target, const fs::path& link) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target, link);
}

// A machine with an FTDI adapter (ttyUSB10) and its two stable names, a CDC
// modem without maker or product (ttyACM0), a second adapter (ttyUSB2), a
// real UART on the generic serial bus (ttyS0), a UART slot with no chip (ttyS1), a console without
// a device (tty1), a port whose driver has gone (ttyUSB7) and one with no node in /dev (ttyUSB3):
// only the first four are ports to offer.
TEST(SerialPortScan, FindsEachPortWithADriverInNumberOrderWithItsNamesAndUsbMaker) {
    const TempDir root;
    const fs::path sys = root.Path() / "sys";
    const fs::path dev = root.Path() / "dev";
    const fs::path usb = sys / "devices/usb1";
    const auto addPort = [&](const std::string& name, const fs::path& device, const char* driver) {
        fs::create_directories(device);
        fs::create_directories(sys / "bus/drivers" / driver);
        if (*driver != '\0') Link(sys / "bus/drivers" / driver, device / "driver");
        Link(device, sys / "class/tty" / name / "device");
        Put(dev / name, "");
    };
    // clang-format off
    for (const auto& [file, text] : {std::pair{"1-1/idVendor", "0403"}, {"1-1/idProduct", "6001"},
             {"1-1/manufacturer", "FTDI"}, {"1-1/product", "FT232R USB UART"},
             {"1-2/idVendor", "2341"}, {"1-2/idProduct", "0043"}}) {
        Put(usb / file, text);
    }
    // clang-format on
    addPort("ttyUSB10", usb / "1-1/1-1:1.0/ttyUSB10", "ftdi_sio");
    addPort("ttyACM0", usb / "1-2/1-2:1.0", "cdc_acm");
    addPort("ttyUSB2", usb / "1-3/1-3:1.0/ttyUSB2", "pl2303");
    addPort("ttyS0", sys / "devices/serial8250/s0/s0.0", "port");  // under the generic serial bus
    fs::create_directories(sys / "bus/drivers/ctrl");
    Link(sys / "bus/drivers/ctrl", sys / "devices/serial8250/s0/driver");
    Link(sys / "bus/drivers/serial8250", sys / "devices/serial8250/driver");
    Put(sys / "class/tty/ttyS0/type", "4");
    addPort("ttyS1", sys / "devices/serial8250/s1", "serial8250");
    Put(sys / "class/tty/ttyS1/type", "0");
    Put(sys / "class/tty/tty1/dev", "4:1");
    Put(dev / "tty1", "");
    addPort("ttyUSB7", usb / "1-4/1-4:1.0/ttyUSB7", "");
    addPort("ttyUSB3", usb / "1-5/1-5:1.0/ttyUSB3", "ftdi_sio");
    fs::remove(dev / "ttyUSB3");
    Link("../../ttyUSB10", dev / "serial/by-id/usb-FTDI_FT232R-if00-port0");
    Link("../../ttyACM0", dev / "serial/by-id/usb-Arduino_Uno-if00");
    Put(usb / "1-1/1-1:1.0/ttyUSB10/latency_timer", "16");

    const auto ports = linuxos::ScanSerialPorts(sys.string(), dev.string(), false);
    const std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> expected = {
        {"ttyACM0", {"serial/by-id/usb-Arduino_Uno-if00"}, "cdc_acm: (2341:0043)"},
        {"ttyS0", {}, "serial8250"},
        {"ttyUSB2", {}, "pl2303"},
        {"ttyUSB10",
         {"serial/by-id/usb-FTDI_FT232R-if00-port0"},
         "ftdi_sio: FTDI FT232R USB UART (0403:6001)"},
    };
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [name, aliases, description] = expected[i];
        EXPECT_EQ(ports[i].device, (dev / name).string());
        std::vector<std::string> paths;
        for (const auto& alias : aliases) paths.push_back((dev / alias).string());
        EXPECT_EQ(ports[i].aliases, paths) << name;
        EXPECT_EQ(ports[i].description, description) << name;
        EXPECT_EQ(ports[i].latencyTimerMs, name == "ttyUSB10" ? 16 : 0) << name;
    }
    // An open for flashing lowers the adapter's timer, found through its stable name.
    linuxos::LowerLatencyTimer((dev / "serial/by-id/usb-FTDI_FT232R-if00-port0").string(),
                               sys.string());
    EXPECT_EQ(linuxos::ReadLatencyTimer("ttyUSB10", sys.string())->ms, 1);
}

TEST(SerialPortHolder, NamesTheProcessThatHoldsAPortAndNobodyOnceItLetsGo) {
    auto pty = OpenPty();
    const std::string& device = pty.SlavePath();
    EXPECT_EQ(DescribePortHolder(device), "");
    {
        const Child holder({[&] {
            return ::prctl(PR_SET_NAME, "VdlMinicom", 0, 0, 0) == 0 &&
                   ::open(device.c_str(), O_RDWR | O_NOCTTY) >= 0;
        }});
        EXPECT_EQ(DescribePortHolder(device),
                  "PID " + std::to_string(holder.Pid()) + " (VdlMinicom)");
    }
    EXPECT_EQ(DescribePortHolder(device), "");
}

}  // namespace
}  // namespace vardel::test
