// The main dialog on the recording window, with a real engine on the fake
// platform, and the MCU's side of the line for driving a run through its steps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/StatusMailbox.h"
#include "app/resources/MainDialogTemplate.h"
#include "app/resources/Resource.h"
#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeWindow.h"

namespace vardel::testing {

inline constexpr char16_t kQ9Image[] = u"/opt/vardel/KD51A.BIN";

inline std::vector<std::uint8_t> BlockRequest(std::uint16_t block) {
    const auto high = static_cast<std::uint8_t>(block >> 8);
    const auto low = static_cast<std::uint8_t>(block & 0xFF);
    return {0x23,
            0x55,
            0x01,
            high,
            low,
            static_cast<std::uint8_t>(0xFF - high),
            static_cast<std::uint8_t>(0xFF - low)};
}

inline std::vector<std::uint8_t> CompletionRequest() { return BlockRequest(0xFFFF); }

// The reset frame: "#UR" and 66 zero bytes.
inline std::vector<std::uint8_t> ResetFrame() {
    std::vector<std::uint8_t> frame(69, 0x00);
    frame[0] = 0x23;
    frame[1] = 0x55;
    frame[2] = 0x52;
    return frame;
}

class DialogTest : public ::testing::Test {
protected:
    DialogTest() {
        // The mailbox lives for the whole process; each case starts from zero.
        statusMailbox = {};
        fake.msPerTickCount = 1;
    }

    // An image of whole blocks (at least 16, the smallest image that loads),
    // so that every block up to its end is served.
    void PutImage(std::uint32_t blocks) {
        std::vector<std::uint8_t> bytes(std::size_t{blocks} * 64);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 7);
        }
        fake.files[kQ9Image].bytes = bytes;
    }

    void Open() { window.Open(kMainDialogTemplate, dialog); }
    void Tick() { window.Timer(TIMER_ENGINE); }
    void Press() { window.Command(IDC_START, BN_CLICKED); }
    // The MCU's bytes, waiting on the line from now on.
    void Mcu(const std::vector<std::uint8_t>& bytes) { fake.Arrive(fake.now, bytes); }

    int ResetFramesWritten() const {
        int count = 0;
        for (const auto& write : fake.writes) {
            count += write == ResetFrame() ? 1 : 0;
        }
        return count;
    }

    // Step by step along the road of a normal run.
    void ToReady() {
        Open();
        Tick();
        ASSERT_EQ(engine.GetStep(), STEP_READY);
    }
    void ToHandshake() {
        PutImage(16);
        ToReady();
        Press();
        Tick();
        ASSERT_EQ(engine.GetStep(), STEP_HANDSHAKE);
    }
    void ToTransfer() {
        ToHandshake();
        Mcu(BlockRequest(0));
        Tick();
        ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
    }
    void ToDone() {
        ToTransfer();
        Mcu(CompletionRequest());
        Tick();
        ASSERT_EQ(engine.GetStep(), STEP_DONE);
    }

    FakePlatform fake;
    UpgradeEngine engine{fake};
    FakeWindow window;
    MainDialog dialog{engine, fake, window};
};

}  // namespace vardel::testing
