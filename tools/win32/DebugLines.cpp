// DebugLines: starts a program as its debugger and prints every line it writes
// to the system debug output (OutputDebugStringW), the way a Windows developer
// watches a program's debug lines. See kUsage.
#include <string>
#include <vector>

#include "platform/win32/Utf8Text.h"

namespace {

using vardel::win32::Say;
using vardel::win32::Utf8FromWide;

constexpr char kUsage[] =
    "usage: DebugLines PROGRAM.exe [ARGUMENTS...]\n"
    "Runs the program under this debugger and prints each debug string it\n"
    "writes as one UTF-8 line, ends as written (CR LF stays). Exit status: the\n"
    "program's, or 2 when it could not be started.";

constexpr int kCannotStart = 2;

// The command line of the program and its arguments, each one quoted.
std::wstring CommandLine(int argc, wchar_t** argv) {
    std::wstring line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += L' ';
        line += L'"';
        line += argv[i];
        line += L'"';
    }
    return line;
}

std::string Utf8FromAnsi(const char* text) {
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0) return {};
    std::vector<wchar_t> wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    return Utf8FromWide(wide.data());
}

// The string lives in the debuggee; its length counts the terminator. A
// debugger that waits with WaitForDebugEvent gets even OutputDebugStringW's
// text as ANSI, in the system's ANSI code page (GBK on a Chinese Windows):
// it is converted from there, never passed on as if it were UTF-8.
std::string DebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const std::size_t units = info.nDebugStringLength;
    if (info.fUnicode != 0) {
        std::vector<wchar_t> text(units + 1, L'\0');
        ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * sizeof(wchar_t),
                            nullptr);
        return Utf8FromWide(text.data());
    }
    std::vector<char> text(units + 1, '\0');
    ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units, nullptr);
    return Utf8FromAnsi(text.data());
}

// WaitForDebugEventEx (Windows 10 and later) hands OutputDebugStringW's text
// over as it was written, in UTF-16, so that no letter outside the ANSI code
// page is lost; before Windows 10 (and under Wine) there is only
// WaitForDebugEvent.
using WaitForDebugEventFunction = BOOL(WINAPI*)(LPDEBUG_EVENT, DWORD);

WaitForDebugEventFunction DebugEventWait() {
    const FARPROC found =
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "WaitForDebugEventEx");
    if (found == nullptr) return &::WaitForDebugEvent;
    // Through void(*)(): GetProcAddress's type stands for any function.
    return reinterpret_cast<WaitForDebugEventFunction>(reinterpret_cast<void (*)()>(found));
}

void CloseFileOf(const DEBUG_EVENT& event) {
    HANDLE file = nullptr;
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
        file = event.u.CreateProcessInfo.hFile;
    } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
        file = event.u.LoadDll.hFile;
    }
    if (file != nullptr) ::CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        Say(kUsage, STD_ERROR_HANDLE);
        return kCannotStart;
    }
    std::wstring line = CommandLine(argc, argv);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                         nullptr, nullptr, &startup, &started) == FALSE) {
        Say("DebugLines: cannot start the program (error " + std::to_string(::GetLastError()) + ")",
            STD_ERROR_HANDLE);
        return kCannotStart;
    }
    const WaitForDebugEventFunction waitForDebugEvent = DebugEventWait();
    DWORD exitCode = 0;
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (waitForDebugEvent(&event, INFINITE) == FALSE) break;
        DWORD answer = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
            // The line's own CR LF ends it; nothing is added.
            Say(DebugString(started.hProcess, event.u.DebugString), STD_OUTPUT_HANDLE, false);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The program's own exceptions stay its own; only the breakpoint
            // that every debuggee starts with is ours.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                answer = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            running = false;
            break;
        default:
            CloseFileOf(event);
            break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    }
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return static_cast<int>(exitCode);
}
