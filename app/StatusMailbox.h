// The hand-off between the engine and the main dialog. The engine's two
// callbacks only store what they are given here and raise a flag; the
// dialog's timer tick shows what is flagged and lowers the flags. One text and
// one percentage, not a queue: the latest value wins.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vardel {

inline constexpr std::size_t kMailboxTextSize = 260;
// The last unit of messageText is never written, so the text stays terminated.
inline constexpr std::size_t kMailboxTextLimit = kMailboxTextSize - 1;

struct StatusMailbox {
    char16_t percentText[kMailboxTextSize];
    std::int32_t percentChanged;
    std::int32_t messageChanged;
    char16_t messageText[kMailboxTextSize];
    std::int32_t percent;
};

// Static storage for the whole process, zero at start. The dialog's callbacks
// stay registered after the dialog has gone, so they must not refer to it.
extern StatusMailbox statusMailbox;

// The engine's message callback: keeps the text, cut to 259 units.
int OnEngineMessage(const char16_t* text, std::uint32_t context);
// The engine's progress callback: keeps the percentage as it comes.
int OnEngineProgress(int percent);

}  // namespace vardel
