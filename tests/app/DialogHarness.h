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

namespace vardel::test {

inline constexpr char16_t kQ9Image[] = u"/opt/vardel/KD51A.BIN";

// One dialog on its own window, engine and platform; rows of a table that need
// a fresh one each make their own.
struct DialogRig {
    DialogRig() {
        // The mailbox lives for the whole process; each dialog starts from zero.
        statusMailbox = {};
    }

    // An image of whole blocks (at least 16, the smallest image that loads).
    void PutImage(std::size_t blocks) { fake.files[kQ9Image].bytes = Pattern(blocks * 64); }

    void Open() { window.Open(kMainDialogTemplate, dialog); }
    void Tick() { window.Timer(TIMER_ENGINE); }
    void Press() { window.Command(IDC_START, BN_CLICKED); }
    // The MCU's bytes, waiting on the line from now on.
    void Mcu(const std::vector<std::uint8_t>& bytes) { fake.Arrive(fake.now, bytes); }

    FakePlatform fake;
    UpgradeEngine engine{fake};
    FakeWindow window;
    MainDialog dialog{engine, fake, window};
};

class DialogTest : public ::testing::Test, protected DialogRig {};

}  // namespace vardel::test
