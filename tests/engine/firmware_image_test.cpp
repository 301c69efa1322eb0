// Loading the firmware file of the running platform from the program's folder.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineFirmwareImage : public EngineTest {
protected:
    Bytes Image() const { return Bytes(engine.image, engine.image + engine.imageSize); }
};

TEST_F(EngineFirmwareImage, MoreThan130MiBOfMemoryMeansMtk) {
    PutFile(kQ9File, Pattern(1024, 1));
    PutFile(kMtkFile, Pattern(1024, 2));
    for (const std::uint32_t memory : {0u, kMtkThreshold, kMtkThreshold + 1, 0xFFFFFFFFu}) {
        Clear();
        fake.totalPhysical = memory;
        const int mtk = memory > kMtkThreshold ? 1 : 0;
        EXPECT_EQ(engine.DetectPlatform(), mtk) << memory;
        ASSERT_EQ(engine.LoadFirmware(), 1);
        EXPECT_EQ(fake.openedPaths, Texts16{mtk != 0 ? kMtkFile : kQ9File}) << memory;
        EXPECT_EQ(Image(), Pattern(1024, mtk != 0 ? 2 : 1)) << memory;
    }
}

TEST_F(EngineFirmwareImage, FilesOfAtLeast1024BytesLoadAndOnlyTheirFirst65536BytesAreUsed) {
    const std::pair<std::size_t, std::uint32_t> rows[] = {
        {65537, 65536}, {1023, 0}, {1024, 1024}, {0, 0}, {65536, 65536}};
    for (const auto& [fileSize, imageSize] : rows) {
        Clear();
        const Bytes file = Pattern(fileSize, static_cast<std::uint32_t>(fileSize));
        PutFile(kQ9File, file);
        EXPECT_EQ(engine.LoadFirmware(), imageSize != 0 ? 1 : 0) << fileSize;
        EXPECT_EQ(Image(), Bytes(file.begin(), file.begin() + imageSize)) << fileSize;
        EXPECT_EQ(Texts(), imageSize != 0 ? Texts16{} : Texts16{kReadFailed}) << fileSize;
        EXPECT_EQ(fake.openFiles, 0);
    }
}

TEST_F(EngineFirmwareImage, TheDebugLinesNameTheFileItsHandleAndAFailedReadsSizeAndError) {
    PutFile(kQ9File, Pattern(2048));
    fake.files[kQ9File].readError = 5;
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(fake.debugLines,
              (Texts16{u"-------------update file name = /opt/vardel/KD51A.BIN, hand = "
                       u"3----------------\r\n",
                       u"-------------read size = 0 bytes, err = 5----------------\r\n"}));
    EXPECT_EQ(Texts(), Texts16{kReadFailed});
}

TEST_F(EngineFirmwareImage, AMissingOrLockedFileFailsWithItsPlatformsTextAndNoOtherFileIsTried) {
    struct Row {
        std::uint32_t memory;
        const std::u16string* file;
        const std::u16string* other;
        const std::u16string* text;
    };
    const Row rows[] = {{0, &kQ9File, &kMtkFile, &kQ9OpenFailed},
                        {kMtkThreshold + 1, &kMtkFile, &kQ9File, &kMtkOpenFailed}};
    for (const Row& row : rows) {
        for (const bool locked : {false, true}) {
            SCOPED_TRACE(locked ? "locked" : "missing");
            Clear();
            fake.files.clear();
            fake.totalPhysical = row.memory;
            PutFile(*row.other, Pattern(2048));
            if (locked) fake.files[*row.file] = {Pattern(2048), true, 0};
            EXPECT_EQ(engine.LoadFirmware(), 0);
            EXPECT_EQ(fake.openedPaths, Texts16{*row.file});
            EXPECT_EQ(Texts(), Texts16{*row.text});
            ASSERT_EQ(fake.debugLines.size(), 1u);
            EXPECT_TRUE(fake.debugLines[0].ends_with(u", hand = -1----------------\r\n"));
            EXPECT_EQ(fake.openFiles, 0);
        }
    }
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

TEST_F(EngineFirmwareImage, NoMemoryForTheBufferFailsBeforeAnyFileIsOpenedAndIsTriedAgain) {
    fake.refuseAllocation = true;
    PutFile(kQ9File, Pattern(2048));
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(Texts(), Texts16{u"打开升级文件失败!"});
    EXPECT_TRUE(fake.openedPaths.empty());
    fake.refuseAllocation = false;
    EXPECT_EQ(engine.LoadFirmware(), 1);
}

TEST_F(EngineFirmwareImage, TheFileIsLookedForNextToTheProgram) {
    struct Row {
        std::u16string program;
        char16_t separator;
        std::u16string file;
    };
    const Row rows[] = {
        {u"/opt/vardel/vardel", u'/', u"/opt/vardel/KD51A.BIN"},
        {u"/vardel", u'/', u"/KD51A.BIN"},
        // With no folder at all nothing is cut: the name goes after the whole path.
        {u"vardel", u'/', u"vardelKD51A.BIN"},
        // Windows: the backslash ends a folder.
        {u"C:\\Flash\\Vardel.exe", u'\\', u"C:\\Flash\\KD51A.BIN"},
    };
    for (const auto& [program, separator, file] : rows) {
        Clear();
        fake.programPath = program;
        fake.folderSeparator = separator;
        EXPECT_EQ(engine.LoadFirmware(), 0);
        EXPECT_EQ(fake.openedPaths, Texts16{file});
    }
}

TEST_F(EngineFirmwareImage, APathThatDoesNotFitItsBufferOpensNothing) {
    // 259 units and the terminator fill the 260-unit buffer exactly.
    struct Row {
        std::size_t folderLetters;
        std::uint32_t memory;
        bool fits;
    };
    const Row rows[] = {
        {248, 0, true},                   // "/a…a/KD51A.BIN" of 259 units
        {249, 0, false},                  // 260 units
        {248, kMtkThreshold + 1, false},  // the longer MTK name
        {300, 0, false},                  // the program path itself is too long
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folderLetters);
        Clear();
        const std::u16string folder = u"/" + std::u16string(row.folderLetters, u'a') + u"/";
        fake.programPath = folder + u"vardel";
        fake.totalPhysical = row.memory;
        PutFile(folder + u"KD51A.BIN", Pattern(2048));
        PutFile(folder + u"MTK51A.BIN", Pattern(2048));
        EXPECT_EQ(engine.LoadFirmware(), row.fits ? 1 : 0);
        EXPECT_EQ(fake.openedPaths.size(), row.fits ? 1u : 0u);
        EXPECT_EQ(Texts().size(), row.fits ? 0u : 1u);
    }
}

}  // namespace
}  // namespace vardel::test
