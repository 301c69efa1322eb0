// vardel-flash's exit statuses, and which one a run ends with.
#pragma once

#include <vector>

#include "flash/UnitResult.h"

namespace vardel::flash {

inline constexpr int kExitAllCompleted = 0;
inline constexpr int kExitAnyFailed = 1;
inline constexpr int kExitUsage = 2;  // nothing was sent
inline constexpr int kExitStopped = 130;

// 130 once the user stopped a unit in its run, else 1 when any unit failed,
// else 0.
[[nodiscard]] int ExitStatus(const std::vector<UnitResult>& results);

}  // namespace vardel::flash
