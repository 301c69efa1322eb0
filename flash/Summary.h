// The closing summary: a table of the units.
#pragma once

#include <string>
#include <vector>

#include "flash/UnitResult.h"

namespace vardel::flash {

// One row per unit: port, result, blocks sent, seconds, bytes a second.
[[nodiscard]] std::string SummaryTable(const std::vector<std::string>& ports,
                                       const std::vector<UnitResult>& results);

}  // namespace vardel::flash
