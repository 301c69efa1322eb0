// What the firmware loader reads from the system: the file and its lock, the
// program's own path, the memory figure, and where its debug lines go.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "platform/posix/Utf.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

class PosixFilesTest : public ::testing::Test {
protected:
    test::TempDir dir;
    PosixPlatform platform{"/dev/null"};

    FileHandle Open(const std::filesystem::path& path) {
        return platform.OpenFileForReading(utf::Utf8ToUtf16(path.string()).c_str());
    }
};

TEST_F(PosixFilesTest, AFirmwareFileIsLockedAgainstOthersWhileOpenAndRefusedWhileTheyHoldIt) {
    const auto path = dir.Path() / "KD51A.BIN";
    test::WriteFileBytes(path, test::Counting(2048));
    UniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(Open(path), kInvalidHandle);
    ASSERT_EQ(::flock(other.Get(), LOCK_UN), 0);

    const FileHandle file = Open(path);
    ASSERT_NE(file, kInvalidHandle);
    EXPECT_NE(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);
    platform.CloseFile(file);
    EXPECT_EQ(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);
}

TEST_F(PosixFilesTest, AFailedReadReportsTheSystemError) {
    // Reading this process's memory at address 0 fails with EIO.
    const FileHandle file = platform.OpenFileForReading(u"/proc/self/mem");
    ASSERT_NE(file, kInvalidHandle);
    std::uint8_t buffer[64];
    std::uint32_t error = 0;
    EXPECT_EQ(platform.ReadFile(file, buffer, sizeof buffer, error), 0u);
    EXPECT_EQ(error, static_cast<std::uint32_t>(EIO));
    platform.CloseFile(file);
}

TEST_F(PosixFilesTest, TheProgramPathIsWrittenOnlyWhenItFitsWithItsTerminator) {
    const std::uint32_t length = platform.ProgramFilePath(nullptr, 0);
    ASSERT_GT(length, 0u);
    std::u16string tooSmall(length, u'#');
    EXPECT_EQ(platform.ProgramFilePath(tooSmall.data(), length), length);
    EXPECT_EQ(tooSmall, std::u16string(length, u'#')) << "left untouched";
    std::u16string exact(length + 1, u'#');
    EXPECT_EQ(platform.ProgramFilePath(exact.data(), length + 1), length);
    EXPECT_EQ(exact[0], u'/');
    EXPECT_EQ(exact[length], u'\0');
}

TEST_F(PosixFilesTest, TotalPhysicalMemoryIsTheSystemsMemTotal) {
    std::ifstream meminfo("/proc/meminfo");
    std::uint64_t kib = 0;
    for (std::string line; std::getline(meminfo, line);) {
        if (line.starts_with("MemTotal:")) std::istringstream(line.substr(9)) >> kib;
    }
    ASSERT_GT(kib, 0u);
    EXPECT_EQ(platform.TotalPhysicalMemory(), std::min<std::uint64_t>(kib * 1024, 0xFFFFFFFFu));
}

TEST_F(PosixFilesTest, ADebugLineGoesToStandardErrorAsUtf8) {
    test::Pipe pipe;
    const UniqueFd saved(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
    ::dup2(pipe.writeEnd.Get(), STDERR_FILENO);
    platform.DebugPrint(u"-------------update file name = /opt/升级/KD51A.BIN\U0001F600\r\n");
    ::dup2(saved.Get(), STDERR_FILENO);
    pipe.writeEnd.Reset();
    const std::string expected =
        "-------------update file name = /opt/升级/KD51A.BIN\xF0\x9F\x98\x80\r\n";
    EXPECT_EQ(test::ReadFor(pipe.readEnd.Get(), expected.size() + 1, 200),
              test::Bytes(expected.begin(), expected.end()));
}

}  // namespace
}  // namespace vardel
