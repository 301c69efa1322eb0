// What CreateFileW needs for the serial port a user names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vardel::win32 {

// "\\.\COMn" for "COMn", "comn", "COMn:" or "\\.\COMn" with n from 1 to 256
// (the device namespace is the only way to COM10 and above, and serves COM1
// to COM9 as well); any other "\\.\" name (a virtual port driver's own) as
// it is; nullopt for anything else, so that a file name never stands for a
// port.
std::optional<std::wstring> ComPortPath(std::string_view name);

}  // namespace vardel::win32

#include "platform/SerialPorts.h"

namespace vardel::win32 {

// The latency timer of the FTDI adapter behind port.device ("COM3"), as its
// driver keeps it in the registry, and how to lower it when it is above 1 ms.
// Nothing is written to the registry.
void ReadLatencyTimer(SerialPortInfo& port);

}  // namespace vardel::win32
