// Real Windows objects for the Windows platform's tests: another program
// whose output is read line by line, and a scratch folder.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/UniqueHandle.h"

namespace vardel::test {

// The folder that holds the test program, with its trailing backslash.
std::wstring ProgramFolder();

// A program started with its standard output in a pipe; ended at the latest
// when this goes.
class OtherProgram {
public:
    // program is found beside the test program.
    OtherProgram(const std::wstring& program, const std::wstring& arguments);
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    [[nodiscard]] bool Started() const { return process_.Valid(); }
    // True once a whole line equal to line has come within timeoutMs.
    bool AwaitLine(const std::string& line, DWORD timeoutMs);
    // The exit status once it has ended within timeoutMs; STILL_ACTIVE if not.
    DWORD AwaitExit(DWORD timeoutMs);

private:
    win32::UniqueHandle process_;
    win32::UniqueHandle output_;
    std::string pending_;
};

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] std::wstring File(const std::wstring& name) const;
    void Write(const std::wstring& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path path_;
};

}  // namespace vardel::test
