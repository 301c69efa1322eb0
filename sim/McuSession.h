// One session of the simulated MCU with the host, on a Line: after the
// enter-upgrade frame it plays the plan step by step, asks for blocks and
// judges what comes back, and fills in the verdict. Used by McuSimulator; the
// asking and judging of blocks lives in BlockAnswers.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/Line.h"
#include "sim/Scenario.h"
#include "sim/SessionPlan.h"
#include "sim/Verdict.h"

namespace vardel::sim {

using Micros = std::chrono::microseconds;

// Whether the session goes on after a step.
enum class Flow { Go, End };

// What a wait for the host's next frame brought.
enum class Arrival { Frame, Timeout, End };

// What came back for one block request.
enum class Answer { Good, Bad, Missing, End };

class McuSession {
public:
    McuSession(const Options& options, const Bytes& expected, Line& line, Verdict& verdict);
    void Play(const std::vector<Step>& plan);

private:
    static std::string Hex(std::uint8_t byte);
    static std::string Ms(Milliseconds time);

    // The course of the session, step by step.
    Flow Perform(const Step& step);
    Flow AwaitHandshake();
    Flow Refusal(const Step& step);
    Flow Complete(const Step& step);
    Flow FallSilent(const Step& step);
    Arrival AwaitFrame(Clock::time_point deadline, HostFrame& frame);
    Flow Stray(const HostFrame& frame);
    void TakeReset(const HostFrame& frame);
    Flow Write(const std::vector<Chunk>& chunks, std::vector<Clock::time_point>* requestEnds);
    bool Continue(Outcome outcome);
    void NoteJunk();
    void MarkAsked(std::uint16_t block);
    void Count(const HostFrame& frame);
    void AddFault(FaultKind kind, int block, std::string detail);
    void Note(const std::string& text) const;
    void Conclude();

    // Blocks asked for and the data frames that answer them (BlockAnswers.cpp).
    Flow Ask(const Step& step);
    Flow DropLine();
    Flow AskWithoutReading(const Step& step);
    Flow AskAgain(std::uint16_t block);
    Answer AwaitData(std::uint16_t block, Clock::time_point requestEnd);
    Answer Judge(std::uint16_t block, const HostFrame& frame);
    bool Keep(std::uint16_t block, std::span<const std::uint8_t> data);

    const Options& options_;
    const Bytes& expected_;
    Line& line_;
    Verdict& verdict_;
    std::size_t blocks_;
    std::vector<bool> asked_;
    std::vector<bool> received_;
    std::size_t receivedBlocks_ = 0;
    Bytes image_;
    Clock::time_point handshakeAt_;
    bool dropped_ = false;
};

}  // namespace vardel::sim
