#pragma once

#include "app/BoardKind.h"
#include "usb/DeviceAddress.h"

#include <iosfwd>
#include <string>

namespace tarvane {

struct UpdateOptions {
    BoardKind board = BoardKind::Display;
    DeviceAddress address;
    std::string file;
    // JSON objects on standard output instead of plain lines.
    bool json = false;
    // Seconds to wait for a bootloader to appear before the search; 0 = none.
    double waitSeconds = 0;
    // A progress bar on standard error (plain output on a terminal only).
    bool progressBar = false;
    // Where every report of the update is written (--trace); empty for none.
    std::string trace;
    // The command line, for the trace's header.
    std::string commandLine;
};

// Runs the window's update sequence in the terminal: selects the board,
// takes the file as the file dialog's answer, clicks Update and runs the
// event loop until the update ends. Returns the exit status.
int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err);

} // namespace tarvane
