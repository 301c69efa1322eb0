// The platform interface hands handles out as integers (PortHandle,
// FileHandle, ProgramHandle); Windows takes them back as what they are.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <cstdint>

namespace vardel::win32 {

// NOLINTBEGIN(performance-no-int-to-ptr): these integers were handles.
inline HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
inline HWND AsWindow(std::intptr_t window) { return reinterpret_cast<HWND>(window); }
// NOLINTEND(performance-no-int-to-ptr)

}  // namespace vardel::win32
