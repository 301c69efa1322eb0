// Identifiers of the program's resources and of the controls and commands of
// its dialog.
#pragma once

namespace vardel {

inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_START = 1000;
// A command that no control carries: it reaches the dialog only as a command
// message sent to its window.
inline constexpr int IDC_EXIT = 1001;
inline constexpr int IDC_PROGRESS = 1002;
inline constexpr int IDC_PERCENT = 1003;
inline constexpr int IDC_STATUS = 1005;
inline constexpr int IDC_STEP = 1006;

}  // namespace vardel
