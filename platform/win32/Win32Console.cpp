// The command line's needs of Windows: the COM port a user names, reasons
// looked up again after a refusal, console events counted into StopRequests,
// and a console that shows the engine's Chinese texts whatever its code page.
#include "platform/win32/SystemHeaders.h"

#include <iostream>
#include <memory>
#include <streambuf>

#include "platform/Console.h"
#include "platform/win32/ComPortName.h"
#include "platform/win32/Utf8Text.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

// msvcrt's split of the wide command line, as its start-up code makes argv.
struct StartupInfo {
    int newMode;
};
// NOLINTNEXTLINE(bugprone-reserved-identifier): the C runtime's own, which its headers leave out.
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                              int expandWildcards, StartupInfo* startup);

namespace vardel {
namespace {

// The length of text without a UTF-8 sequence cut short at its end.
std::size_t WholeSequences(std::string_view text) {
    constexpr unsigned char kContinuation = 0x80;
    constexpr unsigned char kContinuationMask = 0xC0;
    constexpr unsigned char kLeadOfFour = 0xF0;
    constexpr unsigned char kLeadOfThree = 0xE0;
    constexpr std::size_t kLongest = 4;
    for (std::size_t back = 1; back < kLongest && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & kContinuationMask) == kContinuation) continue;
        const std::size_t length = byte >= kLeadOfFour         ? 4
                                   : byte >= kLeadOfThree      ? 3
                                   : byte >= kContinuationMask ? 2
                                                               : 1;
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

// A standard stream on a console, written as UTF-16 with WriteConsoleW: the
// C runtime would take our UTF-8 through its own locale's code page on the
// way (as Latin-1 under the "C" locale). A line goes out when it ends, or
// when the stream is flushed.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char text = traits_type::to_char_type(c);
        xsputn(&text, 1);
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        if (pending_.find('\n') != std::string::npos) sync();
        return count;
    }
    int sync() override {
        const std::size_t whole = WholeSequences(pending_);
        const std::wstring wide = win32::WideFromUtf8(std::string_view{pending_}.substr(0, whole));
        pending_.erase(0, whole);
        DWORD written = 0;
        return wide.empty() ||
                       ::WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()),
                                       &written, nullptr) != FALSE
                   ? 0
                   : -1;
    }

private:
    HANDLE console_;
    std::string pending_;
};

// A stream that goes to a console is rerouted through a ConsoleBuffer for
// the run; one that goes to a file or a pipe keeps writing UTF-8 bytes.
class ConsoleStream {
public:
    ConsoleStream(std::ostream& stream, DWORD handle) : stream_(stream) {
        HANDLE console = ::GetStdHandle(handle);
        DWORD mode = 0;
        if (::GetConsoleMode(console, &mode) == FALSE) return;
        buffer_ = std::make_unique<ConsoleBuffer>(console);
        original_ = stream_.rdbuf(buffer_.get());
    }
    ~ConsoleStream() {
        if (!buffer_) return;
        stream_.flush();
        stream_.rdbuf(original_);
    }
    ConsoleStream(const ConsoleStream&) = delete;
    ConsoleStream& operator=(const ConsoleStream&) = delete;

private:
    std::ostream& stream_;
    std::unique_ptr<ConsoleBuffer> buffer_;
    std::streambuf* original_ = nullptr;
};

// The console's own settings, changed for the run and put back when the
// program ends: its output code page becomes UTF-8 (for whatever reaches it
// past our streams), the standard streams write UTF-16 to it, and a terminal
// display may switch escape sequences on.
class ConsoleSettings {
public:
    ConsoleSettings() : codePage_(::GetConsoleOutputCP()) {
        if (codePage_ != 0) static_cast<void>(::SetConsoleOutputCP(CP_UTF8));
    }
    ~ConsoleSettings() {
        if (codePage_ != 0) static_cast<void>(::SetConsoleOutputCP(codePage_));
        if (modeChanged_) static_cast<void>(::SetConsoleMode(output_, mode_));
    }
    ConsoleSettings(const ConsoleSettings&) = delete;
    ConsoleSettings& operator=(const ConsoleSettings&) = delete;

    // Whether standard output is a console that now takes escape sequences.
    bool TakeEscapeSequences() {
        output_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0;
        if (::GetConsoleMode(output_, &mode) == FALSE) return false;  // a file or a pipe
        if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
        // Consoles older than Windows 10 refuse it: they get plain lines.
        if (::SetConsoleMode(output_, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == FALSE) {
            return false;
        }
        if (!modeChanged_) mode_ = mode;
        modeChanged_ = true;
        return true;
    }

private:
    UINT codePage_;  // 0: no console
    ConsoleStream out_{std::cout, STD_OUTPUT_HANDLE};
    ConsoleStream errors_{std::cerr, STD_ERROR_HANDLE};
    HANDLE output_ = nullptr;
    DWORD mode_ = 0;
    bool modeChanged_ = false;
};

ConsoleSettings g_console;

StopRequests g_requests;

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        g_requests.interrupts.fetch_add(1);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_requests.endNow.store(true);
        // The system ends the process as soon as this returns. So it does
        // not: meanwhile the units stop, release their ports, and the program
        // ends by itself (or the system's patience, some seconds, runs out).
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

// The system's text for an error, without its line end and full stop.
std::string SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD units = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring_view view(text != nullptr ? text : L"", units);
    while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' ' ||
                             view.back() == L'.')) {
        view.remove_suffix(1);
    }
    std::string line = view.empty() ? "error " + std::to_string(error) : win32::Utf8FromWide(view);
    static_cast<void>(::LocalFree(text));
    return line;
}

