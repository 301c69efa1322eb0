// The fault matrix: whatever the line, the port or the firmware files do, the
// user is told, nothing hangs beyond one 300 ms poll window, and every run
// that completes delivers the file's whole blocks byte for byte.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "tests/e2e/E2eHarness.h"

// A row names only the simulator's options it changes; GCC would have every
// member of a designated initializer named.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vardel::test {
namespace {

// One poll window plus the writing of a frame and the scheduler's slack.
constexpr auto kLongestTickAllowed = 300ms + 60ms;

void ExpectDelivered(UpgradeRun& run, std::size_t blocks) {
    ASSERT_EQ(run.RunToDone(60s), STEP_DONE);
    EXPECT_TRUE(run.Reported(u"升级成功!"));
    const sim::Verdict verdict = run.FinishWithReset();
    EXPECT_TRUE(verdict.Passed()) << verdict.Text();
    EXPECT_EQ(verdict.blocks, blocks) << verdict.Text();
}

// ------------------------------------------------- the line and the image --

struct Delivery {
    const char* name;
    sim::Options mcu;
    std::vector<const char16_t*> texts;  // shown on the way
    std::size_t imageSize = 4096;
    bool namedInLowerCase = false;  // as copied from a system that ignores letter case
};

void PrintTo(const Delivery& row, std::ostream* out) { *out << row.name; }

const Delivery kDeliveries[] = {
    {.name = "NoiseBetweenFrames", .mcu = {.noiseBursts = 12}},
    {.name = "BadComplements", .mcu = {.badComplements = 4}},
    {.name = "RepeatedRequests", .mcu = {.order = sim::BlockOrder::Repeated}},
    {.name = "OutOfOrderRequests", .mcu = {.order = sim::BlockOrder::Shuffled}},
    {.name = "RequestsBeyondTheImage", .mcu = {.beyondImage = 3}, .texts = {u"MCU请求数据出错!"}},
    // The part block at the end of a file is the first one beyond its image.
    {.name = "ThePartBlockAtTheEndAskedFor",
     .mcu = {.beyondImage = 1},
     .texts = {u"MCU请求数据出错!"},
     .imageSize = 1030},
    {.name = "ABlockAskedForBeforeBlockZero", .mcu = {.blockBeforeBlockZero = 7}},
    // Success is told early, but the engine waits for block 0 all the same.
    {.name = "TheCompletionAskedForAtTheHandshake", .mcu = {.completionAtHandshake = true}},
    {.name = "StatusRepliesAtTheStartAndMidTransfer",
     .mcu = {.statusAtStart = {sim::StatusReply::EraseOk},
             .statusMid = {sim::StatusReply::EraseFailed, sim::StatusReply::ChipEncrypted},
             .statusMidAfterBlocks = 20},
     .texts = {u"擦除成功", u"擦除失败", u"芯片被加密"}},
    {.name = "FrameSplitAcrossSeconds", .mcu = {.splitRequests = 2, .splitPause = 1100ms}},
    {.name = "FramesBackToBack", .mcu = {.backToBack = 8}},
    {.name = "AFileOfExactly1024Bytes", .imageSize = 1024},
    {.name = "AFileOf65537BytesOfWhichTheFirst65536AreLoaded", .imageSize = 65537},
    {.name = "AFileNamedInAnotherLetterCase", .namedInLowerCase = true},
};

class DeliveryTest : public testing::TestWithParam<Delivery> {};

TEST_P(DeliveryTest, TheUpgradeDeliversTheWholeImage) {
    const Delivery& row = GetParam();
    const Bytes image = MakeImage(row.imageSize, 11);
    UpgradeRun run(row.mcu, image);
    if (row.namedInLowerCase) {
        for (const char* name : {"KD51A.BIN", "MTK51A.BIN"}) {
            std::filesystem::remove(run.folder.Path() / name);
        }
        for (const char* name : {"kd51a.bin", "mtk51a.bin"}) run.WriteFirmware(image, name);
    }
    ExpectDelivered(run, std::min<std::size_t>(row.imageSize, 65536) / 64);
    for (const char16_t* text : row.texts) EXPECT_TRUE(run.Reported(text));
    EXPECT_EQ(run.steps, (std::vector<int>{STEP_READY, STEP_HANDSHAKE, STEP_TRANSFER, STEP_DONE}));
    EXPECT_LE(run.longestTick, kLongestTickAllowed);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, DeliveryTest, testing::ValuesIn(kDeliveries),
                         [](const auto& info) { return std::string(info.param.name); });

// No fault at all, and every text on the way.
INSTANTIATE_TEST_SUITE_P(UpgradeEndToEnd, DeliveryTest,
                         testing::Values(Delivery{
                             .name = "A448BlockImageArrivesIdenticalWithEveryTextOnTheWay",
                             .texts = {u"串口打开成功!", u"通信建立，开始传输数据!",
                                       u"正在升级......, 请稍后, 不要断电!!!"},
                             .imageSize = 28672}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------- a silent MCU or a dead line --

// Nothing begun, nothing waiting: every tick is one read that does not wait.
// Once a frame has begun, each tick holds the window's full 300 ms, no more.
// On a hung-up line a frame cannot go out; the ticks go on all the same.
TEST(FaultMatrixSilence, AnMcuSilentOrGoneLeavesTheWindowTicking) {
    const struct {
        const char* what;
        sim::Silence silence;
        std::size_t afterBlocks;
        int step;
        std::size_t ticksInASecond;
        bool hangUp;
    } cases[] = {
        {"silent after the handshake", sim::Silence::AfterBlocks, 0, STEP_HANDSHAKE, 100, false},
        {"silent in the middle of a frame", sim::Silence::MidFrame, 10, STEP_TRANSFER, 3, false},
        {"hung up mid-transfer", sim::Silence::None, 0, STEP_TRANSFER, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Options options;
        options.silence = c.silence;
        options.silenceAfterBlocks = c.afterBlocks;
        UpgradeRun run(options, MakeImage(28672, 12));
        const bool midFrame = c.silence == sim::Silence::MidFrame;
        ASSERT_TRUE(run.TickUntil(
            [&] { return run.engine.GetStep() >= c.step && (!midFrame || run.engine.rxCount); },
            10s, true));
        if (c.hangUp) {
            run.TickFor(200ms);
            run.HangUp();
        }
        const std::size_t before = run.ticks;
        run.TickFor(1s);
        EXPECT_EQ(run.engine.GetStep(), c.step);
        EXPECT_GE(run.ticks - before, c.ticksInASecond);
        EXPECT_LE(run.longestTick, kLongestTickAllowed);
        if (midFrame) {
            EXPECT_NE(run.engine.rxCount, 0u) << "the frame waits, never finished";
            EXPECT_GE(run.longestTick, 290ms);
        }
        if (c.hangUp) {
            EXPECT_EQ(run.engine.SendReset(), 0);  // "完成重启" on a dead line
            EXPECT_EQ(run.texts.back(), u"发送数据失败!");
        }
    }
}

// ---------------------------------------------------------------- the port --

// A holder that merely has the port open is seen too, also by root.
TEST(FaultMatrixPort, APortMissingOrHeldByAnotherProcessOpensOnTheTickAfterItIsFree) {
    for (const std::string how : {"missing", "held with a lock", "held open"}) {
        SCOPED_TRACE(how);
        const TempDir dir;
        const std::string link = dir.Path() / "ttyS3";
        UpgradeRun run({}, MakeImage(2048, 21), how == "missing" ? link : "");
        const std::string device = run.pty.SlavePath();
        std::optional<Child> holder;
        if (how != "missing") {
            holder.emplace(std::vector<std::function<bool()>>{[&] {
                const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
                return fd >= 0 && (how == "held open" || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
            }});
        }
        run.TickFor(200ms);
        EXPECT_EQ(run.engine.GetStep(), STEP_CLOSED);
        EXPECT_TRUE(run.Reported(u"串口打开失败!"));

        std::string error;
        const auto appeared =
            how == "missing" ? sim::DeviceLink::Make(link, device, error) : std::nullopt;
        if (holder) holder->Kill();
        run.engine.Tick();
        EXPECT_EQ(run.engine.GetStep(), STEP_READY) << error;
        ExpectDelivered(run, 32);
    }
}

// ------------------------------------------------------- the firmware file --

// The text of a file that does not open, for the platform this machine is.
std::u16string OpenFailedText(UpgradeRun& run) {
    return run.engine.DetectPlatform() == 1 ? u"打开MTK升级文件MTK51A.BIN失败!"
                                            : u"打开Q9升级文件KD51A.BIN失败!";
}

// Another process opens both firmware files with `flags` and takes `lock` on
// each: flock's LOCK_SH, a record lock command, or 0 for none. It lets go
// when what this returns goes.
std::unique_ptr<Child> HeldBy(UpgradeRun& run, int flags, int lock) {
    const std::string files[] = {run.folder.Path() / "KD51A.BIN", run.folder.Path() / "MTK51A.BIN"};
    return std::make_unique<Child>(std::vector<std::function<bool()>>{[=] {
        struct flock record {};
        record.l_type = F_RDLCK;
        return std::all_of(std::begin(files), std::end(files), [&](const std::string& file) {
            const int fd = ::open(file.c_str(), flags);
            return fd >= 0 && (lock == 0 || (lock == LOCK_SH ? ::flock(fd, lock)
                                                             : ::fcntl(fd, lock, &record)) == 0);
        });
    }});
}

enum class Spoil { Missing, Size, Held, Unreadable };

struct BadFile {
    const char* name;
    Spoil spoil;
    std::size_t size = 0;
    int flags = 0;  // how the holder opened it
    int lock = 0;   // and locked it
};

void PrintTo(const BadFile& row, std::ostream* out) { *out << row.name; }

const BadFile kBadFiles[] = {
    {"Missing", Spoil::Missing},
    {"Empty", Spoil::Size, 0},
    {"Of1023Bytes", Spoil::Size, 1023},
    {"UnderASharedLock", Spoil::Held, 0, O_RDONLY, LOCK_SH},
    {"UnderARecordLock", Spoil::Held, 0, O_RDONLY, F_SETLK},
    {"UnderAnOpenFileLock", Spoil::Held, 0, O_RDONLY, F_OFD_SETLK},
    {"BeingWritten", Spoil::Held, 0, O_WRONLY | O_APPEND},
    {"OpenForReadingAndWriting", Spoil::Held, 0, O_RDWR},
    {"UnreadableByPermissions", Spoil::Unreadable},
};

// Spoils the firmware files as the row says; the result puts them right.
std::function<void()> SpoilFiles(UpgradeRun& run, const BadFile& row) {
    const std::filesystem::path files[] = {run.folder.Path() / "KD51A.BIN",
                                           run.folder.Path() / "MTK51A.BIN"};
    switch (row.spoil) {
    case Spoil::Missing:
        for (const auto& file : files) std::filesystem::remove(file);
        break;
    case Spoil::Size:
        run.WriteFirmware(MakeImage(row.size, 32));
        break;
    case Spoil::Held:
        return
            [holder = std::shared_ptr<Child>(HeldBy(run, row.flags, row.lock))] { holder->Kill(); };
    case Spoil::Unreadable: {
        // Root reads whatever the permissions say: the load then runs as nobody.
        for (const auto& file : files) ::chmod(file.c_str(), 0);
        const bool root = ::geteuid() == 0;
        EXPECT_TRUE(!root || ::seteuid(65534) == 0);
        return [=] {
            EXPECT_TRUE(!root || ::seteuid(0) == 0);
            for (const auto& file : files) ::chmod(file.c_str(), 0644);
        };
    }
    }
    return [] {};
}

class BadFileTest : public testing::TestWithParam<BadFile> {};

// Start is pressed on a bad file; once it is put right, a new start carries
// the whole upgrade.
TEST_P(BadFileTest, IsRefusedAndANewStartSucceedsOnceItIsPutRight) {
    const auto good = MakeImage(3072, 31);
    UpgradeRun run({}, good);
    ASSERT_TRUE(run.TickUntil([&] { return run.engine.GetStep() == STEP_READY; }, 5s));
    const auto putRight = SpoilFiles(run, GetParam());
    const std::u16string text =
        GetParam().spoil == Spoil::Size ? u"读取升级文件失败!" : OpenFailedText(run);
    run.engine.RequestStart();
    const bool told = run.TickUntil([&] { return run.Reported(text); }, 2s);
    putRight();
    ASSERT_TRUE(told);
    EXPECT_EQ(run.engine.GetStep(), STEP_READY);

    run.WriteFirmware(good);
    run.engine.RequestStart();
    ExpectDelivered(run, good.size() / 64);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, BadFileTest, testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// A process that merely reads the file does not keep it from opening.
TEST(FaultMatrixFirmware, AFileOpenForReadingElsewhereLoads) {
    UpgradeRun run({}, MakeImage(2048, 33));
    const auto reader = HeldBy(run, O_RDONLY, 0);
    ExpectDelivered(run, 32);
}

}  // namespace
}  // namespace vardel::test
