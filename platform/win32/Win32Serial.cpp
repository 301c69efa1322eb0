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

COMMTIMEOUTS LinkTimeouts(std::uint32_t writeMarginMs) {
    return {MAXDWORD, 0, 0, writeMarginMs > 0 ? 1U : 0U, writeMarginMs};
}

COMMTIMEOUTS WaitTimeouts(std::uint32_t timeoutMs, std::uint32_t writeMarginMs) {
    COMMTIMEOUTS timeouts = LinkTimeouts(writeMarginMs);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = std::clamp<DWORD>(timeoutMs, 1, kLongestWait);
    return timeouts;
}

bool LineGoneError(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_OPERATION_ABORTED:
        return true;
    default:
        return false;
    }
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

ReadResult ReadWaiting(HANDLE port, std::uint32_t timeoutMs, std::uint32_t writeMarginMs,
                       std::uint8_t& byte) {
    COMMTIMEOUTS waiting = WaitTimeouts(timeoutMs, writeMarginMs);
    DWORD got = 0;
    if (::SetCommTimeouts(port, &waiting) == FALSE ||
        ::ReadFile(port, &byte, 1, &got, nullptr) == FALSE) {
        return ReadResult::kFailed;
    }
    return got == 1 ? ReadResult::kByte : ReadResult::kNothing;
}

}  // namespace

Win32Platform::Win32Platform(std::wstring portName, const LineOptions& line)
    : portName_(std::move(portName)), line_(line) {}

void Win32Platform::NoteFailure(DWORD error) {
    if (LineGoneError(error)) fault_ = LineFault::Gone;
}

LineFault Win32Platform::SerialFault(PortHandle port) const {
    return port == faultPort_ ? fault_ : LineFault::None;
}

PortHandle Win32Platform::OpenSerial() {
    HANDLE port = ::CreateFileW(portName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    refusal_ = {port == INVALID_HANDLE_VALUE ? ::GetLastError() : 0, 0};
    faultPort_ = reinterpret_cast<PortHandle>(port);  // INVALID_HANDLE_VALUE is kInvalidHandle
    fault_ = LineFault::None;
    return faultPort_;
}

// GetCommState's result is not looked at: the settings go on top of whatever
// it left in the record. Only a refused SetCommState fails the configuration.
bool Win32Platform::ConfigureSerial(PortHandle port) {
    HANDLE handle = AsHandle(port);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    static_cast<void>(::GetCommState(handle, &dcb));
    ApplyLinkSettings(dcb);
    refusal_ = {};
    if (::SetCommState(handle, &dcb) == FALSE) {
        refusal_.error = ::GetLastError();
        return false;
    }
    static_cast<void>(::SetupComm(handle, kQueueBytes, kQueueBytes));
    COMMTIMEOUTS timeouts = LinkTimeouts(line_.writeMarginMs);
    static_cast<void>(::SetCommTimeouts(handle, &timeouts));
    return true;
}

void Win32Platform::PurgeSerial(PortHandle port) {
    if (stash_.port == port) {
        stash_ = {};  // it had arrived, so it goes too
    }
    static_cast<void>(::PurgeComm(AsHandle(port), kPurgeEverything));
}

// No overlapped structure: WriteFile returns once the driver has taken the
// bytes, fails, or (with a write margin) runs out of its time-out short.
std::uint32_t Win32Platform::WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                         std::uint32_t length) {
    DWORD written = 0;
    if (::WriteFile(AsHandle(port), bytes, length, &written, nullptr) == FALSE) {
        NoteFailure(::GetLastError());
    } else if (written < length && line_.writeMarginMs > 0 && port == faultPort_) {
        fault_ = LineFault::Stalled;
    }
    return written;
}

bool Win32Platform::ReadSerialByte(PortHandle port, std::uint8_t& byte) {
    if (stash_.port != 0 && stash_.port == port) {
        byte = stash_.byte;
        stash_ = {};
        return true;
    }
    DWORD got = 0;
    if (::ReadFile(AsHandle(port), &byte, 1, &got, nullptr) == FALSE) {
        NoteFailure(::GetLastError());
        return false;
    }
    return got == 1;
}

void Win32Platform::WaitSerialReadable(PortHandle port, std::uint32_t timeoutMs) {
    if (stash_.port != 0) {
        return;  // a byte is already waiting
    }
    HANDLE handle = AsHandle(port);
    std::uint8_t byte = 0;
    const std::uint32_t margin = line_.writeMarginMs;
    const bool got = WaitForFirstByte(
        [this, handle, margin](std::uint32_t ms, std::uint8_t& into) {
            const ReadResult result = ReadWaiting(handle, ms, margin, into);
            if (result == ReadResult::kFailed) NoteFailure(::GetLastError());
            return result;
        },
        pause_, timeoutMs, byte);
    COMMTIMEOUTS usual = LinkTimeouts(margin);
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
