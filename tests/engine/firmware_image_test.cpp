// Loading the firmware file of the running platform from the program's folder.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineFirmwareImage : public EngineTest {
protected:
    Bytes Image() const { return Bytes(engine.image, engine.image + engine.imageSize); }
};

struct PlatformRow {
    std::uint32_t totalPhysical;
    int mtk;
};

TEST_F(EngineFirmwareImage, MoreThan130MiBOfMemoryMeansMtk) {
    const PlatformRow rows[] = {
        {0, 0},           {128u * 1024u * 1024u, 0}, {kMtkThreshold, 0}, {kMtkThreshold + 1, 1},
        {0x80000000u, 1}, {0xFFFFFFFFu, 1},
    };
    PutFile(kQ9File, Pattern(1024, 1));
    PutFile(kMtkFile, Pattern(1024, 2));
    for (const PlatformRow& row : rows) {
        SCOPED_TRACE(row.totalPhysical);
        Clear();
        fake.totalPhysical = row.totalPhysical;
        EXPECT_EQ(engine.DetectPlatform(), row.mtk);
        ASSERT_EQ(engine.LoadFirmware(), 1);
        EXPECT_EQ(engine.isMtkPlatform, row.mtk);
        EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>{row.mtk ? kMtkFile : kQ9File});
        EXPECT_EQ(Image(), Pattern(1024, row.mtk ? 2 : 1));
    }
}

struct SizeRow {
    std::size_t fileSize;
    int result;
    std::uint32_t imageSize;
};

TEST_F(EngineFirmwareImage, OnlyFilesOfAtLeast1024BytesLoadAndAtMost65536AreUsed) {
    const SizeRow rows[] = {
        {0, 0, 0},         {1, 0, 0},         {1023, 0, 0},
        {1024, 1, 1024},   {1025, 1, 1025},   {65535, 1, 65535},
        {65536, 1, 65536}, {65537, 1, 65536}, {200000, 1, 65536},
    };
    for (const SizeRow& row : rows) {
        SCOPED_TRACE(row.fileSize);
        Clear();
        const Bytes file = Pattern(row.fileSize, static_cast<std::uint32_t>(row.fileSize));
        PutFile(kQ9File, file);
        EXPECT_EQ(engine.LoadFirmware(), row.result);
        EXPECT_EQ(engine.imageSize, row.imageSize);
        EXPECT_EQ(fake.openFiles, 0);
        ASSERT_FALSE(fake.debugLines.empty());
        const FileHandle hand = 3 + static_cast<FileHandle>(&row - rows);
        EXPECT_EQ(fake.debugLines[0], FileLine(kQ9File, hand));
        if (row.result == 1) {
            EXPECT_EQ(fake.debugLines.size(), 1u);
            EXPECT_TRUE(sink.reports.empty());
            EXPECT_EQ(Image(), Bytes(file.begin(), file.begin() + row.imageSize));
        } else {
            EXPECT_EQ(fake.debugLines,
                      std::vector<std::u16string>(
                          {FileLine(kQ9File, hand),
                           ReadSizeLine(static_cast<long long>(row.fileSize), 0)}));
            EXPECT_EQ(Texts(), std::vector<std::u16string>{kReadFailed});
        }
    }
}

TEST_F(EngineFirmwareImage, AFailedReadShowsItsErrorAndClearsTheImageSize) {
    PutFile(kQ9File, Pattern(2048));
    ASSERT_EQ(engine.LoadFirmware(), 1);
    Clear();
    fake.files[kQ9File].readError = 5;
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(engine.imageSize, 0u);
    EXPECT_EQ(fake.debugLines,
              std::vector<std::u16string>({FileLine(kQ9File, 4), ReadSizeLine(0, 5)}));
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kReadFailed});
    EXPECT_EQ(fake.openFiles, 0);
}

TEST_F(EngineFirmwareImage, AMissingFileFailsWithTheDetectedPlatformsTextOnly) {
    PutFile(kQ9File, Pattern(2048));
    ASSERT_EQ(engine.LoadFirmware(), 1);
    Clear();
    fake.files.erase(kQ9File);
    PutFile(kMtkFile, Pattern(2048));  // the other platform's file is not tried
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>{kQ9File});
    EXPECT_EQ(fake.debugLines, std::vector<std::u16string>{FileLine(kQ9File, -1)});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kQ9OpenFailed});
    EXPECT_EQ(engine.isMtkPlatform, 0);
    EXPECT_EQ(engine.imageSize, 2048u);  // an open failure leaves the last image alone
}

TEST_F(EngineFirmwareImage, AFileHeldByAnotherProgramFailsLikeAMissingOne) {
    fake.totalPhysical = kMtkThreshold + 1;
    PutFile(kMtkFile, Pattern(2048));
    fake.files[kMtkFile].lockedByOther = true;
    PutFile(kQ9File, Pattern(2048));
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>{kMtkFile});
    EXPECT_EQ(fake.debugLines, std::vector<std::u16string>{FileLine(kMtkFile, -1)});
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kMtkOpenFailed});
    EXPECT_EQ(engine.isMtkPlatform, 1);
    EXPECT_EQ(fake.openFiles, 0);
}

TEST_F(EngineFirmwareImage, EveryAttemptDetectsThePlatformAnew) {
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(engine.isMtkPlatform, 0);
    fake.totalPhysical = 0xFFFFFFFFu;
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(engine.isMtkPlatform, 1);
    EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>({kQ9File, kMtkFile}));
    EXPECT_EQ(Texts(), std::vector<std::u16string>({kQ9OpenFailed, kMtkOpenFailed}));
}

