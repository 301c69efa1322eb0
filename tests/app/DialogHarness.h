// The main dialog on the recording window, with a real engine on the fake
// platform, and the MCU's side of the line for driving a run through its steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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
#include "tests/engine/WireBytes.h"

namespace vardel::testing {

using test::BlockRequest;
using test::Completion;
using test::ResetFrame;

inline constexpr char16_t kQ9Image[] = u"/opt/vardel/KD51A.BIN";

class DialogTest : public ::testing::Test {
protected:
    DialogTest() {
        // The mailbox lives for the whole process; each case starts from zero.
        statusMailbox = {};
        fake.msPerTickCount = 1;
    }

    // An image of whole blocks (at least 16, the smallest image that loads).
    void PutImage(std::uint32_t blocks) {
        std::vector<std::uint8_t> bytes(std::size_t{blocks} * 64);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
        fake.files[kQ9Image].bytes = bytes;
    }

    void Open() { window.Open(kMainDialogTemplate, dialog); }
    void Tick() { window.Timer(TIMER_ENGINE); }
    void Press() { window.Command(IDC_START, BN_CLICKED); }
    // The MCU's bytes, waiting on the line from now on.
    void Mcu(const std::vector<std::uint8_t>& bytes) { fake.Arrive(fake.now, bytes); }

    long ResetFramesWritten() const {
        return std::count(fake.writes.begin(), fake.writes.end(), ResetFrame());
    }
    // Along the road of a normal run.
    void ToTransfer(std::uint32_t blocks = 16) {
        PutImage(blocks);
        Open();
        Tick();
        Press();
        Tick();
        Mcu(BlockRequest(0));
        Tick();
        ASSERT_EQ(engine.GetStep(), STEP_TRANSFER);
    }
    void ToDone() {
        ToTransfer();
        Mcu(Completion());
        Tick();
        ASSERT_EQ(engine.GetStep(), STEP_DONE);
    }

    FakePlatform fake;
    UpgradeEngine engine{fake};
    FakeWindow window;
    MainDialog dialog{engine, fake, window};
};

}  // namespace vardel::testing
