// Loading the firmware file of the running platform from the program's folder.
#include "tests/engine/EngineHarness.h"

namespace vardel::test {
namespace {

class EngineFirmwareImage : public EngineTest {
protected:
    Bytes Image() const { return Bytes(engine.image, engine.image + engine.imageSize); }
};

// Above 130 MiB of memory the unit is an MTK one. Only the file of its variant
// is tried; when that cannot be opened, the variant's own text says so.
TEST_F(EngineFirmwareImage, MemoryChoosesTheVariantWhoseFileAloneIsTried) {
    for (const std::uint32_t memory : {0u, kMtkThreshold, kMtkThreshold + 1, 0xFFFFFFFFu}) {
        const bool mtk = memory > kMtkThreshold;
        const std::u16string& file = mtk ? kMtkFile : kQ9File;
        fake.totalPhysical = memory;
        EXPECT_EQ(engine.DetectPlatform(), mtk ? 1 : 0) << memory;
        for (const bool there : {true, false}) {
            SCOPED_TRACE(::testing::Message() << memory << (there ? "" : " missing"));
            Clear();
            PutFile(kQ9File, Pattern(1024, 1));
            PutFile(kMtkFile, Pattern(1024, 2));
            if (!there) fake.files.erase(file);
            EXPECT_EQ(engine.LoadFirmware(), there ? 1 : 0);
            EXPECT_EQ(fake.openedPaths, Texts16{file});
            EXPECT_EQ(fake.openFiles, 0);
            EXPECT_EQ(Said(), there ? Texts16{} : Texts16{mtk ? kMtkOpenFailed : kQ9OpenFailed});
            if (there) {
                EXPECT_EQ(Image(), Pattern(1024, mtk ? 2 : 1));
            } else {
                EXPECT_EQ(fake.debugLines, Texts16{u"-------------update file name = " + file +
                                                   u", hand = -1----------------\r\n"});
            }
        }
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
        EXPECT_EQ(Said(), imageSize != 0 ? Texts16{} : Texts16{kReadFailed}) << fileSize;
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
    EXPECT_EQ(Said(), Texts16{kReadFailed});
}

TEST_F(EngineFirmwareImage, NoMemoryFailsBeforeAnyFileIsOpenedAndLaterAttemptsReuseOneBuffer) {
    fake.refuseAllocation = true;
    EXPECT_EQ(engine.LoadFirmware(), 0);
    EXPECT_EQ(Said(), Texts16{u"打开升级文件失败!"});
    EXPECT_TRUE(fake.openedPaths.empty());
    fake.refuseAllocation = false;
    EXPECT_EQ(engine.LoadFirmware(), 0);  // no file yet
    std::uint8_t* const buffer = engine.image;
    for (const std::uint32_t size : {4096u, 2048u}) {
        PutFile(kQ9File, Pattern(size, size));
        ASSERT_EQ(engine.LoadFirmware(), 1);
        EXPECT_EQ(engine.image, buffer);
        EXPECT_EQ(Image(), Pattern(size, size));
    }
    EXPECT_EQ(fake.allocations, 1);
    EXPECT_EQ(fake.frees, 0);
}

// The file is looked for next to the program, in a path of at most 259 units
// and the terminator; one that does not fit opens nothing.
TEST_F(EngineFirmwareImage, TheFileIsLookedForNextToTheProgramInAPathThatFits) {
    const std::u16string a248 = u"/" + std::u16string(248, u'a') + u"/";
    const std::u16string a249 = u"/" + std::u16string(249, u'a') + u"/";
    // The program's path, its folder separator, the memory, and the path opened
    // (none when empty).
    const std::tuple<std::u16string, char16_t, std::uint32_t, std::u16string> rows[] = {
        {u"/opt/vardel/vardel", u'/', 0, u"/opt/vardel/KD51A.BIN"},
        {u"/vardel", u'/', 0, u"/KD51A.BIN"},
        // With no folder at all nothing is cut: the name goes after the whole path.
        {u"vardel", u'/', 0, u"vardelKD51A.BIN"},
        // Windows: the backslash ends a folder.
        {u"C:\\Flash\\Vardel.exe", u'\\', 0, u"C:\\Flash\\KD51A.BIN"},
        {a248 + u"vardel", u'/', 0, a248 + u"KD51A.BIN"},  // 259 units
        {a249 + u"vardel", u'/', 0, u""},
        {a248 + u"vardel", u'/', kMtkThreshold + 1, u""},  // the longer MTK name
        {a248 + u"vardel0123", u'/', 0, u""},              // the program path itself: 260 units
        {u"", u'/', 0, u""},                               // no program path: nothing to say either
    };
    for (const auto& [program, separator, memory, opened] : rows) {
        SCOPED_TRACE(program.size());
        Clear();
        fake.programPath = program;
        fake.folderSeparator = separator;
        fake.totalPhysical = memory;
        EXPECT_EQ(engine.LoadFirmware(), 0);
        EXPECT_EQ(fake.openedPaths, opened.empty() ? Texts16{} : Texts16{opened});
        EXPECT_EQ(Said().size(), program.empty() ? 0u : 1u);
    }
}

}  // namespace
}  // namespace vardel::test
