// What the kinds of screen share inside vardel-flash: the words for a unit's
// events, and each kind's maker (Screens.cpp, LiveScreen.cpp, JsonScreen.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/Screens.h"

namespace vardel::flash {

inline std::string LostLine(const UnitEvent& event) {
    return "the port went away" +
           (event.block ? " at block " + std::to_string(*event.block) : std::string()) +
           "; waiting for it to come back";
}
constexpr const char* kBackLine = "the port is back; answering the MCU again";
constexpr const char* kWaitingLine = "waiting for its turn";
constexpr const char* kInUseAfter = "; tried again once it is free";

// What a station's slot shows at an event of its own, when it has one.
inline std::optional<std::string> SlotLine(const UnitEvent& event) {
    switch (event.kind) {
    case UnitEvent::Kind::Appeared:
        return "appeared";
    case UnitEvent::Kind::Gone:
        return "gone";
    case UnitEvent::Kind::Waiting:
        return kWaitingLine;
    case UnitEvent::Kind::Start:
        return "unit " + std::to_string(event.sequence) + " started";
    default:
        return std::nullopt;
    }
}

// One live line per unit on a terminal, rewritten in place.
[[nodiscard]] std::unique_ptr<Screen> MakeLiveScreen(const std::vector<std::string>& ports,
                                                     const ScreenSetup& setup);
// A JSON object a line on standard output.
[[nodiscard]] std::unique_ptr<Screen> MakeJsonScreen(const std::vector<std::string>& ports,
                                                     const ScreenSetup& setup);

}  // namespace vardel::flash
