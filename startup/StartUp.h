#pragma once

#include "usb/DeviceAddress.h"
#include "usb/PortOpener.h"

#include <string>
#include <vector>

namespace tarvane {

// The windows take their device and trace from the environment
// (TARVANE_DEVICE, TARVANE_TRACE); the terminal tool from its options.
enum class FrontEnd { Window, Terminal };

// What a front end is given to use and to show.
struct StartUp {
    // The system's one-line description, for support reports.
    std::string system;
    // A window's device: TARVANE_DEVICE's address (usb when unset) and the
    // way to it, traced when TARVANE_TRACE names a file. Not set for the
    // terminal tool.
    DeviceAddress device;
    PortOpener opener;
    // What the user must be told before anything else, one message box each,
    // in this order: an address that does not parse, a trace that cannot be
    // written.
    std::vector<std::string> warnings;
};

// The one start-up of every front end, called once before any link starts:
// the `sim` address opens the process's simulated board, the link workers
// pace as the system needs, and a window's device and trace are read from the
// environment. `programName` and the arguments begin the trace.
StartUp startUp(FrontEnd frontEnd, const std::string& programName, int argc, const char* const* argv);

} // namespace tarvane
