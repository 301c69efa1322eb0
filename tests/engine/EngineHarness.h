// Shared scaffolding for the engine tests: an engine on the fake platform, and
// callbacks that record what it reports together with how many writes the line
// had seen by then, so that a test can tell what came before a write.
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
inline const std::u16string kPortConfigFailed = u"串口配置失败!";
inline const std::u16string kPortOpened = u"串口打开成功!";
inline const std::u16string kSendFailed = u"发送数据失败!";
inline const std::u16string kBadRequest = u"MCU请求数据出错!";
inline const std::u16string kBusy = u"状态忙!";
inline const std::u16string kEraseOk = u"擦除成功";
inline const std::u16string kUpgradeDone = u"升级成功!";
inline const std::u16string kLinkUp = u"通信建立，开始传输数据!";
inline const std::u16string kUpgrading = u"正在升级......, 请稍后, 不要断电!!!";
inline const std::u16string kReadFailed = u"读取升级文件失败!";
inline const std::u16string kQ9OpenFailed = u"打开Q9升级文件KD51A.BIN失败!";
inline const std::u16string kMtkOpenFailed = u"打开MTK升级文件MTK51A.BIN失败!";

inline const std::u16string kQ9File = u"/opt/vardel/KD51A.BIN";
inline const std::u16string kMtkFile = u"/opt/vardel/MTK51A.BIN";
inline constexpr std::uint32_t kMtkThreshold = 136314880;  // 130 MiB
inline constexpr std::uint32_t kContext = 0xC0FFEE;

struct Report {
    bool isText = false;
    std::u16string text;
    std::uint32_t context = 0;
    int percent = 0;
    std::size_t writesBefore = 0;
    int callbackId = 0;
};

// Callbacks are plain function addresses, so what they see goes to one sink.
struct Sink {
    const FakePlatform* platform = nullptr;
    std::vector<Report> reports;
};
inline Sink sink;

template <int Id>
int RecordMessage(const char16_t* text, std::uint32_t context) {
    sink.reports.push_back({true, text, context, 0, sink.platform->writeRequests.size(), Id});
    return 7;  // ignored by the engine
}

inline int RecordProgress(int percent) {
    sink.reports.push_back({false, {}, 0, percent, sink.platform->writeRequests.size(), 0});
    return 7;
}

inline Bytes Ascii(const char* text) {
    return Bytes(text, text + std::char_traits<char>::length(text));
}

// Bytes that differ from block to block and within each block.
inline Bytes Pattern(std::size_t size, std::uint32_t seed = 1) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

// The data frame the MCU must receive for a block: "#UD", the block, then the
// 8-bit sum and xor of its bytes.
inline Bytes DataFrame(const Bytes& image, std::uint32_t block) {
    Bytes frame = {0x23, 0x55, 0x44};
    std::uint8_t sum = 0;
    std::uint8_t x = 0;
    for (std::uint32_t i = 0; i < 64; ++i) {
        const std::uint8_t b = image.at(block * 64 + i);
        frame.push_back(b);
        sum = static_cast<std::uint8_t>(sum + b);
        x = static_cast<std::uint8_t>(x ^ b);
    }
    frame.push_back(sum);
    frame.push_back(x);
    return frame;
}

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        sink = Sink{&fake, {}};
        // The clock moves with every look at it, so no poll window can spin forever.
        fake.msPerTickCount = 1;
        fake.now = 1000;
        engine.SetMessageCallback(RecordMessage<1>, kContext);
        engine.SetProgressCallback(RecordProgress);
    }
    void TearDown() override { sink.platform = nullptr; }

    FakePlatform fake;
    UpgradeEngine engine{fake};

    Texts16 Texts() const {
        Texts16 out;
        for (const Report& r : sink.reports) {
            if (r.isText) out.push_back(r.text);
        }
        return out;
    }
    std::vector<int> Percents() const {
        std::vector<int> out;
        for (const Report& r : sink.reports) {
            if (!r.isText) out.push_back(r.percent);
        }
        return out;
    }
    // Forgets what was reported and written so far.
    void Clear() {
        sink.reports.clear();
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
        if (engine.port == 0) {
            ASSERT_EQ(engine.OpenPort(), 1);
        }
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