TEST_F(EngineFirmwareImage, LaterAttemptsReuseTheOneBuffer) {
    EXPECT_EQ(engine.LoadFirmware(), 0);
    std::uint8_t* const buffer = engine.image;
    ASSERT_NE(buffer, nullptr);
    PutFile(kQ9File, Pattern(4096, 1));
    ASSERT_EQ(engine.LoadFirmware(), 1);
    PutFile(kQ9File, Pattern(2048, 2));
    ASSERT_EQ(engine.LoadFirmware(), 1);
    EXPECT_EQ(engine.image, buffer);
    EXPECT_EQ(fake.allocations, 1);
    EXPECT_EQ(fake.frees, 0);
    EXPECT_EQ(Image(), Pattern(2048, 2));
}

TEST_F(EngineFirmwareImage, NoMemoryForTheBufferFailsBeforeAnyFileIsOpened) {
    fake.refuseAllocation = true;
    PutFile(kQ9File, Pattern(2048));
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(engine.image, nullptr);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{kNoBuffer});
    EXPECT_TRUE(fake.openedPaths.empty());
    EXPECT_TRUE(fake.debugLines.empty());

    fake.refuseAllocation = false;  // the next attempt tries again
    Clear();
    EXPECT_EQ(engine.LoadFirmware(), 1);
    EXPECT_EQ(fake.allocations, 1);
}

TEST_F(EngineFirmwareImage, AProgramPathThatCannotBeFoundFailsSilently) {
    fake.programPathFails = true;
    PutFile(kQ9File, Pattern(2048));
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_TRUE(fake.openedPaths.empty());
    EXPECT_TRUE(fake.debugLines.empty());
}

TEST_F(EngineFirmwareImage, TheFileIsLookedForNextToTheProgram) {
    struct Row {
        std::u16string program;
        std::u16string file;
    };
    const Row rows[] = {
        {u"/opt/vardel/vardel", u"/opt/vardel/KD51A.BIN"},
        {u"/vardel", u"/KD51A.BIN"},
        {u"/usr/lib/vardel.d/bin/vardel", u"/usr/lib/vardel.d/bin/KD51A.BIN"},
        {u"/opt/vardel/", u"/opt/vardel/KD51A.BIN"},
        // With no folder at all nothing is cut: the name goes after the whole path.
        {u"vardel", u"vardelKD51A.BIN"},
    };
    for (const Row& row : rows) {
        Clear();
        fake.programPath = row.program;
        EXPECT_EQ(engine.LoadFirmware(), 0);
        EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>{row.file});
    }
}

TEST_F(EngineFirmwareImage, APathThatJustFitsItsBufferLoads) {
    // 259 units and the terminator fill the 260-unit buffer exactly.
    const std::u16string folder = u"/" + std::u16string(248, u'a') + u"/";
    const std::u16string file = folder + u"KD51A.BIN";
    ASSERT_EQ(file.size(), kPathCapacity - 1);
    fake.programPath = folder + u"vardel";
    PutFile(file, Pattern(2048));
    EXPECT_EQ(engine.LoadFirmware(), 1);
    EXPECT_EQ(fake.openedPaths, std::vector<std::u16string>{file});
    EXPECT_EQ(fake.debugLines, std::vector<std::u16string>{FileLine(file, 3)});
}

TEST_F(EngineFirmwareImage, APathThatDoesNotFitCountsAsAFileThatDidNotOpen) {
    const std::u16string prefix = Dashes(13) + u"update file name = ";
    const std::u16string suffix = u", hand = -1" + Dashes(16) + u"\r\n";
    struct Row {
        std::size_t folderLetters;
        std::uint32_t totalPhysical;
        const std::u16string* text;
    };
    const Row rows[] = {
        {249, 0, &kQ9OpenFailed},                   // 260 units without the terminator
        {248, kMtkThreshold + 1, &kMtkOpenFailed},  // the longer MTK name no longer fits
        {256, 0, &kQ9OpenFailed},                   // the program path itself only just fits
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folderLetters);
        Clear();
        const std::u16string folder = u"/" + std::u16string(row.folderLetters, u'a') + u"/";
        fake.programPath = folder + u"v";
        fake.totalPhysical = row.totalPhysical;
        PutFile(folder + u"KD51A.BIN", Pattern(2048));
        PutFile(folder + u"MTK51A.BIN", Pattern(2048));
        EXPECT_EQ(engine.LoadFirmware(), 0);
        EXPECT_TRUE(fake.openedPaths.empty());
        EXPECT_EQ(Texts(), std::vector<std::u16string>{*row.text});
        ASSERT_EQ(fake.debugLines.size(), 1u);
        const std::u16string& line = fake.debugLines[0];
        EXPECT_EQ(line.substr(0, prefix.size()), prefix);
        ASSERT_GE(line.size(), prefix.size() + suffix.size());
        EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);
    }
}

TEST_F(EngineFirmwareImage, AProgramPathLongerThanTheBufferOpensNothing) {
    const std::u16string folder = u"/" + std::u16string(300, u'a') + u"/";
    fake.programPath = folder + u"vardel";
    PutFile(folder + u"KD51A.BIN", Pattern(2048));
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_TRUE(fake.openedPaths.empty());
    EXPECT_EQ(engine.imageSize, 0u);
}

}  // namespace
}  // namespace vardel::test
