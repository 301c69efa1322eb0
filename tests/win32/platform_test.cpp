// The Windows platform on Wine: the serial link's settings, the firmware
// file, the program's own path and the navigation program.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"
#include "tests/win32/Win32TestSupport.h"

namespace vardel {
namespace {

constexpr DWORD kStartMs = 20000;  // a Wine program's start, on a busy machine

const char16_t* Text16(const std::wstring& text) {
    return reinterpret_cast<const char16_t*>(text.c_str());
}

// The packed flag bits follow BaudRate in the record: bits 0, 1 and 7 set;
// 2 to 6, 8 and 10 to 14 cleared; 9 (fInX) and 15 to 31 as they were.
constexpr std::size_t kFlagsAt = offsetof(DCB, BaudRate) + sizeof(DWORD);
constexpr DWORD kSet = 0x00000083u;
constexpr DWORD kCleared = 0x00007D7Cu;

// Whatever GetCommState returned stays, but for the line settings.
TEST(Win32LinkSettings, SetOnlyTheLinkBitsAndKeepEverythingElseAsTheDriverGaveIt) {
    for (const int fill : {0x00, 0xFF, 0xA5, 0x5A}) {
        DCB dcb;
        std::memset(&dcb, fill, sizeof dcb);
        DCB expected = dcb;
        DWORD flags = 0;
        std::memcpy(&flags, reinterpret_cast<char*>(&expected) + kFlagsAt, sizeof flags);
        flags = (flags | kSet) & ~kCleared;
        std::memcpy(reinterpret_cast<char*>(&expected) + kFlagsAt, &flags, sizeof flags);
        expected.BaudRate = 38400;
        expected.ByteSize = 8;
        expected.Parity = NOPARITY;
        expected.StopBits = ONESTOPBIT;

        win32::ApplyLinkSettings(dcb);
        EXPECT_EQ(std::memcmp(&dcb, &expected, sizeof dcb), 0) << "filled with " << fill;
    }
}

// Both MAXDWORD and a constant strictly between 0 and MAXDWORD: the read
// returns with the first byte, or empty after the constant. Any other
// constant would make it return at once, or wait on without end.
TEST(Win32LinkSettings, TheWaitsTimeOutLiesStrictlyBetween0AndMaxdword) {
    const std::pair<DWORD, DWORD> rows[] = {{300, 300}, {0, 1}, {MAXDWORD, MAXDWORD - 1}};
    for (const auto& [asked, constant] : rows) {
        const COMMTIMEOUTS wait = win32::WaitTimeouts(asked);
        EXPECT_EQ(wait.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(wait.ReadTotalTimeoutMultiplier, MAXDWORD);
        EXPECT_EQ(wait.ReadTotalTimeoutConstant, constant) << asked;
    }
}

class Win32Files : public ::testing::Test {
protected:
    Win32Platform platform;
    // Beside the test program, a file of the case's own: cases may run at once.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::wstring file = test::ProgramFolder() + std::wstring(name.begin(), name.end());

    void TearDown() override { ::DeleteFileW(file.c_str()); }

    // One read of up to 65,536 bytes; nothing when the file does not open.
    std::vector<std::uint8_t> ReadWhole(std::uint32_t& error) {
        const FileHandle handle = platform.OpenFileForReading(Text16(file));
        if (handle == kInvalidHandle) return {};
        std::vector<std::uint8_t> bytes(65536);
        bytes.resize(platform.ReadFile(handle, bytes.data(), 65536, error));
        platform.CloseFile(handle);
        return bytes;
    }
};

// A missing file or a folder never opens.
TEST_F(Win32Files, OneReadBringsTheFileUpToTheBufferAndNoErrorWhenItSucceeds) {
    std::string bytes(65537, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + 5);
    std::ofstream(std::filesystem::path(file), std::ios::binary) << bytes;
    std::uint32_t error = 99;
    EXPECT_EQ(ReadWhole(error), std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(platform.OpenFileForReading(Text16(file + L".missing")), kInvalidHandle);
    EXPECT_EQ(platform.OpenFileForReading(Text16(test::ProgramFolder())), kInvalidHandle);
}

// The navigation program of either class is found by its class alone and
// ends when asked to quit; the firmware file it holds without sharing does
// not open until then (Wine refuses a second open, as Windows does).
TEST_F(Win32Files, AnotherProgramsWindowIsFoundAndEndedAndTheFileItHoldsRefusedTillThen) {
    std::ofstream(std::filesystem::path(file), std::ios::binary) << "image";
    for (const std::wstring name : {L"Q9Gps", L"MtkGps"}) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const test::Peer navigation(name, file);
        ProgramHandle found = 0;  // its window comes once it holds the file
        for (DWORD waited = 0; found == 0 && waited < kStartMs; waited += 10, ::Sleep(10)) {
            found = platform.FindProgram(Text16(name));
        }
        ASSERT_NE(found, 0);
        EXPECT_EQ(platform.OpenFileForReading(Text16(file)), kInvalidHandle);
        EXPECT_EQ(platform.FindProgram(Text16(name.substr(0, name.size() - 1))), 0)
            << "a part of the class name is another class";
        platform.AskProgramToQuit(found);
        EXPECT_EQ(navigation.ExitStatus(kStartMs), 0u) << "ended by WM_QUIT";
        std::uint32_t error = 0;
        EXPECT_EQ(ReadWhole(error).size(), 5u) << "released with the program's end";
    }
    EXPECT_EQ(platform.FindProgram(u"Q9Gps"), 0);
}

// The engine cuts the path after its last separator; a path that does not
// fit is not written at all, and its length says so.
TEST_F(Win32Files, TheProgramPathComesWholeOrNotAtAll) {
    char16_t path[260] = {};
    const std::uint32_t length = platform.ProgramFilePath(path, 260);
    EXPECT_EQ(win32::Wide(path), test::ProgramFolder() + L"win32_tests.exe");
    EXPECT_EQ(std::wstring(win32::Wide(path)).size(), length);
    char16_t small[8] = {u'x', 0};
    EXPECT_EQ(platform.ProgramFilePath(small, 8), length);
    EXPECT_EQ(std::u16string(small), u"x");
}

}  // namespace
}  // namespace vardel
