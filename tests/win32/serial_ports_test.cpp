// The serial ports on Windows: a user's port name as CreateFileW needs it, and
// the ports the registry lists, under Wine.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/SerialPorts.h"
#include "platform/win32/ComPortName.h"

namespace vardel::test {
namespace {

TEST(Win32ComPortName, EverySpellingOfAComPortLeadsThroughTheDeviceNamespace) {
    const struct {
        const char* given;
        std::optional<std::wstring> expected;
    } cases[] = {
        {"COM4", L"\\\\.\\COM4"},
        {"com4", L"\\\\.\\COM4"},
        {"COM4:", L"\\\\.\\COM4"},
        {"\\\\.\\COM4", L"\\\\.\\COM4"},
        {"COM10", L"\\\\.\\COM10"},
        {"COM256", L"\\\\.\\COM256"},
        {"\\\\.\\CNCA0", L"\\\\.\\CNCA0"},  // a virtual port driver's own name
        {"COM0", std::nullopt},
        {"COM257", std::nullopt},
        {"COM04", std::nullopt},
        {"COM4::", std::nullopt},
        {"firmware.bin", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win32::ComPortPath(c.given), c.expected) << c.given;
    }
}

// Every port the registry lists must be one a user can name back to us.
TEST(Win32SerialPorts, EachListedPortCanBeOpenedByItsName) {
    for (const SerialPortInfo& port : ListSerialPorts()) {
        EXPECT_TRUE(win32::ComPortPath(port.device)) << port.device;
    }
}

}  // namespace
}  // namespace vardel::test
