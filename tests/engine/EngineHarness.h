// Shared scaffolding for the engine tests: an engine on the fake platform, and
// callbacks that log what it says (texts as they are, percentages as "N%")
// together with how many writes the line had seen by then, so that a test can
// tell what came before a write.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "tests/engine/WireBytes.h"

namespace vardel::test {

using Texts16 = std::vector<std::u16string>;

inline const std::u16string kPortOpenFailed = u"串口打开失败!";
inline const std::u16string kPortOpened = u"串口打开成功!";
inline const std::u16string kSendFailed = u"发送数据失败!";
inline const std::u16string kEraseOk = u"擦除成功";
inline const std::u16string kUpgradeDone = u"升级成功!";
inline const std::u16string kUpgrading = u"正在升级......, 请稍后, 不要断电!!!";
inline const std::u16string kReadFailed = u"读取升级文件失败!";
inline const std::u16string kQ9OpenFailed = u"打开Q9升级文件KD51A.BIN失败!";
inline const std::u16string kMtkOpenFailed = u"打开MTK升级文件MTK51A.BIN失败!";

inline const std::u16string kQ9File = u"/opt/vardel/KD51A.BIN";
inline const std::u16string kMtkFile = u"/opt/vardel/MTK51A.BIN";
inline constexpr std::uint32_t kMtkThreshold = 136314880;  // 130 MiB

// Callbacks are plain function addresses, so what they see goes to one sink.
struct Sink {
    const FakePlatform* platform = nullptr;
    Texts16 said;
    std::vector<std::size_t> writesBefore;
    std::uint32_t context = 0;
};
inline Sink sink;

inline void Say(const std::u16string& what) {
    sink.said.push_back(what);
    sink.writesBefore.push_back(sink.platform->writeRequests.size());
}
inline int RecordMessage(const char16_t* text, std::uint32_t context) {
    sink.context = context;
    Say(text);
    return 7;  // ignored by the engine
}
inline int RecordProgress(int percent) {
    const std::string text = std::to_string(percent) + "%";
    Say(std::u16string(text.begin(), text.end()));
    return 7;
}

inline Bytes Ascii(const char* text) {
    return Bytes(text, text + std::char_traits<char>::length(text));
}

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        sink = Sink{&fake, {}, {}, 0};
        fake.now = 1000;
        engine.SetMessageCallback(RecordMessage, 0);
        engine.SetProgressCallback(RecordProgress);
    }
    void TearDown() override { sink.platform = nullptr; }

    FakePlatform fake;
    UpgradeEngine engine{fake};

    static const Texts16& Said() { return sink.said; }
    // Forgets what was said and written so far.
    void Clear() {
        sink.said.clear();
        sink.writesBefore.clear();
        fake.writes.clear();
        fake.writeRequests.clear();
        fake.debugLines.clear();
        fake.openedPaths.clear();
    }
    // Bytes from the MCU that are in the queue from now on.
    void Mcu(const Bytes& bytes) { fake.Arrive(fake.now, bytes); }
    void PutFile(const std::u16string& path, const Bytes& bytes) { fake.files[path].bytes = bytes; }

    // Opens the port (once) and loads an image of Q9.
    void Load(const Bytes& image) {
        ASSERT_EQ(engine.OpenPort(), 1);
        PutFile(kQ9File, image);
        ASSERT_EQ(engine.LoadFirmware(), 1);
        Clear();
    }
    // Along the road of a normal run.
    void ToReady() {
        ASSERT_EQ(engine.Tick(), 1);
        ASSERT_EQ(engine.GetStep(), STEP_READY);
        Clear();
    }
    void ToTransfer(const Bytes& image) {
        ToReady();
        PutFile(kQ9File, image);
        ASSERT_EQ(engine.RequestStart(), 1);
        engine.Tick();
        Mcu(BlockRequest(0));
        engine.Tick();
        ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
        Clear();
    }
};

}  // namespace vardel::test
