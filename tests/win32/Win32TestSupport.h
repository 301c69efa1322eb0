// Real Windows objects for the Windows platform's tests: the folder of the
// running program, and win32_peer, the other program those tests need.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <process.h>

#include <string>

#include "platform/win32/UniqueHandle.h"

namespace vardel::test {

// The folder that holds the running program, with its trailing backslash.
inline std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH * 4, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.rfind(L'\\') + 1);
}

// win32_peer with a window of windowClass, holding file; ended at the latest
// when this goes.
class Peer {
public:
    Peer(const std::wstring& windowClass, const std::wstring& file) {
        const std::wstring program = ProgramFolder() + L"win32_peer.exe";
        const std::wstring quoted = L"\"" + file + L"\"";
        process_ =
            win32::UniqueHandle(reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr)
                _wspawnl(_P_NOWAIT, program.c_str(), L"win32_peer", windowClass.c_str(),
                         quoted.c_str(), nullptr)));
    }
    ~Peer() {
        if (process_.Valid() && ExitStatus(0) == STILL_ACTIVE) {
            ::TerminateProcess(process_.Get(), 1);
            ::WaitForSingleObject(process_.Get(), INFINITE);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Its exit status once it has ended within timeoutMs; STILL_ACTIVE if not.
    [[nodiscard]] DWORD ExitStatus(DWORD timeoutMs) const {
        DWORD status = STILL_ACTIVE;
        if (process_.Valid() && ::WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0) {
            ::GetExitCodeProcess(process_.Get(), &status);
        }
        return status;
    }

private:
    win32::UniqueHandle process_;
};

}  // namespace vardel::test
