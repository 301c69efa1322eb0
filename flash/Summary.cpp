#include "flash/Summary.h"

#include <algorithm>
#include <cstdio>

namespace vardel::flash {

std::string SummaryTable(const std::vector<std::string>& ports,
                         const std::vector<UnitResult>& results) {
    int width = 4;  // "PORT"
    for (const auto& port : ports) width = std::max(width, static_cast<int>(port.size()));
    std::string table;
    char row[512];
    (void)std::snprintf(row, sizeof row, "%-*s  %-9s  %6s  %7s  %7s  %10s", width, "PORT", "RESULT",
                        "BLOCKS", "SECONDS", "BYTES/S", "RECONNECTS");
    table += row;
    table += "  REASON\n";
    for (std::size_t i = 0; i < results.size() && i < ports.size(); ++i) {
        const UnitResult& r = results[i];
        (void)std::snprintf(row, sizeof row, "%-*s  %-9s  %6u  %7.2f  %7.0f  %10u", width,
                            ports[i].c_str(), OutcomeName(r.outcome), r.blocks, r.seconds,
                            r.BytesPerSecond(), r.reconnections);
        // The whole reason, however long: a terminal wraps it, nothing cuts it.
        table += row;
        table += r.reason.empty() ? "\n" : "  " + r.reason + "\n";
    }
    return table;
}

}  // namespace vardel::flash
