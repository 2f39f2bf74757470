#pragma once

#include "front/BoardKind.h"
#include "usb/DeviceAddress.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tarvane {

// What the user asked tarvane-update for, checked for use.
struct UpdateCommandLine {
    enum class Action { Update, Inspect, List };

    Action action = Action::Update;
    BoardKind board = BoardKind::None;
    // At least one, each given once; "usb" when --device is not given.
    std::vector<DeviceAddress> devices;
    bool all = false;
    bool verifyOnly = false;
    bool json = false;
    double waitSeconds = 0;
    std::string tracePath;
    std::string reportPath;
    // The HEX file to update with, or to inspect.
    std::string file;
};

// Parses tarvane-update's arguments. Returns an exit status when the program
// should end at once: help or version printed on `out`, or a usage error
// reported on `err`.
std::optional<int> parseUpdateCommandLine(int argc, const char* const* argv, UpdateCommandLine& result,
                                          std::ostream& out, std::ostream& err);

} // namespace tarvane
