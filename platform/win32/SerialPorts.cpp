#include "platform/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/win32/ComPortName.h"
#include "platform/win32/SystemHeaders.h"
#include "platform/win32/Utf8Text.h"

namespace vardel::win32 {
namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";
constexpr std::string_view kComPrefix = "COM";
constexpr int kHighestComPort = 256;
constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// Value names are driver device paths ("\Device\Serial0"), data "COMn": both
// short, but the registry bounds neither, so a longer entry is skipped.
constexpr DWORD kMaxRegistryText = 256;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

// The n of "COMn" (any case), 1 to 256, written without leading zeros; 0 when
// it is no such name.
int ComNumber(std::string_view name) {
    if (!StartsWithNoCase(name, kComPrefix)) {
        return 0;
    }
    const std::string_view digits = name.substr(kComPrefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    const bool whole = error == std::errc() && end == digits.data() + digits.size();
    if (!whole || digits.front() == '0' || number > kHighestComPort) {
        return 0;
    }
    return number;
}

}  // namespace

std::optional<std::wstring> ComPortPath(std::string_view name) {
    const bool inNamespace = name.starts_with(kDeviceNamespace);
    if (inNamespace) {
        name.remove_prefix(kDeviceNamespace.size());
    } else if (name.ends_with(':')) {
        name.remove_suffix(1);
    }
    if (const int number = ComNumber(name); number > 0) {
        return L"\\\\.\\COM" + std::to_wstring(number);
    }
    if (inNamespace && !name.empty()) {
        return WideFromUtf8(kDeviceNamespace) + WideFromUtf8(name);
    }
    return std::nullopt;
}

}  // namespace vardel::win32

namespace vardel {

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<SerialPortInfo> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::kSerialCommKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;  // no serial driver has registered a port
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[win32::kMaxRegistryText];
        wchar_t data[win32::kMaxRegistryText];
        DWORD nameUnits = win32::kMaxRegistryText;
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key, index, name, &nameUnits, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        // The data need not end in a terminator: take its units up to one.
        std::wstring_view device(data, dataBytes / sizeof(wchar_t));
        device = device.substr(0, device.find(L'\0'));
        if (!device.empty()) {
            ports.push_back({win32::Utf8FromWide(device),
                             {},
                             win32::Utf8FromWide(std::wstring_view(name, nameUnits)),
                             {}});
        }
    }
    ::RegCloseKey(key);
    SortSerialPorts(ports);
    return ports;
}

// Windows opens a port for one handle at a time and names no holder.
std::string DescribePortHolder(const std::string& /*device*/) { return {}; }

}  // namespace vardel
