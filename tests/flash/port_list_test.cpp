// What --list-ports prints: aligned plain lines, or JSON lines that parse
// whatever bytes a USB device calls itself.
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "flash/PortList.h"

namespace vardel::test {
namespace {

TEST(SerialPortPrinting, PlainLinesAlignAndJsonLinesParseEvenWithBytesThatAreNotUtf8) {
    const std::vector<SerialPortInfo> ports = {
        {"/dev/ttyS0", {}, "", "", 0, ""},
        {"/dev/ttyUSB10",
         {"/dev/serial/by-id/x"},
         "ftdi_sio: Bad \xff name",
         "PID 7 (minicom)",
         16,
         "fix: F"},
    };
    std::ostringstream plain;
    flash::PrintSerialPorts(ports, plain, false);
    EXPECT_EQ(plain.str(),
              "/dev/ttyS0     -\n"
              "/dev/ttyUSB10  ftdi_sio: Bad \xff name  latency timer 16 ms  [in use by PID 7 "
              "(minicom)]\n"
              "    warning: each block request waits up to 16 ms in the adapter; fix: F\n"
              "    also /dev/serial/by-id/x\n");
    std::ostringstream json;
    flash::PrintSerialPorts(ports, json, true);
    std::istringstream lines(json.str());
    std::string second;
    std::getline(lines, second);
    std::getline(lines, second);
    const char* const expected =
        R"j({"event": "port", "port": "/dev/ttyUSB10", "aliases": ["/dev/serial/by-id/x"],
        "description": "ftdi_sio: Bad \ufffd name", "holder": "PID 7 (minicom)",
        "latency_timer_ms": 16, "latency_fix": "fix: F"})j";
    EXPECT_EQ(nlohmann::json::parse(second), nlohmann::json::parse(expected));
    std::ostringstream none;
    flash::PrintSerialPorts({}, none, false);
    EXPECT_EQ(none.str(), "no serial ports found\n");
}

}  // namespace
}  // namespace vardel::test
