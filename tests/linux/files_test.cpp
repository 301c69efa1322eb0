// What the firmware loader reads from the system: the file's name and its
// errors, the program's own path, the memory figure, and where its debug lines
// go. Files held by other processes are the fault matrix's concern.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/Surroundings.h"
#include "platform/linux/Utf.h"
#include "tests/e2e/E2eHarness.h"

namespace vardel::test {
namespace {

class LinuxFilesTest : public ::testing::Test {
protected:
    TempDir dir;
    linuxos::LinuxPlatform platform{"/dev/null"};
};

// Firmware copied from a system that ignores letter case keeps the spelling
// it came with; an exact name wins, else the first variant in byte order.
TEST_F(LinuxFilesTest, ANameThatDiffersOnlyInLetterCaseIsMatched) {
    const struct {
        std::vector<const char*> present;
        const char* matched;
    } cases[] = {
        {{"mtk51a.bin"}, "mtk51a.bin"},
        {{"mtk51a.bin", "MTK51A.BIN"}, "MTK51A.BIN"},
        {{"mtk51a.bin", "Mtk51A.Bin", "MTK51a.bin"}, "MTK51a.bin"},
        {{"MTK51A.BIN.part", "MTK51B.BIN"}, "MTK51A.BIN"},
        {{}, "MTK51A.BIN"},
    };
    for (const auto& c : cases) {
        const TempDir folder;
        std::filesystem::create_directory(folder.Path() / "Sub");
        for (const char* name : c.present) WriteFile(folder.Path() / "Sub" / name, {1});
        // Only the name is matched: the folder's own case stays as asked.
        std::u16string path = linuxos::Utf8ToUtf16((folder.Path() / "Sub/MTK51A.BIN").string());
        platform.MatchFileNameCase(path.data());
        EXPECT_EQ(path, linuxos::Utf8ToUtf16((folder.Path() / "Sub" / c.matched).string()))
            << "among " << c.present.size();
        std::u16string elsewhere =
            linuxos::Utf8ToUtf16((folder.Path() / "sub/MTK51A.BIN").string());
        const std::u16string asked = elsewhere;
        platform.MatchFileNameCase(elsewhere.data());
        EXPECT_EQ(elsewhere, asked);
    }
}

// A file may come in parts, as one on some file systems or a pipe does: the
// read gathers them in order. One that fails reports the system's error.
TEST_F(LinuxFilesTest, AReadGathersAFileThatComesInPartsOrReportsTheSystemError) {
    const std::string fifo = dir.Path() / "KD51A.BIN";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    linuxos::UniqueFd writer(::open(fifo.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_EQ(::write(writer.Get(), "first", 5), 5);
    const FileHandle pipe = platform.OpenFileForReading(linuxos::Utf8ToUtf16(fifo).c_str());
    ASSERT_NE(pipe, kInvalidHandle);
    std::thread rest([&writer] {
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(::write(writer.Get(), " second", 7), 7);
        writer.Reset();
    });
    Bytes buffer(32, 0);  // read into its second half: nothing strays before it unseen
    std::uint32_t error = 1;
    EXPECT_EQ(platform.ReadFile(pipe, buffer.data() + 16, 16, error), 12u);
    rest.join();
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 28),
              std::string(16, '\0') + "first second");
    EXPECT_EQ(error, 0u);
    platform.CloseFile(pipe);

    // Reading this process's memory at address 0 fails with EIO.
    const FileHandle file = platform.OpenFileForReading(u"/proc/self/mem");
    ASSERT_NE(file, kInvalidHandle);
    EXPECT_EQ(platform.ReadFile(file, buffer.data(), 16, error), 0u);
    EXPECT_EQ(error, static_cast<std::uint32_t>(EIO));
    platform.CloseFile(file);
}

TEST_F(LinuxFilesTest, TheProgramPathIsWrittenOnlyWhenItFitsWithItsTerminator) {
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

// The figure decides which firmware file is loaded (MTK or Q9): MemTotal's
// kB are KiB, a machine of 4 GiB or more saturates, and without the file the
// system's own total stands.
TEST_F(LinuxFilesTest, TotalMemoryIsMemTotalInBytesSaturatedElseTheSystemsOwn) {
    const auto meminfo = [&](const std::string& text) {
        const std::string path = dir.Path() / "meminfo";
        std::ofstream(path) << text;
        return linuxos::TotalMemory(path.c_str());
    };
    EXPECT_EQ(meminfo("MemFree:  1024 kB\nMemTotal:        2048000 kB\n"), 2'097'152'000u);
    EXPECT_EQ(meminfo("MemTotal:        8388608 kB\n"), 0xFFFFFFFFu);
    struct sysinfo info {};
    ASSERT_EQ(::sysinfo(&info), 0);
    const std::uint64_t system = std::uint64_t{info.totalram} * info.mem_unit;
    EXPECT_EQ(linuxos::TotalMemory("/nonexistent/meminfo"),
              std::min<std::uint64_t>(system, 0xFFFFFFFFu));
    EXPECT_GT(platform.TotalPhysicalMemory(), 0u);
}

// As the program sets itself up: a debug line nobody reads is lost, and ends
// nothing (SIGPIPE), holds nothing.
TEST_F(LinuxFilesTest, ADebugLineGoesToStandardErrorAsUtf8OrIsLostWithoutAReader) {
    linuxos::SettleSurroundings();
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    linuxos::UniqueFd readEnd(ends[0]);
    const linuxos::UniqueFd saved(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
    ::dup2(ends[1], STDERR_FILENO);
    ::close(ends[1]);
    platform.DebugPrint(u"-------------update file name = /opt/升级/KD51A.BIN\U0001F600\r\n");
    const std::string expected =
        "-------------update file name = /opt/升级/KD51A.BIN\xF0\x9F\x98\x80\r\n";
    EXPECT_EQ(ReadWaiting(readEnd.Get(), 200), Bytes(expected.begin(), expected.end()));
    readEnd.Reset();
    platform.DebugPrint(u"-------------nobody reads this\r\n");
    ::dup2(saved.Get(), STDERR_FILENO);
}

}  // namespace
}  // namespace vardel::test
