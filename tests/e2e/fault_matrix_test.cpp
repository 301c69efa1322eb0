// The fault matrix: whatever the line, the port or the firmware files do, the
// user is told, nothing hangs beyond one 300 ms poll window, and every run
// that completes delivers the file's whole blocks byte for byte.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>

#include "tests/e2e/E2eHarness.h"

namespace vardel::e2e {
namespace {

using namespace std::chrono_literals;

// One poll window plus the writing of a frame and the scheduler's slack.
constexpr auto kLongestTickAllowed = 300ms + 60ms;

void ExpectDelivered(UpgradeRun& run, std::size_t blocks) {
    ASSERT_EQ(run.RunToDone(60s), STEP_DONE);
    EXPECT_TRUE(run.Reported(u"升级成功!"));
    const sim::Verdict verdict = run.FinishWithReset();
    EXPECT_TRUE(verdict.identical) << verdict.Text();
    EXPECT_TRUE(verdict.resetReceived) << verdict.Text();
    EXPECT_TRUE(verdict.faults.empty()) << verdict.Text();
    EXPECT_EQ(verdict.blocks, blocks) << verdict.Text();
}

// A process of its own that holds a file until released: with an exclusive
// lock, or merely open (as most programs hold a serial device), or open for
// writing (as a copy on its way is).
enum class Hold { Lock, Open, Write };

class LockHolder {
public:
    explicit LockHolder(const std::string& path, Hold how = Hold::Lock) {
        int ready[2];
        int release[2];
        if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls: the parent has threads.
            close(ready[0]);
            close(release[1]);
            const int mode = how == Hold::Lock ? O_RDONLY : (how == Hold::Open ? O_RDWR : O_WRONLY);
            const int fd = open(path.c_str(), mode | O_NOCTTY | O_CLOEXEC);
            const bool held = fd >= 0 && (how != Hold::Lock || flock(fd, LOCK_EX | LOCK_NB) == 0);
            const char ok = held ? '1' : '0';
            (void)!write(ready[1], &ok, 1);
            char ignored = 0;
            (void)!read(release[0], &ignored, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        releaseFd_ = release[1];
        char ok = '0';
        locked_ = read(ready[0], &ok, 1) == 1 && ok == '1';
        close(ready[0]);
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    [[nodiscard]] bool Locked() const { return locked_; }
    void Release() {
        if (pid_ > 0) {
            // A byte, not the end of the pipe: other children may hold its write end.
            const char go = '1';
            (void)!write(releaseFd_, &go, 1);
            close(releaseFd_);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};

// ---------------------------------------------------------------- the line --

struct LineFault {
    const char* name;
    sim::Options options;
    const char16_t* expectedText;  // shown on the way, or null
};

std::vector<LineFault> LineFaults() {
    std::vector<LineFault> rows;
    auto add = [&rows](const char* name, const char16_t* text, auto change) {
        sim::Options options;
        change(options);
        rows.push_back({name, options, text});
    };
    add("NoiseBetweenFrames", nullptr, [](sim::Options& o) { o.noiseBursts = 12; });
    add("BadComplements", nullptr, [](sim::Options& o) { o.badComplements = 4; });
    add("RepeatedRequests", nullptr, [](sim::Options& o) { o.order = sim::BlockOrder::Repeated; });
    add("OutOfOrderRequests", nullptr,
        [](sim::Options& o) { o.order = sim::BlockOrder::Shuffled; });
    add("RequestsBeyondTheImage", u"MCU请求数据出错!", [](sim::Options& o) { o.beyondImage = 3; });
    add("StatusRepliesMidTransfer", u"芯片被加密", [](sim::Options& o) {
        o.statusMid = {sim::StatusReply::EraseOk, sim::StatusReply::ChipEncrypted};
        o.statusMidAfterBlocks = 20;
    });
    add("FrameSplitAcrossSeconds", nullptr, [](sim::Options& o) {
        o.splitRequests = 2;
        o.splitPause = 1100ms;
    });
    add("FramesBackToBack", nullptr, [](sim::Options& o) { o.backToBack = 8; });
    return rows;
}

void PrintTo(const LineFault& fault, std::ostream* out) { *out << fault.name; }

class LineFaultTest : public testing::TestWithParam<LineFault> {};

TEST_P(LineFaultTest, TheUpgradeStillDeliversTheWholeImage) {
    const LineFault& fault = GetParam();
    UpgradeRun run(fault.options, MakeImage(4096, 11));
    ExpectDelivered(run, 64);
    if (fault.expectedText != nullptr) {
        EXPECT_TRUE(run.Reported(fault.expectedText));
    }
    EXPECT_EQ(run.Steps(),
              (std::vector<int>{STEP_READY, STEP_HANDSHAKE, STEP_TRANSFER, STEP_DONE}));
    EXPECT_LE(run.LongestTick(), kLongestTickAllowed);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, LineFaultTest, testing::ValuesIn(LineFaults()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultMatrixSilence, AnMcuSilentAfterTheHandshakeLeavesTheWindowTicking) {
    sim::Options options;
    options.silence = sim::Silence::AfterBlocks;
    options.silenceAfterBlocks = 0;
    UpgradeRun run(options, MakeImage(4096, 12));
    ASSERT_TRUE(run.AdvanceTo(STEP_HANDSHAKE, 5s));
    const std::size_t before = run.TickCount();
    run.TickFor(1s);
    EXPECT_EQ(run.Engine().GetStep(), STEP_HANDSHAKE);
    // Nothing begun, nothing waiting: every tick is one read that does not wait.
    EXPECT_GE(run.TickCount() - before, 100u);
    EXPECT_LE(run.LongestTick(), kLongestTickAllowed);
}

TEST(FaultMatrixSilence, AnMcuSilentInTheMiddleOfAFrameCostsOneWindowPerTick) {
    sim::Options options;
    options.silence = sim::Silence::MidFrame;
    options.silenceAfterBlocks = 10;
    UpgradeRun run(options, MakeImage(4096, 13));
    ASSERT_TRUE(run.AdvanceTo(STEP_TRANSFER, 10s, [&] { return run.Engine().rxCount != 0; }));
    const std::size_t before = run.TickCount();
    run.TickFor(1500ms);
    EXPECT_EQ(run.Engine().GetStep(), STEP_TRANSFER);
    EXPECT_NE(run.Engine().rxCount, 0u);  // the frame waits, never finished
    // Each tick holds the window's full 300 ms, no more; the ticks go on.
    EXPECT_GE(run.TickCount() - before, 4u);
    EXPECT_LE(run.LongestTick(), kLongestTickAllowed);
    EXPECT_GE(run.LongestTick(), 290ms);
}

// ---------------------------------------------------------------- the port --

TEST(FaultMatrixPort, APortMissingAtStartIsOpenedOnceItAppears) {
    const std::string link =
        (std::filesystem::temp_directory_path() / ("vardel-com4-" + std::to_string(getpid())))
            .string();
    UpgradeRun run({}, MakeImage(2048, 21), {.device = link});
    run.TickFor(200ms);
    EXPECT_EQ(run.Engine().GetStep(), STEP_CLOSED);
    EXPECT_TRUE(run.Reported(u"串口打开失败!"));

    std::string error;
    auto device = sim::DeviceLink::Make(link, run.Device(), error);
    ASSERT_TRUE(device) << error;
    ExpectDelivered(run, 32);
    EXPECT_TRUE(run.Reported(u"串口打开成功!"));
}

// A holder that never locks is seen too, also by root. Every failed tick asks
// the navigation program to quit, and the tick after the holder lets go opens.
TEST(FaultMatrixPort, APortHeldByAnotherProcessIsOpenedOnTheTickAfterItIsReleased) {
    for (const Hold how : {Hold::Lock, Hold::Open}) {
        UpgradeRun run({}, MakeImage(2048, 22));
        LockHolder other(run.Device(), how);
        ASSERT_TRUE(other.Locked());
        run.TickFor(200ms);
        EXPECT_EQ(run.Engine().GetStep(), STEP_CLOSED);
        EXPECT_TRUE(run.Reported(u"串口打开失败!"));
        EXPECT_EQ(run.QuitRequests(), run.TickCount());

        other.Release();
        run.Engine().Tick();
        EXPECT_EQ(run.Engine().GetStep(), STEP_READY) << "hold " << static_cast<int>(how);
        ExpectDelivered(run, 32);
    }
}

TEST(FaultMatrixPort, ALineHungUpMidTransferFailsTheNextFrameWithoutAHang) {
    UpgradeRun run({}, MakeImage(28672, 23));
    ASSERT_TRUE(run.AdvanceTo(STEP_TRANSFER, 10s));
    run.TickFor(200ms);
    run.HangUp();

    const std::size_t before = run.TickCount();
    run.TickFor(1s);
    EXPECT_EQ(run.Engine().GetStep(), STEP_TRANSFER);
    EXPECT_GE(run.TickCount() - before, 3u);
    EXPECT_LE(run.LongestTick(), kLongestTickAllowed);

    EXPECT_EQ(run.Engine().SendReset(), 0);  // "完成重启" on a dead line
    EXPECT_EQ(run.Texts().back(), u"发送数据失败!");
}

// ------------------------------------------------------- the firmware file --

// The text of a file that does not open, for the platform this machine is.
std::u16string OpenFailedText(UpgradeRun& run) {
    return run.Engine().DetectPlatform() == 1 ? u"打开MTK升级文件MTK51A.BIN失败!"
                                              : u"打开Q9升级文件KD51A.BIN失败!";
}

// Presses start on a bad file, checks what the user is told, puts the file
// right and checks that a new start then carries the whole upgrade.
void ExpectRefusedThenRecovered(UpgradeRun& run, const std::u16string& text,
                                const std::vector<std::uint8_t>& good,
                                const std::function<void()>& putRight) {
    ASSERT_TRUE(run.TickUntil([&] { return run.Engine().GetStep() == STEP_READY; }, 5s));
    run.PressStart();
    run.TickFor(50ms);
    EXPECT_EQ(run.Engine().GetStep(), STEP_READY);
    EXPECT_EQ(run.Texts().back(), text);

    putRight();
    run.WriteFirmware(good);
    ExpectDelivered(run, good.size() / 64);
}

struct BadFile {
    const char* name;
    std::size_t size;
};

void PrintTo(const BadFile& file, std::ostream* out) { *out << file.name; }

class BadFileSizeTest : public testing::TestWithParam<BadFile> {};

TEST_P(BadFileSizeTest, IsRefusedAndANewStartSucceedsOnceItIsPutRight) {
    const auto good = MakeImage(3072, 31);
    UpgradeRun run({}, good, {.device = {}, .writeFirmware = false});
    run.WriteFirmware(MakeImage(GetParam().size, 32));
    ExpectRefusedThenRecovered(run, u"读取升级文件失败!", good, [] {});
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, BadFileSizeTest,
                         testing::Values(BadFile{"Empty", 0}, BadFile{"Of1023Bytes", 1023}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultMatrixFirmware, AMissingFileIsRefusedAndANewStartSucceedsOnceItIsThere) {
    const auto good = MakeImage(3072, 33);
    UpgradeRun run({}, good, {.device = {}, .writeFirmware = false});
    ExpectRefusedThenRecovered(run, OpenFailedText(run), good, [] {});
}

TEST(FaultMatrixFirmware, AFileLockedOrBeingWrittenByAnotherProcessIsRefusedUntilReleased) {
    for (const Hold how : {Hold::Lock, Hold::Write}) {
        const auto good = MakeImage(3072, 34);
        UpgradeRun run({}, good);
        LockHolder kd(run.Folder() / "KD51A.BIN", how);
        LockHolder mtk(run.Folder() / "MTK51A.BIN", how);
        ASSERT_TRUE(kd.Locked() && mtk.Locked());
        ExpectRefusedThenRecovered(run, OpenFailedText(run), good, [&] {
            kd.Release();
            mtk.Release();
        });
    }
}

// The file that is opened is the one the debug line names.
TEST(FaultMatrixFirmware, AFileNamedInAnotherLetterCaseIsLoadedAndAnExactNameWins) {
    const auto good = MakeImage(2048, 38);
    const auto other = MakeImage(2048, 39);
    for (const bool exactToo : {false, true}) {
        UpgradeRun run({}, good, {.device = {}, .writeFirmware = false});
        const std::string wanted = run.Engine().DetectPlatform() == 1 ? "MTK51A.BIN" : "KD51A.BIN";
        std::string lower = wanted;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        run.WriteFirmware(exactToo ? other : good, lower);
        if (exactToo) run.WriteFirmware(good, wanted);
        ExpectDelivered(run, good.size() / 64);
        const std::string opened = (run.Folder() / (exactToo ? wanted : lower)).string();
        EXPECT_TRUE(run.PrintedLineStarting(u"-------------update file name = " +
                                            std::u16string(opened.begin(), opened.end()) +
                                            u", hand = "))
            << "exact too: " << exactToo;
    }
}

TEST(FaultMatrixFirmware, AFileUnreadableByPermissionsIsRefusedUntilPutRight) {
    const auto good = MakeImage(3072, 35);
    UpgradeRun run({}, good);
    for (const char* name : {"KD51A.BIN", "MTK51A.BIN"}) {
        chmod((run.Folder() / name).c_str(), 0);
    }
    // Root reads whatever the permissions say: the load then runs as nobody.
    const bool root = geteuid() == 0;
    ASSERT_TRUE(run.TickUntil([&] { return run.Engine().GetStep() == STEP_READY; }, 5s));
    run.PressStart();
    if (root) {
        ASSERT_EQ(seteuid(65534), 0);
    }
    run.Engine().Tick();
    if (root) {
        ASSERT_EQ(seteuid(0), 0);
    }
    EXPECT_EQ(run.Engine().GetStep(), STEP_READY);
    EXPECT_EQ(run.Texts().back(), OpenFailedText(run));

    for (const char* name : {"KD51A.BIN", "MTK51A.BIN"}) {
        chmod((run.Folder() / name).c_str(), 0644);
    }
    run.PressStart();
    ExpectDelivered(run, good.size() / 64);
}

TEST(FaultMatrixFirmware, AFileOfExactly1024BytesLoadsAndGoesThroughWhole) {
    UpgradeRun run({}, MakeImage(1024, 36));
    ExpectDelivered(run, 16);
}

TEST(FaultMatrixFirmware, AFileOf65537BytesLoadsItsFirst65536Bytes) {
    UpgradeRun run({}, MakeImage(65537, 37));
    ExpectDelivered(run, 1024);
}

}  // namespace
}  // namespace vardel::e2e
