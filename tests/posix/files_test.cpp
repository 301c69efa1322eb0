// The firmware file, the program's own path and the debug output, on real
// files and processes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Utf.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

using test::Bytes;
using test::Counting;

constexpr std::uint32_t kImageLimit = 65536;

class PosixFilesTest : public ::testing::Test {
protected:
    test::TempDir dir;
    PosixPlatform platform{"/dev/null"};

    std::filesystem::path Firmware(const Bytes& bytes, const char* name = "KD51A.BIN") {
        auto path = dir.Path() / name;
        test::WriteFileBytes(path, bytes);
        return path;
    }

    FileHandle Open(const std::filesystem::path& path) {
        return platform.OpenFileForReading(utf::Utf8ToUtf16(path.string()).c_str());
    }

    // One read of up to the image limit, as the firmware loader does it.
    Bytes ReadImage(FileHandle file, std::uint32_t& error) {
        Bytes image(kImageLimit);
        error = 12345;
        image.resize(platform.ReadFile(file, image.data(), kImageLimit, error));
        return image;
    }
};

TEST_F(PosixFilesTest, MissingFileDoesNotOpen) {
    EXPECT_EQ(Open(dir.Path() / "KD51A.BIN"), kInvalidHandle);
}

TEST_F(PosixFilesTest, FolderDoesNotOpenAsAFile) {
    std::filesystem::create_directory(dir.Path() / "KD51A.BIN");
    EXPECT_EQ(Open(dir.Path() / "KD51A.BIN"), kInvalidHandle);
}

TEST_F(PosixFilesTest, ShortFileIsReadWholeWithoutError) {
    const Bytes bytes = Counting(1023);
    const FileHandle file = Open(Firmware(bytes));
    ASSERT_NE(file, kInvalidHandle);

    std::uint32_t error = 0;
    EXPECT_EQ(ReadImage(file, error), bytes);
    EXPECT_EQ(error, 0u);
    platform.CloseFile(file);
}

TEST_F(PosixFilesTest, LongFileIsReadUpToTheLimitOnly) {
    const Bytes bytes = Counting(kImageLimit + 4464);
    const FileHandle file = Open(Firmware(bytes));
    ASSERT_NE(file, kInvalidHandle);

    std::uint32_t error = 0;
    EXPECT_EQ(ReadImage(file, error), Bytes(bytes.begin(), bytes.begin() + kImageLimit));
    EXPECT_EQ(error, 0u);
    platform.CloseFile(file);
}

// A single read() may return less than asked; the platform must keep reading.
TEST_F(PosixFilesTest, FileThatArrivesInPiecesIsGatheredToItsEnd) {
    const auto path = dir.Path() / "KD51A.BIN";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const Bytes bytes = Counting(3000);
    test::ChildProcess writer([&] {
        UniqueFd out(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
            test::WriteAll(out.Get(), Bytes(bytes.begin() + static_cast<long>(at),
                                            bytes.begin() + static_cast<long>(at + 1000)));
            ::usleep(20000);
        }
    });

    const FileHandle file = Open(path);
    ASSERT_NE(file, kInvalidHandle);
    std::uint32_t error = 0;
    EXPECT_EQ(ReadImage(file, error), bytes);
    EXPECT_EQ(error, 0u);
    platform.CloseFile(file);
}

TEST_F(PosixFilesTest, FailedReadReportsTheSystemError) {
    // Reading this process's memory at address 0 fails with EIO.
    const FileHandle file = platform.OpenFileForReading(u"/proc/self/mem");
    ASSERT_NE(file, kInvalidHandle);

    std::uint32_t error = 0;
    EXPECT_TRUE(ReadImage(file, error).empty());
    EXPECT_EQ(error, static_cast<std::uint32_t>(EIO));
    platform.CloseFile(file);
}

TEST_F(PosixFilesTest, FileLockedThroughAnotherOpenDoesNotOpenUntilReleased) {
    const auto path = Firmware(Counting(2048));
    UniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(other.Get(), LOCK_EX | LOCK_NB), 0);

    EXPECT_EQ(Open(path), kInvalidHandle);

    other.Reset();
    EXPECT_NE(Open(path), kInvalidHandle);
}

