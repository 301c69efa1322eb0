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

// FTDI's driver keeps each adapter's settings under its device's key:
// Enum\FTDIBUS\<device>\<instance>\Device Parameters, with the PortName
// it was given and its LatencyTimer in milliseconds.
constexpr const wchar_t* kFtdiDevices = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[kMaxRegistryText];
    for (DWORD i = 0;; ++i) {
        DWORD units = kMaxRegistryText;
        const LONG status =
            ::RegEnumKeyExW(key, i, name, &units, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) names.emplace_back(name, units);
    }
    return names;
}

// The latency timer of the FTDI adapter that serves COMn; 0 when none does.
int FtdiLatencyTimer(const std::string& port) {
    HKEY devices = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFtdiDevices, 0, KEY_READ, &devices) != ERROR_SUCCESS) {
        return 0;
    }
    int latency = 0;
    const std::wstring wanted = WideFromUtf8(port);
    for (const auto& device : SubkeyNames(devices)) {
        HKEY instances = nullptr;
        if (::RegOpenKeyExW(devices, device.c_str(), 0, KEY_READ, &instances) != ERROR_SUCCESS) {
            continue;
        }
        for (const auto& instance : SubkeyNames(instances)) {
            const std::wstring parameters = instance + L"\\Device Parameters";
            wchar_t name[kMaxRegistryText] = {};
            DWORD nameBytes = sizeof name - sizeof(wchar_t);
            DWORD timer = 0;
            DWORD timerBytes = sizeof timer;
            if (::RegGetValueW(instances, parameters.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr,
                               name, &nameBytes) == ERROR_SUCCESS &&
                _wcsicmp(name, wanted.c_str()) == 0 &&
                ::RegGetValueW(instances, parameters.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD,
                               nullptr, &timer, &timerBytes) == ERROR_SUCCESS) {
                latency = static_cast<int>(timer);
            }
        }
        ::RegCloseKey(instances);
    }
    ::RegCloseKey(devices);
    return latency;
}

}  // namespace

void ReadLatencyTimer(SerialPortInfo& port) {
    port.latencyTimerMs = FtdiLatencyTimer(port.device);
    if (port.latencyTimerMs > 1) {
        port.latencyFix =
            "fix: Device Manager, the port's Properties, Port Settings, Advanced, "
            "Latency Timer (msec): 1";
    }
}

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
                             {},
                             0,
                             {}});
            win32::ReadLatencyTimer(ports.back());
        }
    }
    ::RegCloseKey(key);
    SortSerialPorts(ports);
    return ports;
}

// Windows opens a port for one handle at a time and names no holder.
std::string DescribePortHolder(const std::string& /*device*/) { return {}; }

}  // namespace vardel
