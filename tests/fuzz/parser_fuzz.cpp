// The reply parser fed arbitrary byte streams with arbitrary arrival times.
// Whatever comes, the parser's position stays within a frame, its buffer stays
// terminated, a poll window never outlives its bound, and every block number it
// records is one the MCU really asked for with matching complements.
#include <cstdint>
#include <set>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/fake/FakePlatform.h"
#include "tests/fuzz/FuzzSupport.h"

using vardel::test::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vardel::test::FuzzInput in{data, size};
    vardel::FakePlatform fake;
    fake.now = in.Word();  // anywhere on the clock, wrap included
    fake.msPerTickCount = 1 + in.Below(50);
    vardel::UpgradeEngine engine(fake);
    engine.OpenPort();

    std::vector<std::uint8_t> stream;
    std::uint32_t at = fake.now;
    while (!in.Empty()) {
        at += in.Below(700);
        const std::uint32_t count = 1 + in.Below(9);
        std::vector<std::uint8_t> chunk;
        for (std::uint32_t i = 0; i < count; ++i) chunk.push_back(in.Byte());
        fake.Arrive(at, chunk);
        stream.insert(stream.end(), chunk.begin(), chunk.end());
    }
    const std::set<std::int32_t> asked = vardel::test::RequestsIn(stream);

    for (int window = 0; window < 4000 && fake.PendingInput() > 0; ++window) {
        const std::uint32_t start = fake.now;
        engine.PollReplies();
        // A window lasts at most its 300 ms, plus the clock's own step.
        Check(fake.now - start <= 300 + 2 * fake.msPerTickCount);
        Check(engine.rxCount <= 6);
        Check(engine.rxCount == 0 || engine.rxBytes[engine.rxCount] == 0);
        const std::int32_t r = engine.requestedBlock;
        Check(r == vardel::NO_REQUEST || r == vardel::ALL_BLOCKS_DONE || asked.count(r) == 1);
        Check(r != 0xFFFF);
        // The next tick comes 5 ms later, or when the next bytes arrive.
        fake.WaitSerialReadable(engine.port, 5);
    }
    return 0;
}
