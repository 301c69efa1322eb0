// The DCB and the time-outs that the serial link applies, bit by bit.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "platform/win32/Win32Platform.h"

namespace vardel {
namespace {

// The packed flag bits follow BaudRate in the record.
DWORD FlagsWord(const DCB& dcb) {
    DWORD word = 0;
    std::memcpy(&word,
                reinterpret_cast<const char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof(DWORD),
                sizeof word);
    return word;
}

void SetFlagsWord(DCB& dcb, DWORD word) {
    std::memcpy(reinterpret_cast<char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof(DWORD), &word,
                sizeof word);
}

// Bits 0, 1 and 7 set; 2 to 6, 8 and 10 to 14 cleared; 9 (fInX) and 15 to
// 31 as GetCommState returned them. Everything but the line settings stays.
TEST(Win32LinkSettings, SetOnlyTheLinkBitsAndKeepEverythingElseAsTheDriverGaveIt) {
    constexpr DWORD kSet = 0x00000083u;
    constexpr DWORD kCleared = 0x00007D7Cu;
    for (const DWORD before : {0x00000000u, 0xFFFFFFFFu, 0xA5A5A5A5u, 0x00000200u}) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        SetFlagsWord(dcb, before);
        dcb.XonLim = 11;
        dcb.XoffLim = 22;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.ErrorChar = 0x3F;
        dcb.EofChar = 0x1A;
        dcb.EvtChar = 0x7E;
        win32::ApplyLinkSettings(dcb);

        const DWORD after = FlagsWord(dcb);
        EXPECT_EQ(after & kSet, kSet) << std::hex << before;
        EXPECT_EQ(after & kCleared, 0u) << std::hex << before;
        EXPECT_EQ(after & ~(kSet | kCleared), before & ~(kSet | kCleared)) << std::hex << before;
        EXPECT_EQ(dcb.BaudRate, 38400u);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_EQ(dcb.DCBlength, sizeof dcb);
        EXPECT_EQ(dcb.XonLim, 11);
        EXPECT_EQ(dcb.XoffLim, 22);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.ErrorChar, 0x3F);
        EXPECT_EQ(dcb.EofChar, 0x1A);
        EXPECT_EQ(dcb.EvtChar, 0x7E);
    }
}

// Both MAXDWORD and a constant strictly between 0 and MAXDWORD: the read
// returns with the first byte, or empty after the constant. Any other
// constant would make it return at once, or wait on without end.
TEST(Win32LinkSettings, TheWaitsTimeOutLiesStrictlyBetween0AndMaxdword) {
    const std::pair<DWORD, DWORD> rows[] = {{300, 300}, {0, 1}, {MAXDWORD, MAXDWORD - 1}};
    for (const auto& [asked, constant] : rows) {
        const COMMTIMEOUTS wait = win32::WaitTimeouts(asked);
        EXPECT_EQ(wait.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(wait.ReadTotalTimeoutMultiplier, MAXDWORD);
        EXPECT_EQ(wait.ReadTotalTimeoutConstant, constant) << asked;
    }
}

}  // namespace
}  // namespace vardel
