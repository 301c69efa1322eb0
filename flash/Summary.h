// The closing summary: a table of the units, and the exit status.
#pragma once

#include <string>
#include <vector>

#include "flash/UnitResult.h"

namespace vardel::flash {

inline constexpr int kExitAllCompleted = 0;
inline constexpr int kExitAnyFailed = 1;
inline constexpr int kExitStopped = 130;

// One row per unit: port, result, blocks sent, seconds, bytes a second.
[[nodiscard]] std::string SummaryTable(const std::vector<std::string>& ports,
                                       const std::vector<UnitResult>& results);

// 130 once the user stopped a unit in its run, else 1 when any unit failed,
// else 0.
[[nodiscard]] int ExitStatus(const std::vector<UnitResult>& results);

}  // namespace vardel::flash