TEST_F(PosixFilesTest, FileLockedByAnotherProcessDoesNotOpen) {
    const auto path = Firmware(Counting(2048));
    test::Pipe ready;
    test::Pipe done;
    test::ChildProcess holder([&] {
        UniqueFd theirs(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (::flock(theirs.Get(), LOCK_SH | LOCK_NB) == 0) {
            test::SendToken(ready.writeEnd.Get());
            test::AwaitToken(done.readEnd.Get(), 10000);
        }
    });
    ASSERT_TRUE(test::AwaitToken(ready.readEnd.Get(), 2000));

    EXPECT_EQ(Open(path), kInvalidHandle);

    test::SendToken(done.writeEnd.Get());
    holder.Reap();
    EXPECT_NE(Open(path), kInvalidHandle);
}

TEST_F(PosixFilesTest, OpenFileIsHeldAgainstOthersUntilClosed) {
    const auto path = Firmware(Counting(2048));
    const FileHandle file = Open(path);
    ASSERT_NE(file, kInvalidHandle);

    EXPECT_EQ(Open(path), kInvalidHandle);
    UniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_NE(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);

    platform.CloseFile(file);
    EXPECT_EQ(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);
}

TEST_F(PosixFilesTest, PathWithChineseAndNonBmpCharactersOpens) {
    const Bytes bytes = Counting(1024);
    const auto path = Firmware(bytes, "升级固件\xF0\x9F\x98\x80.BIN");

    const FileHandle file = platform.OpenFileForReading(
        (utf::Utf8ToUtf16(dir.Path().string()) + u"/升级固件\U0001F600.BIN").c_str());

    ASSERT_NE(file, kInvalidHandle);
    std::uint32_t error = 0;
    EXPECT_EQ(ReadImage(file, error), bytes);
    platform.CloseFile(file);
}

// A file handle of 0 is a good one; only -1 means the open failed.
TEST_F(PosixFilesTest, FileOnDescriptorZeroIsAGoodHandle) {
    const Bytes bytes = Counting(1500);
    const auto path = Firmware(bytes);
    UniqueFd savedStdin(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    ::close(STDIN_FILENO);

    const FileHandle file = Open(path);
    std::uint32_t error = 0;
    const Bytes read = ReadImage(file, error);
    platform.CloseFile(file);
    ::dup2(savedStdin.Get(), STDIN_FILENO);

    EXPECT_EQ(file, 0);
    EXPECT_EQ(read, bytes);
}

TEST_F(PosixFilesTest, ClosedFileIsNotReadAnyMore) {
    const FileHandle file = Open(Firmware(Counting(1024)));
    platform.CloseFile(file);

    std::uint32_t error = 0;
    EXPECT_TRUE(ReadImage(file, error).empty());
    EXPECT_EQ(error, static_cast<std::uint32_t>(EBADF));
}

TEST_F(PosixFilesTest, ProgramFilePathNamesTheRunningProgram) {
    char16_t buffer[4096];
    const std::uint32_t length = platform.ProgramFilePath(buffer, 4096);

    ASSERT_GT(length, 0u);
    // How the program was started, as its first argument says.
    std::ifstream commandLine("/proc/self/cmdline");
    std::string firstArgument;
    std::getline(commandLine, firstArgument, '\0');
    const std::filesystem::path started = std::filesystem::canonical(firstArgument);
    EXPECT_EQ(utf::Utf16ToUtf8(std::u16string_view(buffer, length)), started.string());
    EXPECT_EQ(buffer[length], u'\0');
}

TEST_F(PosixFilesTest, ProgramFilePathIsWrittenOnlyWhenItFitsWithItsTerminator) {
    const std::uint32_t length = platform.ProgramFilePath(nullptr, 0);
    ASSERT_GT(length, 0u);

    std::u16string tooSmall(length, u'#');
    EXPECT_EQ(platform.ProgramFilePath(tooSmall.data(), length), length);
    EXPECT_EQ(tooSmall, std::u16string(length, u'#')) << "left untouched";

    std::u16string exact(length + 1, u'#');
    EXPECT_EQ(platform.ProgramFilePath(exact.data(), length + 1), length);
    EXPECT_EQ(exact[length], u'\0');
    EXPECT_EQ(exact[0], u'/');
}

TEST_F(PosixFilesTest, DebugLineGoesToStandardErrorAsUtf8AsGiven) {
    test::StderrCapture capture;
    platform.DebugPrint(
        u"-------------update file name = /opt/升级/KD51A.BIN, hand = 3"
        u"----------------\r\n");
    platform.DebugPrint(u"\U0001F600\r\n");

    EXPECT_EQ(capture.Finish(),
              "-------------update file name = /opt/升级/KD51A.BIN, hand = 3"
              "----------------\r\n"
              "\xF0\x9F\x98\x80\r\n");
}

}  // namespace
}  // namespace vardel
