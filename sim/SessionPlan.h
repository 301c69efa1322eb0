// The script of one session, worked out before the first byte is written:
// which requests go out in which order, what travels with them (noise, a
// status reply, a second request), and what the host has to answer. Every
// random choice is made here, from the seed, so a session can be replayed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "sim/Scenario.h"
#include "sim/WireFrames.h"

namespace vardel::sim {

// Bytes written in one go, possibly after a pause.
struct Chunk {
    Bytes bytes;
    Milliseconds pauseBefore{0};
    // Set on the chunk whose last byte completes a request for this block.
    std::optional<std::uint16_t> endsRequestFor;
};

enum class StepKind {
    Send,        // status replies and the like: the host answers nothing
    Ask,         // block requests: one data frame comes back for each of `blocks`, in order
    Refusal,     // a request the host must leave unanswered
    Complete,    // the completion request; then the reset frame is due
    FallSilent,  // the last bytes the MCU writes (maybe none); then it says nothing more
};

struct Step {
    StepKind kind = StepKind::Send;
    std::vector<Chunk> chunks;          // written back to back
    std::vector<std::uint16_t> blocks;  // Ask: the blocks asked, in the order written
    std::string_view why;               // Refusal: why the host has to refuse it
};

using Random = std::mt19937;

// The blocks 0..blocks-1 in the order the MCU asks for them; block 0 always
// comes first, since the host starts the transfer on it.
std::vector<std::uint16_t> MakeBlockOrder(BlockOrder order, std::size_t blocks, Random& random);

// The whole session after the enter-upgrade frame for an image of `blocks`
// whole blocks.
std::vector<Step> MakePlan(const Options& options, std::size_t blocks);

}  // namespace vardel::sim
