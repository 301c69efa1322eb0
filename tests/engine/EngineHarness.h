// Shared scaffolding for the engine tests: an engine on the fake platform,
// callbacks that record what the engine reports (with what the line had seen
// by then, so tests can check what came before a write), and the MCU's frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"

namespace vardel::test {

using Bytes = std::vector<std::uint8_t>;

// The engine's own texts.
inline const std::u16string kPortOpenFailed = u"串口打开失败!";
inline const std::u16string kPortConfigFailed = u"串口配置失败!";
inline const std::u16string kPortOpened = u"串口打开成功!";
inline const std::u16string kSendFailed = u"发送数据失败!";
inline const std::u16string kBadRequest = u"MCU请求数据出错!";
inline const std::u16string kBusy = u"状态忙!";
inline const std::u16string kEraseOk = u"擦除成功";
inline const std::u16string kEraseFailed = u"擦除失败";
inline const std::u16string kChipEncrypted = u"芯片被加密";
inline const std::u16string kUpgradeDone = u"升级成功!";
inline const std::u16string kLinkUp = u"通信建立，开始传输数据!";
inline const std::u16string kUpgrading = u"正在升级......, 请稍后, 不要断电!!!";
inline const std::u16string kNoBuffer = u"打开升级文件失败!";
inline const std::u16string kReadFailed = u"读取升级文件失败!";
inline const std::u16string kQ9OpenFailed = u"打开Q9升级文件KD51A.BIN失败!";
inline const std::u16string kMtkOpenFailed = u"打开MTK升级文件MTK51A.BIN失败!";

inline const std::u16string kFolder = u"/opt/vardel/";
inline const std::u16string kQ9File = kFolder + u"KD51A.BIN";
inline const std::u16string kMtkFile = kFolder + u"MTK51A.BIN";
inline constexpr std::uint32_t kMtkThreshold = 136314880;  // 130 MiB
inline constexpr std::uint32_t kContext = 0xC0FFEE;
inline constexpr std::uint32_t kPoll = 300;

inline const Bytes kEnterUpgradeFrame = {0x23, 0x55, 0x02, 0x56, 0x4B, 0x54};

// What a callback saw, and how far the line and the port had got by then.
struct Report {
    enum Kind { Message, Progress } kind;
    std::u16string text;
    std::uint32_t context = 0;
    int percent = 0;
    std::size_t writesBefore = 0;
    int purgesBefore = 0;
    int callbackId = 0;
};

// Callbacks are plain function addresses, so what they see goes to one sink.
struct Sink {
    const FakePlatform* platform = nullptr;
    std::vector<Report> reports;
};
inline Sink sink;

inline Report Snapshot(Report::Kind kind) {
    Report r{kind, {}, 0, 0, 0, 0, 0};
    if (sink.platform != nullptr) {
        r.writesBefore = sink.platform->writeRequests.size();
        r.purgesBefore = sink.platform->purgeCalls;
    }
    return r;
}

template <int Id>
int RecordMessage(const char16_t* text, std::uint32_t context) {
    Report r = Snapshot(Report::Message);
    r.text = text;
    r.context = context;
    r.callbackId = Id;
    sink.reports.push_back(r);
    return 7;  // ignored by the engine
}

inline int RecordProgress(int percent) {
    Report r = Snapshot(Report::Progress);
    r.percent = percent;
    sink.reports.push_back(r);
    return 7;
}

// The MCU's block request for a block number (65,535 is the completion).
inline Bytes BlockRequest(std::uint32_t block, std::uint8_t kind = 0x51) {
    const auto h = static_cast<std::uint8_t>(block >> 8);
    const auto l = static_cast<std::uint8_t>(block & 0xFF);
    return {0x23,
            0x55,
            kind,
            h,
            l,
            static_cast<std::uint8_t>(0xFF - h),
            static_cast<std::uint8_t>(0xFF - l)};
}
inline Bytes Completion() { return BlockRequest(0xFFFF); }
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

// The data frame the MCU must receive for a block, built independently.
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

inline Bytes ResetFrame() {
    Bytes frame(69, 0);
    frame[0] = 0x23;
    frame[1] = 0x55;
    frame[2] = 0x52;
    return frame;
}

inline std::u16string Utf16(long long n) {
    const std::string ascii = std::to_string(n);
    return std::u16string(ascii.begin(), ascii.end());
}
inline std::u16string Dashes(std::size_t n) { return std::u16string(n, u'-'); }
inline std::u16string FileLine(const std::u16string& path, long long hand) {
    return Dashes(13) + u"update file name = " + path + u", hand = " + Utf16(hand) + Dashes(16) +
           u"\r\n";
}
inline std::u16string ReadSizeLine(long long size, long long error) {
    return Dashes(13) + u"read size = " + Utf16(size) + u" bytes, err = " + Utf16(error) +
           Dashes(16) + u"\r\n";
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

    std::vector<std::u16string> Texts() const {
        std::vector<std::u16string> out;
        for (const Report& r : sink.reports) {
            if (r.kind == Report::Message) out.push_back(r.text);
        }
        return out;
    }
    std::vector<int> Percents() const {
        std::vector<int> out;
        for (const Report& r : sink.reports) {
            if (r.kind == Report::Progress) out.push_back(r.percent);
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

    void Open() {
        ASSERT_EQ(engine.OpenPort(), 1);
        Clear();
    }
    // Opens the port and loads an image of Q9.
    void Load(const Bytes& image) {
        if (engine.port == 0) Open();
        PutFile(kQ9File, image);
        ASSERT_EQ(engine.LoadFirmware(), 1);
        Clear();
    }
    void ToReady() {
        ASSERT_EQ(engine.Tick(), 1);
        ASSERT_EQ(engine.GetStep(), STEP_READY);
        Clear();
    }
    void ToHandshake(const Bytes& image) {
        ToReady();
        PutFile(kQ9File, image);
        ASSERT_EQ(engine.RequestStart(), 1);
        engine.Tick();
        ASSERT_EQ(engine.GetStep(), STEP_HANDSHAKE);
        Clear();
    }
    void ToTransfer(const Bytes& image) {
        ToHandshake(image);
        Mcu(BlockRequest(0));
        engine.Tick();
        ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
        Clear();
    }
    void ToDone(const Bytes& image) {
        ToTransfer(image);
        Mcu(Completion());
        engine.Tick();
        ASSERT_EQ(engine.GetStep(), STEP_DONE);
        Clear();
    }
};

}  // namespace vardel::test
