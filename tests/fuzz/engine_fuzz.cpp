// The whole engine on the fake platform, from the start request through the
// transfer, with arbitrary MCU input, partial writes, clock jumps and button
// presses. Invariants on every input:
//  - every data frame the engine writes is exactly one image block that the MCU
//    asked for, lies wholly inside the image, and carries the right sum and xor;
//  - the step never moves backwards.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::uint32_t kBlock = 64;

// Each block of the image is unlike every other, so a frame names its block.
std::vector<std::uint8_t> MakeImage(std::uint32_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint32_t block = i / kBlock;
        image[i] = static_cast<std::uint8_t>((i % kBlock) == 0 ? block : (block >> 8) ^ (i * 131));
    }
    return image;
}

void CheckDataFrame(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& image,
                    const std::set<std::uint32_t>& asked, std::uint32_t imageSize) {
    Check(frame.size() == 69);
    Check(frame[0] == 0x23 && frame[1] == 0x55 && frame[2] == 0x44);
    std::uint8_t sum = 0;
    std::uint8_t x = 0;
    for (std::uint32_t i = 0; i < kBlock; ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[3 + i]);
        x = static_cast<std::uint8_t>(x ^ frame[3 + i]);
    }
    Check(frame[67] == sum && frame[68] == x);
    bool matched = false;
    for (std::uint32_t block : asked) {
        if ((block + 1) * kBlock <= imageSize &&
            std::equal(frame.begin() + 3, frame.begin() + 67,
                       image.begin() + static_cast<std::ptrdiff_t>(block) * kBlock)) {
            matched = true;
            break;
        }
    }
    Check(matched);
}

// Every block asked for with matching complements anywhere in the MCU's bytes
// (a superset of what the parser may accept, frame borders aside).
std::set<std::uint32_t> RequestsIn(const std::vector<std::uint8_t>& s) {
    std::set<std::uint32_t> blocks;
    for (std::size_t i = 0; i + 7 <= s.size(); ++i) {
        if (s[i] == 0x23 && s[i + 1] == 0x55 && (s[i + 3] ^ s[i + 5]) == 0xFF &&
            (s[i + 4] ^ s[i + 6]) == 0xFF) {
            blocks.insert(static_cast<std::uint32_t>(s[i + 3] * 256 + s[i + 4]));
        }
    }
    return blocks;
}

std::vector<std::uint8_t> Request(std::uint32_t block, bool goodComplement) {
    const auto h = static_cast<std::uint8_t>(block >> 8);
    const auto l = static_cast<std::uint8_t>(block);
    return {0x23,
            0x55,
            0x52,
            h,
            l,
            static_cast<std::uint8_t>(~h),
            static_cast<std::uint8_t>(goodComplement ? ~l : l)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vardel::fuzz::FuzzInput in(data, size);
    vardel::FakePlatform fake;
    fake.now = in.Word();
    fake.msPerTickCount = 1 + in.Below(20);
    fake.portExists = in.Below(8) != 0;
    fake.refuseSettings = in.Below(16) == 0;

    const std::uint32_t imageSize = 1000 + in.Below(16) * 977;  // 1,000 to 15,655 bytes
    const std::vector<std::uint8_t> image = MakeImage(imageSize);
    fake.files[u"/opt/vardel/KD51A.BIN"].bytes = image;

    vardel::UpgradeEngine engine(fake);
    std::vector<std::uint8_t> stream;  // the MCU's bytes, in the order the line delivers them
    std::int32_t lastStep = engine.GetStep();
    std::size_t checkedWrites = 0;

    for (int op = 0; op < 3000 && !in.Empty(); ++op) {
        switch (in.Below(10)) {
        case 0:
            engine.RequestStart();
            break;
        case 1:
            fake.writeLimit = in.Below(3) == 0 ? in.Below(70) : UINT32_MAX;
            break;
        case 2:
            fake.now += in.Word() >> in.Below(32);  // clock jumps, wrap included
            break;
        case 3: {
            const std::uint32_t block = in.Below(4) == 0 ? in.Word() & 0xFFFF : in.Below(300);
            const auto request = Request(block, in.Below(6) != 0);
            fake.Arrive(fake.now + in.Below(400), request);
            stream.insert(stream.end(), request.begin(), request.end());
            break;
        }
        case 4: {
            std::vector<std::uint8_t> noise(1 + in.Below(8));
            for (auto& b : noise) {
                b = in.Byte();
            }
            fake.Arrive(fake.now + in.Below(400), noise);
            stream.insert(stream.end(), noise.begin(), noise.end());
            break;
        }
        case 5:
            fake.portExists = !fake.portExists;
            break;
        case 6:
            engine.SendReset();
            break;
        default:
            engine.Tick();
            fake.now += 5;
            break;
        }
        Check(engine.GetStep() >= lastStep);
        lastStep = engine.GetStep();
        Check(engine.rxCount <= 6);
        for (; checkedWrites < fake.writeRequests.size(); ++checkedWrites) {
            const auto& frame = fake.writeRequests[checkedWrites];
            if (frame.size() == 69 && frame[2] == 0x44) {
                CheckDataFrame(frame, image, RequestsIn(stream), engine.imageSize);
            }
        }
    }
    return 0;
}
