// The whole engine on the fake platform, from the start request through the
// transfer, with arbitrary MCU input, partial writes, clock jumps and button
// presses. Invariants on every input:
//  - every data frame the engine writes is exactly one image block that the MCU
//    asked for, lies wholly inside the image, and carries the right sum and xor;
//  - the step never moves backwards.
#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "tests/engine/WireBytes.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using vardel::test::Bytes;
using vardel::test::Check;

// A frame that is one whole block of the image, asked for, with its check bytes.
bool IsAnAskedBlock(const Bytes& frame, const Bytes& image, const std::set<std::int32_t>& asked,
                    std::uint32_t imageSize) {
    return std::any_of(asked.begin(), asked.end(), [&](std::int32_t block) {
        return static_cast<std::uint32_t>(block + 1) * 64 <= imageSize &&
               frame == vardel::test::DataFrame(image, static_cast<std::uint32_t>(block));
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vardel::test::FuzzInput in{data, size};
    vardel::FakePlatform fake;
    fake.now = in.Word();
    fake.msPerTickCount = 1 + in.Below(20);
    fake.portExists = in.Below(8) != 0;
    fake.refuseSettings = in.Below(16) == 0;

    const std::uint32_t imageSize = 1000 + in.Below(16) * 977;  // 1,000 to 15,655 bytes
    const Bytes image = vardel::test::Pattern(imageSize);       // no two blocks alike
    fake.files[u"/opt/vardel/KD51A.BIN"].bytes = image;

    vardel::UpgradeEngine engine(fake);
    Bytes stream;  // the MCU's bytes, in the order the line delivers them
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
            Bytes request = vardel::test::BlockRequest(static_cast<std::uint16_t>(block), 0x52);
            if (in.Below(6) == 0) request[6] = static_cast<std::uint8_t>(~request[6]);
            fake.Arrive(fake.now + in.Below(400), request);
            stream.insert(stream.end(), request.begin(), request.end());
            break;
        }
        case 4: {
            Bytes noise(1 + in.Below(8));
            for (auto& b : noise) b = in.Byte();
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
                Check(IsAnAskedBlock(frame, image, vardel::test::RequestsIn(stream),
                                     engine.imageSize));
            }
        }
    }
    return 0;
}
