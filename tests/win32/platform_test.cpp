// The Windows platform on Wine: the serial link's settings, the firmware
// file, the program's own path and the navigation program.
#include <gtest/gtest.h>

#include <chrono>
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

namespace vardel::test {
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

// The wait over scripted drivers, in real time: one that returns at once with
// nothing (as some USB adapters do), one that holds the read as asked, one
// whose reads fail. A byte is seen within a few milliseconds of its coming,
// whichever way the driver behaves, and no driver makes the wait spin or
// outlast its time.
TEST(Win32SerialWait, TheByteIsSeenAtOnceWhicheverWayTheDriverBehavesAndTheWaitKeepsItsTime) {
    using Clock = std::chrono::steady_clock;
    using Ms = std::chrono::duration<double, std::milli>;
    enum Driver { kEarly, kHonouring, kFailing };
    constexpr int kNever = -1;
    // The answer has 10 ms from the last byte; a loaded machine (the suite
    // runs beside builds) may delay any wake-up by a few more.
    constexpr double kLateMs = 25.0;
    const struct {
        const char* name;
        Driver driver;
        int byteAtMs;
        std::uint32_t timeoutMs;
        int minReads, maxReads;
    } rows[] = {
        {"early, byte at 40 ms", kEarly, 40, 300, 2, 200},
        {"early, no byte", kEarly, kNever, 100, 2, 400},
        {"honouring, byte at 40 ms", kHonouring, 40, 300, 1, 1},
        {"honouring, no byte", kHonouring, kNever, 100, 1, 2},
        {"failing", kFailing, 40, 100, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Clock::time_point start = Clock::now();
        const auto byteDue = [&] {
            return row.byteAtMs != kNever && Ms(Clock::now() - start).count() >= row.byteAtMs;
        };
        int reads = 0;
        const win32::WaitingRead read = [&](std::uint32_t ms, std::uint8_t& byte) {
            ++reads;
            if (row.driver == kFailing) return win32::ReadResult::kFailed;
            if (row.driver == kHonouring) {
                const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
                while (!byteDue() && Clock::now() < until) ::Sleep(1);
            }
            if (!byteDue()) return win32::ReadResult::kNothing;
            byte = 0x23;
            return win32::ReadResult::kByte;
        };
        win32::ShortPause pause;
        std::uint8_t byte = 0;
        const bool got = win32::WaitForFirstByte(read, pause, row.timeoutMs, byte);
        const double took = Ms(Clock::now() - start).count();
        const bool expectByte = row.driver != kFailing && row.byteAtMs != kNever;
        EXPECT_EQ(got, expectByte);
        if (expectByte) {
            EXPECT_EQ(byte, 0x23);
            EXPECT_GE(took, row.byteAtMs);
            EXPECT_LT(took, row.byteAtMs + kLateMs) << "seen late";
        } else {
            EXPECT_GE(took, row.timeoutMs - 1.0);
            EXPECT_LT(took, row.timeoutMs + kLateMs) << "outlasted its time";
        }
        EXPECT_GE(reads, row.minReads) << "gave up reading";
        EXPECT_LE(reads, row.maxReads) << "spun";
    }
}

class Win32Files : public ::testing::Test {
protected:
    win32::Win32Platform platform;
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
}  // namespace vardel::test
