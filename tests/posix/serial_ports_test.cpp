// Listing the serial ports: the search on a scratch tree laid out as /sys and
// /dev are, the holder of a real pseudo-terminal, and the printed lines.
#include <fcntl.h>
#include <sys/prctl.h>

#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/SerialPorts.h"
#include "platform/posix/SerialPortScan.h"
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

// A machine with an FTDI adapter (ttyUSB10), a CDC modem (ttyACM0), a
// second adapter (ttyUSB2), a real UART (ttyS0), a UART slot with no chip
// (ttyS1), a console without a device (tty1), a port whose driver has gone
// (ttyUSB7), and a port with no node in /dev (ttyUSB3).
class SerialPortScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path devices = sys / "devices";
        const fs::path usb = devices / "pci0000:00/usb1/1-1";
        Put(usb / "idVendor", "0403");
        Put(usb / "idProduct", "6001");
        Put(usb / "manufacturer", "FTDI");
        Put(usb / "product", "FT232R USB UART");
        AddPort("ttyUSB10", usb / "1-1:1.0/ttyUSB10", "ftdi_sio");
        const fs::path acm = devices / "pci0000:00/usb1/1-2";
        Put(acm / "idVendor", "2341");
        Put(acm / "idProduct", "0043");  // no maker, no product
        AddPort("ttyACM0", acm / "1-2:1.0", "cdc_acm");
        AddPort("ttyUSB2", devices / "pci0000:00/usb1/1-3/1-3:1.0/ttyUSB2", "pl2303");
        AddPort("ttyS0", devices / "platform/serial8250/s0", "serial8250");
        Put(sys / "class/tty/ttyS0/type", "4");
        AddPort("ttyS1", devices / "platform/serial8250/s1", "serial8250");
        Put(sys / "class/tty/ttyS1/type", "0");
        Put(sys / "class/tty/tty1/dev", "4:1");
        Put(dev / "tty1", "");
        AddPort("ttyUSB7", devices / "usb2/2-1/2-1:1.0/ttyUSB7", "");
        AddPort("ttyUSB3", devices / "usb3/3-1/3-1:1.0/ttyUSB3", "ftdi_sio");
        fs::remove(dev / "ttyUSB3");
        Link("../../ttyUSB10", dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        Link("../../ttyUSB10", dev / "serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");
        Link("../../ttyACM0", dev / "serial/by-id/usb-Arduino_Uno_7543-if00");
    }

    void AddPort(const std::string& name, const fs::path& device, const std::string& driver) {
        fs::create_directories(device);
        if (!driver.empty()) {
            Link(sys / "bus/drivers" / driver, device / "driver");
            fs::create_directories(sys / "bus/drivers" / driver);
        }
        Link(device, sys / "class/tty" / name / "device");
        Put(dev / name, "");
    }

    TempDir root;
    fs::path sys = root.Path() / "sys";
    fs::path dev = root.Path() / "dev";
};

TEST_F(SerialPortScanTest, FindsEachPortWithADriverInNumberOrderWithItsNamesAndUsbMaker) {
    const auto ports = ScanSerialPorts(sys.string(), dev.string(), false);
    struct Expected {
        std::string name;
        std::vector<std::string> aliases;
        std::string description;
    };
    const std::vector<Expected> expected = {
        {"ttyACM0", {"serial/by-id/usb-Arduino_Uno_7543-if00"}, "cdc_acm: (2341:0043)"},
        {"ttyS0", {}, "serial8250"},
        {"ttyUSB2", {}, "pl2303"},
        {"ttyUSB10",
         {"serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
          "serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0"},
         "ftdi_sio: FTDI FT232R USB UART (0403:6001)"},
    };
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(ports[i].device, (dev / expected[i].name).string());
        std::vector<std::string> aliases;
        for (const auto& alias : expected[i].aliases) aliases.push_back((dev / alias).string());
        EXPECT_EQ(ports[i].aliases, aliases);
        EXPECT_EQ(ports[i].description, expected[i].description);
        EXPECT_EQ(ports[i].holder, "");
    }
}

TEST(SerialPortHolder, NamesTheProcessThatHoldsAPortAndNobodyOnceItLetsGo) {
    auto pty = OpenPty();
    const std::string device = pty.SlavePath();
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
    EXPECT_EQ(DescribePortHolder("/dev/vardel-no-such-port"), "");
}

TEST(SerialPortPrinting, PlainLinesAlignAndJsonLinesParseEvenWithBytesThatAreNotUtf8) {
    const std::vector<SerialPortInfo> ports = {
        {"/dev/ttyS0", {}, "", ""},
        {"/dev/ttyUSB10",
         {"/dev/serial/by-id/usb-x"},
         "ftdi_sio: Bad \xff name",
         "PID 7 (minicom)"},
    };
    std::ostringstream plain;
    PrintSerialPorts(ports, plain, false);
    EXPECT_EQ(plain.str(),
              "/dev/ttyS0     -\n"
              "/dev/ttyUSB10  ftdi_sio: Bad \xff name  [in use by PID 7 (minicom)]\n"
              "    also /dev/serial/by-id/usb-x\n");

    std::ostringstream json;
    PrintSerialPorts(ports, json, true);
    std::istringstream lines(json.str());
    std::string line;
    std::vector<nlohmann::json> parsed;
    while (std::getline(lines, line)) parsed.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(parsed.size(), 2U);
    EXPECT_EQ(parsed[1]["event"], "port");
    EXPECT_EQ(parsed[1]["port"], "/dev/ttyUSB10");
    EXPECT_EQ(parsed[1]["aliases"][0], "/dev/serial/by-id/usb-x");
    EXPECT_EQ(parsed[1]["holder"], "PID 7 (minicom)");
    EXPECT_EQ(parsed[0]["holder"], "");

    std::ostringstream none;
    PrintSerialPorts({}, none, false);
    EXPECT_EQ(none.str(), "no serial ports found\n");
}

}  // namespace
}  // namespace vardel::test
