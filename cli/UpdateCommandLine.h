#pragma once

#include "cli/UpdateOptions.h"

#include <iosfwd>
#include <optional>

namespace tarvane {

// What the user asked tarvane-update for, checked for use.
struct UpdateCommandLine {
    enum class Action { Update, Inspect, List };

    Action action = Action::Update;
    // What the update runs with. --inspect fills in only the file, --list
    // only its one board ("usb" when --device is not given).
    UpdateOptions options;
};

// Parses tarvane-update's arguments. Returns an exit status when the program
// should end at once: help or version printed on `out`, or a usage error
// reported on `err`.
std::optional<int> parseUpdateCommandLine(int argc, const char* const* argv, UpdateCommandLine& result,
                                          std::ostream& out, std::ostream& err);

} // namespace tarvane
