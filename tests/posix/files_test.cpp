// What the firmware loader reads from the system: the file and its lock, the
// program's own path, the memory figure, and where its debug lines go.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

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

TEST_F(PosixFilesTest, AFirmwareFileIsLockedAgainstOthersWhileOpen) {
    const auto path = dir.Path() / "KD51A.BIN";
    test::WriteFileBytes(path, test::Counting(2048));
    UniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const FileHandle file = Open(path);
    ASSERT_NE(file, kInvalidHandle);
    EXPECT_NE(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);
    platform.CloseFile(file);
    EXPECT_EQ(::flock(other.Get(), LOCK_SH | LOCK_NB), 0);
}

// Another process that holds a lock of any kind, or is still writing the file
// (a copy on its way), keeps it from opening until it lets go; a reader does not.
TEST_F(PosixFilesTest, AFirmwareFileHeldByAnotherProcessIsRefusedUntilReleased) {
    const auto path = dir.Path() / "KD51A.BIN";
    test::WriteFileBytes(path, test::Counting(2048));
    const auto lockWith = [](int fd, int command) {
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        return ::fcntl(fd, command, &lock) == 0;
    };
    const struct {
        const char* what;
        int openFlags;
        std::function<bool(int)> hold;
        bool refused;
    } holders[] = {
        {"a shared flock", O_RDONLY, [](int fd) { return ::flock(fd, LOCK_SH) == 0; }, true},
        {"a POSIX record lock", O_RDONLY, [&](int fd) { return lockWith(fd, F_SETLK); }, true},
        {"an open-file lock", O_RDONLY, [&](int fd) { return lockWith(fd, F_OFD_SETLK); }, true},
        {"a writer", O_WRONLY | O_APPEND, [](int /*fd*/) { return true; }, true},
        {"a reader and writer", O_RDWR, [](int /*fd*/) { return true; }, true},
        {"a reader", O_RDONLY, [](int /*fd*/) { return true; }, false},
    };
    for (const auto& holder : holders) {
        test::Pipe ready;
        test::Pipe done;
        test::ChildProcess child([&] {
            const int fd = ::open(path.c_str(), holder.openFlags);
            if (fd >= 0 && holder.hold(fd)) {
                test::SendToken(ready.writeEnd.Get());
                test::AwaitToken(done.readEnd.Get(), 10000);
            }
        });
        ASSERT_TRUE(test::AwaitToken(ready.readEnd.Get(), 2000)) << holder.what;
        const FileHandle whileHeld = Open(path);
        EXPECT_EQ(whileHeld == kInvalidHandle, holder.refused) << holder.what;
        platform.CloseFile(whileHeld);
        test::SendToken(done.writeEnd.Get());
        child.Reap();
        const FileHandle afterwards = Open(path);
        EXPECT_NE(afterwards, kInvalidHandle) << holder.what;
        platform.CloseFile(afterwards);
    }
}

// Firmware copied from a system that ignores letter case keeps the spelling
// it came with; an exact name wins, else the first variant in byte order.
TEST_F(PosixFilesTest, ANameThatDiffersOnlyInLetterCaseIsMatched) {
    const struct {
        std::vector<const char*> present;
        const char* asked;
        const char* matched;
    } cases[] = {
        {{"mtk51a.bin"}, "MTK51A.BIN", "mtk51a.bin"},
        {{"mtk51a.bin", "MTK51A.BIN"}, "MTK51A.BIN", "MTK51A.BIN"},
        {{"mtk51a.bin", "Mtk51A.Bin", "MTK51a.bin"}, "MTK51A.BIN", "MTK51a.bin"},
        {{"MTK51A.BIN.part", "MTK51B.BIN"}, "MTK51A.BIN", "MTK51A.BIN"},
        {{}, "MTK51A.BIN", "MTK51A.BIN"},
    };
    for (const auto& c : cases) {
        const test::TempDir folder;
        std::filesystem::create_directory(folder.Path() / "Sub");
        for (const char* name : c.present) test::WriteFileBytes(folder.Path() / "Sub" / name, {1});
        // Only the name is matched: the folder's own case stays as asked.
        std::u16string path = utf::Utf8ToUtf16((folder.Path() / "Sub" / c.asked).string());
        platform.MatchFileNameCase(path.data());
        EXPECT_EQ(path, utf::Utf8ToUtf16((folder.Path() / "Sub" / c.matched).string()))
            << c.asked << " among " << c.present.size();
        std::u16string elsewhere = utf::Utf8ToUtf16((folder.Path() / "sub" / c.asked).string());
        const std::u16string asked = elsewhere;
        platform.MatchFileNameCase(elsewhere.data());
        EXPECT_EQ(elsewhere, asked);
    }
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
