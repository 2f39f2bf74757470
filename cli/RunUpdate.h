#pragma once

#include "cli/UpdateOptions.h"

#include <atomic>
#include <iosfwd>

namespace tarvane {

// Runs the window's update sequence in the terminal for each board, each on
// its own thread with its own link, from one check of the file, printing
// the log the window would show, until the update ends. With several boards every line names its board and
// a summary line per board ends the output. Once `stop` is set every board
// is interrupted. Returns the exit status: 0 when every board was updated
// (or verified), otherwise the highest of any board.
int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop);

} // namespace tarvane
