// How the simulated MCU behaves in one session. The defaults give a plain,
// well-behaved MCU that asks for every block in order; each field turns on
// one way of making the host's life harder.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/WireFrames.h"

namespace vardel::sim {

using Milliseconds = std::chrono::milliseconds;

enum class BlockOrder {
    InOrder,   // 0, 1, 2, ...
    Shuffled,  // block 0 first (the host starts on it), the rest in a seeded random order
    Repeated,  // in order, with some blocks asked a second time later on
};

enum class Silence {
    None,
    // After `silenceAfterBlocks` blocks the MCU sends nothing more.
    AfterBlocks,
    // After `silenceAfterBlocks` blocks it sends the first half of the next
    // request, then nothing more.
    MidFrame,
};

struct Options {
    // --- what is asked, in which order ---
    BlockOrder order = BlockOrder::InOrder;
    std::uint32_t seed = 1;  // everything random follows from it
    // Bytes of the image the host holds; 0: the whole expected image. Either
    // way no more than 65,536, and only whole blocks are asked for.
    std::size_t imageSize = 0;

    // --- status replies ---
    std::vector<StatusReply> statusAtStart;  // right after the enter-upgrade frame
    std::vector<StatusReply> statusMid;      // in the middle of the transfer...
    std::size_t statusMidAfterBlocks = 0;    // ...after this many blocks

    // --- requests the host must not answer ---
    std::size_t beyondImage = 0;         // requests for blocks past the image's whole blocks
    std::size_t badComplements = 0;      // requests with a spoilt complement byte
    bool completionAtHandshake = false;  // the completion request before block 0
    // A request for this block before block 0 (0 and 65,535 stand for block 1).
    std::optional<std::uint16_t> blockBeforeBlockZero;

    // --- awkward byte streams ---
    std::size_t noiseBursts = 0;    // requests preceded by a few bytes that are not '#'
    std::size_t splitRequests = 0;  // requests written in two parts...
    Milliseconds splitPause{1200};  // ...this far apart
    // Two frames written at once: alternately a status reply with a request,
    // and two requests.
    std::size_t backToBack = 0;

    // --- falling silent (the session then ends only through Stop()) ---
    Silence silence = Silence::None;
    std::size_t silenceAfterBlocks = 0;

    // --- a line that goes away, or stops taking bytes ---
    // After this many blocks the line is dropped (the host sees its port go
    // away); it comes back after `backAfter` as a new terminal behind the same
    // link, the MCU keeping its place, or never without it.
    std::optional<std::size_t> dropAfterBlocks;
    std::optional<Milliseconds> backAfter;
    // After this many blocks the MCU reads nothing more, but goes on asking,
    // so that the host's writes pile up until the line takes no more.
    std::optional<std::size_t> stopReadingAfterBlocks;

    // --- pacing ---
    bool lineRate = false;       // 38,400 baud, 10 bits a byte, both ways
    Milliseconds flashDelay{0};  // time to write one block into flash
    // A USB serial adapter's latency timer: the MCU's bytes reach the host
    // only this long after the first of them, unless a full USB packet (62
    // bytes) is waiting sooner. 0: at once.
    Milliseconds adapterLatency{0};

    // --- time limits ---
    Milliseconds handshakeTimeout{30000};  // for the enter-upgrade frame; 0: until Stop()
    Milliseconds dataTimeout{3000};        // for each data frame, then ask again
    std::size_t retries = 3;               // asking again at most this often per block
    Milliseconds refusalWait{400};         // for an answer that must not come
    Milliseconds resetTimeout{10000};      // for the reset frame after the completion
    // A frame begun whose next byte does not come within this time was cut short.
    Milliseconds frameGap{1000};

    // Told of each stage and fault as it happens, on the thread of Run(); may be empty.
    std::function<void(std::string_view)> onNote;
    // Told of each block received well: (blocks received, blocks in the image).
    std::function<void(std::size_t, std::size_t)> onProgress;
    // Drops the line and, after backAfter, brings it back: the new line's
    // descriptor, or -1 when it stays gone. Needed for dropAfterBlocks.
    std::function<int()> dropLine;
};

}  // namespace vardel::sim
