// DebugLines: starts a program as its debugger and prints every line it writes
// to the system debug output (OutputDebugStringW), the way a Windows developer
// watches a program's debug lines. See kUsage.
#include <string>
#include <vector>

#include "tools/win32/ConsoleText.h"

namespace {

using vardel::win32::Say;
using vardel::win32::Utf8;

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

// The string lives in the debuggee; its length counts the terminator.
std::string DebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const std::size_t units = info.nDebugStringLength;
    if (info.fUnicode != 0) {
        std::vector<wchar_t> text(units + 1, L'\0');
        ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * sizeof(wchar_t),
                            nullptr);
        return Utf8(text.data());
    }
    std::vector<char> text(units + 1, '\0');
    ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units, nullptr);
    return text.data();
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
    DWORD exitCode = 0;
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (::WaitForDebugEvent(&event, INFINITE) == FALSE) break;
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