std::string PortText(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such port";
    // A COM port opens for one handle at a time.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "in use by another program";
    default:
        return SystemText(error);
    }
}

}  // namespace

// The C runtime's own wide split of the command line, rather than the shell's
// CommandLineToArgvW: shell32 would load user32 (see Win32System.cpp).
std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    StartupInfo startup{};
    if (__wgetmainargs(&count, &wide, &environment, 0, &startup) != 0 || wide == nullptr) {
        return {argv, argv + argc};
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(win32::Utf8FromWide(wide[i]));
    return arguments;
}

// A name that is no port gets a platform that opens nothing.
std::unique_ptr<Platform> MakePlatform(const std::string& device, const LineOptions& line) {
    return std::make_unique<win32::Win32Platform>(
        win32::ComPortPath(device).value_or(std::wstring()), line);
}

std::u16string PathText(const std::string& path) {
    const std::wstring wide = win32::WideFromUtf8(path);
    return {wide.begin(), wide.end()};
}

std::string ConsoleText(std::u16string_view text) {
    return win32::Utf8FromWide({win32::Wide(text.data()), text.size()});
}

std::string FileRefusal(const std::string& path, const Refusal& refusal) {
    // CreateFileW tells a folder only as "access denied".
    const DWORD attributes = ::GetFileAttributesW(win32::WideFromUtf8(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "a folder, not a file";
    }
    if (refusal.error == ERROR_SHARING_VIOLATION || refusal.error == ERROR_LOCK_VIOLATION) {
        return "held by another program";
    }
    return SystemText(refusal.error);
}

std::string ErrorText(std::uint32_t error) { return SystemText(error); }

std::string PortRefusal(const std::string& device, const Refusal& refusal) {
    if (!win32::ComPortPath(device)) {
        return "not a serial port's name (COM1 to COM256, or \\\\.\\ and a device name)";
    }
    return PortText(refusal.error);
}

// A COM port another program has open is refused with "access denied".
bool PortInUse(const Refusal& refusal) {
    return refusal.error == ERROR_ACCESS_DENIED || refusal.error == ERROR_SHARING_VIOLATION;
}

std::string SettingsRefusal(const Refusal& refusal) {
    // A device that is no serial port has no line settings to refuse.
    if (refusal.error == ERROR_INVALID_FUNCTION || refusal.error == ERROR_NOT_SUPPORTED) {
        return "not a serial port (" + SystemText(refusal.error) + ")";
    }
    return "refused the line settings 38,400 baud 8N1";
}

const StopRequests& WatchStopRequests() {
    static_cast<void>(::SetConsoleCtrlHandler(OnConsoleEvent, TRUE));
    return g_requests;
}

bool StandardOutputIsTerminal() { return g_console.TakeEscapeSequences(); }

// The console's input, read as key events: nothing is echoed that way.
struct EnterKeys::Terminal {
    HANDLE input = INVALID_HANDLE_VALUE;
};

EnterKeys::EnterKeys() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input != INVALID_HANDLE_VALUE && ::GetConsoleMode(input, &mode) != FALSE) {
        terminal_.reset(new Terminal{input});
    }
}

void EnterKeys::Restore::operator()(Terminal* terminal) const { delete terminal; }

bool EnterKeys::Pressed() {
    if (!terminal_) return false;
    bool pressed = false;
    DWORD waiting = 0;
    while (::GetNumberOfConsoleInputEvents(terminal_->input, &waiting) != FALSE && waiting > 0) {
        INPUT_RECORD events[16];
        DWORD got = 0;
        if (::ReadConsoleInputW(terminal_->input, events, 16, &got) == FALSE || got == 0) break;
        for (DWORD i = 0; i < got; ++i) {
            const KEY_EVENT_RECORD& key = events[i].Event.KeyEvent;
            pressed = pressed || (events[i].EventType == KEY_EVENT && key.bKeyDown != FALSE &&
                                  key.wVirtualKeyCode == VK_RETURN);
        }
    }
    return pressed;
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) == FALSE) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int TerminalRows() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) == FALSE) return 0;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

std::string AdapterLatencyWarning(const std::string& device) {
    const auto path = win32::ComPortPath(device);
    if (!path) return {};
    SerialPortInfo port;
    port.device = win32::Utf8FromWide(path->substr(4));  // after "\\.\"
    win32::ReadLatencyTimer(port);
    if (port.latencyFix.empty()) return {};
    return device + ": the adapter's latency timer is " + std::to_string(port.latencyTimerMs) +
           " ms, and each block request waits up to that long; " + port.latencyFix;
}

std::string PortIdentity(const std::string& device) {
    const auto path = win32::ComPortPath(device);
    return path ? win32::Utf8FromWide(*path) : device;
}

}  // namespace vardel
