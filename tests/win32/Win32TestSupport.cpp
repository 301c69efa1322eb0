#include "tests/win32/Win32TestSupport.h"

#include <fstream>

namespace vardel::test {

namespace {

constexpr DWORD kPollMs = 10;

}  // namespace

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH * 4);
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring folder(path.data(), length);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

OtherProgram::OtherProgram(const std::wstring& program, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (::CreatePipe(&readEnd, &writeEnd, &inherited, 0) == FALSE) return;
    output_ = win32::UniqueHandle(readEnd);
    const win32::UniqueHandle childEnd(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::wstring line = L"\"" + ProgramFolder() + program + L"\" " + arguments;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &started) != FALSE) {
        ::CloseHandle(started.hThread);
        process_ = win32::UniqueHandle(started.hProcess);
    }
}

OtherProgram::~OtherProgram() {
    if (process_.Valid() && AwaitExit(0) == STILL_ACTIVE) {
        ::TerminateProcess(process_.Get(), 1);
        ::WaitForSingleObject(process_.Get(), INFINITE);
    }
}

bool OtherProgram::AwaitLine(const std::string& line, DWORD timeoutMs) {
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    for (;;) {
        for (std::size_t end = pending_.find('\n'); end != std::string::npos;
             end = pending_.find('\n')) {
            const std::string got = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (got == line) return true;
        }
        DWORD waiting = 0;
        if (::PeekNamedPipe(output_.Get(), nullptr, 0, nullptr, &waiting, nullptr) != FALSE &&
            waiting > 0) {
            std::string chunk(waiting, '\0');
            DWORD got = 0;
            ::ReadFile(output_.Get(), chunk.data(), waiting, &got, nullptr);
            pending_.append(chunk, 0, got);
            continue;
        }
        if (::GetTickCount64() >= until) return false;
        ::Sleep(kPollMs);
    }
}

DWORD OtherProgram::AwaitExit(DWORD timeoutMs) {
    DWORD status = STILL_ACTIVE;
    if (::WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process_.Get(), &status);
    }
    return status;
}

ScratchFolder::ScratchFolder() {
    wchar_t name[MAX_PATH] = {};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    ::GetTempFileNameW(base.wstring().c_str(), L"vdl", 0, name);
    path_ = name;
    std::filesystem::remove(path_);
    std::filesystem::create_directory(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::wstring ScratchFolder::File(const std::wstring& name) const {
    return (path_ / name).wstring();
}

void ScratchFolder::Write(const std::wstring& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vardel::test
