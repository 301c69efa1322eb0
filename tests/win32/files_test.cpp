// The firmware file, the program's own path and the other programs, on Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"
#include "tests/win32/Win32TestSupport.h"

namespace vardel {
namespace {

using test::OtherProgram;

constexpr DWORD kStartMs = 20000;  // a Wine program's start, on a busy machine

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return bytes;
}

const char16_t* Text16(const std::wstring& text) {
    return reinterpret_cast<const char16_t*>(text.c_str());
}

class Win32Files : public ::testing::Test {
protected:
    test::ScratchFolder folder;
    Win32Platform platform;

    // A whole read of the file; kInvalidHandle's size when it does not open.
    std::vector<std::uint8_t> ReadWhole(const std::wstring& name, std::uint32_t& error) {
        const FileHandle file = platform.OpenFileForReading(Text16(folder.File(name)));
        if (file == kInvalidHandle) return {};
        std::vector<std::uint8_t> buffer(65536);
        const std::uint32_t got = platform.ReadFile(file, buffer.data(), 65536, error);
        platform.CloseFile(file);
        buffer.resize(got);
        return buffer;
    }
};

TEST_F(Win32Files, OneReadBringsTheFileUpToTheBufferAndNoErrorWhenItSucceeds) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1023}, std::size_t{65537}}) {
        const std::vector<std::uint8_t> bytes = Pattern(size);
        folder.Write(L"KD51A.BIN", bytes);
        std::uint32_t error = 99;
        const std::vector<std::uint8_t> got = ReadWhole(L"KD51A.BIN", error);
        EXPECT_EQ(got, std::vector<std::uint8_t>(
                           bytes.begin(), bytes.begin() + std::min<std::size_t>(size, 65536)))
            << size;
        EXPECT_EQ(error, 0u) << size;
    }
}

// Wine refuses a second open of a file held without sharing by another
// process, as Windows does; and a missing file or a folder never opens.
TEST_F(Win32Files, AFileHeldByAnotherProgramAMissingFileOrAFolderDoesNotOpen) {
    folder.Write(L"MTK51A.BIN", Pattern(2048));
    EXPECT_EQ(platform.OpenFileForReading(Text16(folder.File(L"missing.bin"))), kInvalidHandle);
    EXPECT_EQ(platform.OpenFileForReading(Text16(folder.File(L""))), kInvalidHandle);
    {
        OtherProgram holder(L"win32_peer.exe", L"hold \"" + folder.File(L"MTK51A.BIN") + L"\"");
        ASSERT_TRUE(holder.AwaitLine("ready", kStartMs));
        EXPECT_EQ(platform.OpenFileForReading(Text16(folder.File(L"MTK51A.BIN"))), kInvalidHandle);
    }
    std::uint32_t error = 0;
    EXPECT_EQ(ReadWhole(L"MTK51A.BIN", error).size(), 2048u) << "released with the holder's end";
}

// The engine cuts the path after its last separator; a path that does not
// fit is not written at all, and its length says so.
TEST_F(Win32Files, TheProgramPathEndsInTheProgramAfterABackslashAndComesOnlyWhole) {
    char16_t path[260] = {};
    const std::uint32_t length = platform.ProgramFilePath(path, 260);
    const std::wstring got = win32::Wide(path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(got.size(), length);
    EXPECT_EQ(platform.FolderSeparator(), u'\\');
    EXPECT_EQ(got, test::ProgramFolder() + L"win32_tests.exe");

    char16_t small[8] = {u'x', 0};
    EXPECT_EQ(platform.ProgramFilePath(small, 8), length);
    EXPECT_EQ(small[0], u'x');
    EXPECT_EQ(small[1], u'\0');
}

TEST(Win32Programs, TheNavigationWindowOfEitherClassIsFoundAndEndsWhenAskedToQuit) {
    Win32Platform platform;
    for (const std::wstring name : {L"Q9Gps", L"MtkGps"}) {
        OtherProgram navigation(L"win32_peer.exe", L"navigation " + name);
        ASSERT_TRUE(navigation.AwaitLine("ready", kStartMs));
        const ProgramHandle found = platform.FindProgram(Text16(name));
        ASSERT_NE(found, 0) << "class " << std::string(name.begin(), name.end());
        EXPECT_EQ(platform.FindProgram(Text16(name.substr(0, name.size() - 1))), 0)
            << "a part of the class name is another class";
        platform.AskProgramToQuit(found);
        EXPECT_EQ(navigation.AwaitExit(kStartMs), 0u) << "ended by WM_QUIT";
    }
    EXPECT_EQ(platform.FindProgram(u"Q9Gps"), 0);
}

}  // namespace
}  // namespace vardel
