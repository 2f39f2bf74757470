#pragma once

#include "app/BoardKind.h"
#include "usb/DeviceAddress.h"

#include <iosfwd>
#include <string>

namespace tarvane {

// Runs the window's update sequence in the terminal: selects the board,
// takes the file as the file dialog's answer, clicks Update and runs the
// event loop until the update ends. Returns the exit status.
int runUpdate(BoardKind board, const DeviceAddress& address, const std::string& file, std::ostream& out,
              std::ostream& err, bool progressBar);

} // namespace tarvane
