// The serial port "COM4:": opened exclusively, set to 38,400 baud 8N1 through
// its DCB, with reads that never wait.
#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/win32/Handles.h"
#include "platform/win32/PacedTimer.h"
#include "platform/win32/Win32Platform.h"

namespace vardel::win32 {

namespace {

constexpr DWORD kBaudRate = 38400;
constexpr BYTE kDataBits = 8;
constexpr DWORD kQueueBytes = 1024;
constexpr DWORD kPurgeEverything = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// A waiting read's time-out must lie strictly between 0 and MAXDWORD.
constexpr DWORD kLongestWait = MAXDWORD - 1;
constexpr LONGLONG kHundredNsPerMs = 10000;

}  // namespace

void ApplyLinkSettings(DCB& dcb) {
    dcb.BaudRate = kBaudRate;
    dcb.ByteSize = kDataBits;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 1;  // parity checking on, although no parity bit is used
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
}

COMMTIMEOUTS LinkTimeouts() { return {MAXDWORD, 0, 0, 0, 0}; }

COMMTIMEOUTS WaitTimeouts(std::uint32_t timeoutMs) {
    return {MAXDWORD, MAXDWORD, std::clamp<DWORD>(timeoutMs, 1, kLongestWait), 0, 0};
}

void ShortPause::OneMs() {
    if (!tried_) {
        tried_ = true;
        timer_ = HighResolutionTimer();
    }
    LARGE_INTEGER due{};
    due.QuadPart = -kHundredNsPerMs;  // relative
    if (timer_.Valid() &&
        ::SetWaitableTimer(timer_.Get(), &due, 0, nullptr, nullptr, FALSE) != FALSE) {
        ::WaitForSingleObject(timer_.Get(), INFINITE);
    } else {
        ::Sleep(1);
    }
}

bool WaitForFirstByte(const WaitingRead& read, ShortPause& pause, std::uint32_t timeoutMs,
                      std::uint8_t& byte) {
    using Clock = std::chrono::steady_clock;
    using Ms = std::chrono::milliseconds;
    const Clock::time_point until = Clock::now() + Ms(timeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<Ms>(until - Clock::now()).count();
        const ReadResult result =
            read(static_cast<std::uint32_t>(std::max<Ms::rep>(left, 1)), byte);
        if (result == ReadResult::kByte) {
            return true;
        }
        const Clock::time_point now = Clock::now();
        if (now >= until) {
            return false;
        }
        if (result == ReadResult::kFailed) {
            ::Sleep(static_cast<DWORD>(std::chrono::ceil<Ms>(until - now).count()));
            return false;
        }
        pause.OneMs();
    }
}

namespace {

// One ReadFile of one byte; false when none came.
bool ReadOneByte(HANDLE port, std::uint8_t& byte) {
    DWORD got = 0;
    return ::ReadFile(port, &byte, 1, &got, nullptr) != FALSE && got == 1;
}

ReadResult ReadWaiting(HANDLE port, std::uint32_t timeoutMs, std::uint8_t& byte) {
    COMMTIMEOUTS waiting = WaitTimeouts(timeoutMs);
    DWORD got = 0;
    if (::SetCommTimeouts(port, &waiting) == FALSE ||
        ::ReadFile(port, &byte, 1, &got, nullptr) == FALSE) {
        return ReadResult::kFailed;
    }
    return got == 1 ? ReadResult::kByte : ReadResult::kNothing;
}

}  // namespace

Win32Platform::Win32Platform(std::wstring portName) : portName_(std::move(portName)) {}

PortHandle Win32Platform::OpenSerial() {
    HANDLE port = ::CreateFileW(portName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    return reinterpret_cast<PortHandle>(port);  // INVALID_HANDLE_VALUE is kInvalidHandle
}

// GetCommState's result is not looked at: the settings go on top of whatever
// it left in the record. Only a refused SetCommState fails the configuration.
bool Win32Platform::ConfigureSerial(PortHandle port) {
    HANDLE handle = AsHandle(port);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    static_cast<void>(::GetCommState(handle, &dcb));
    ApplyLinkSettings(dcb);
    if (::SetCommState(handle, &dcb) == FALSE) {
        return false;
    }
    static_cast<void>(::SetupComm(handle, kQueueBytes, kQueueBytes));
    COMMTIMEOUTS timeouts = LinkTimeouts();
    static_cast<void>(::SetCommTimeouts(handle, &timeouts));
    return true;
}

void Win32Platform::PurgeSerial(PortHandle port) {
    if (stash_.port == port) {
        stash_ = {};  // it had arrived, so it goes too
    }
    static_cast<void>(::PurgeComm(AsHandle(port), kPurgeEverything));
}

// No overlapped structure and no write time-out: WriteFile returns once the
// driver has taken the bytes, or fails.
std::uint32_t Win32Platform::WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                         std::uint32_t length) {
    DWORD written = 0;
    static_cast<void>(::WriteFile(AsHandle(port), bytes, length, &written, nullptr));
    return written;
}

bool Win32Platform::ReadSerialByte(PortHandle port, std::uint8_t& byte) {
    if (stash_.port != 0 && stash_.port == port) {
        byte = stash_.byte;
        stash_ = {};
        return true;
    }
    return ReadOneByte(AsHandle(port), byte);
}

void Win32Platform::WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) {
    if (stash_.port != 0) {
        return;  // a byte is already waiting
    }
    HANDLE handle = AsHandle(port);
    std::uint8_t byte = 0;
    const bool got = WaitForFirstByte(
        [handle](std::uint32_t ms, std::uint8_t& into) { return ReadWaiting(handle, ms, into); },
        pause_, timeoutMs, byte);
    COMMTIMEOUTS usual = LinkTimeouts();
    static_cast<void>(::SetCommTimeouts(handle, &usual));
    if (got) {
        stash_ = {port, byte};
    }
}

void Win32Platform::CloseSerial(PortHandle port) {
    if (stash_.port == port) {
        stash_ = {};
    }
    static_cast<void>(::CloseHandle(AsHandle(port)));
}

}  // namespace vardel::win32
