#pragma once

#include "front/BoardKind.h"
#include "cli/BoardRun.h"
#include "update/UpdateEvents.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace tarvane {

struct UpdateOptions {
    BoardKind board = BoardKind::Display;
    // The boards to update, all at once; empty with `all`.
    std::vector<BoardTarget> boards;
    // Every USB bootloader --list shows, found when the run starts.
    bool all = false;
    std::string file;
    // Only compare each board with the file; no erase, program or start.
    bool verifyOnly = false;
    // JSON objects on standard output instead of plain lines.
    bool json = false;
    // Seconds to wait for a bootloader to appear before the search; 0 = none.
    double waitSeconds = 0;
    // A progress bar on standard error (plain output on a terminal, one board only).
    bool progressBar = false;
    // Where every report of the update is written (--trace); empty for none.
    // With several boards (or --all) each board has its own file, numbered
    // in the boards' order: FILE-1.EXT, FILE-2.EXT, ...
    std::string trace;
    // Where a support report of the update is written (--report) once it
    // ends; empty for none. Numbered like the traces.
    std::string report;
    // The system's description, for the report.
    std::string system;
    // The command line, for the header of the trace and of the report's trace.
    std::string commandLine;
};

struct BoardResult {
    std::string device;
    UpdateOutcome outcome = UpdateOutcome::DeviceNotFound;
    int exitStatus = 0;
    double seconds = 0;
};

// Runs the window's update sequence in the terminal for each board, each on
// its own thread with its own link, from one check of the file, printing
// the log the window would show, until the update ends. With several boards every line names its board and
// a summary line per board ends the output. Once `stop` is set every board
// is interrupted. Returns the exit status: 0 when every board was updated
// (or verified), otherwise the highest of any board.
int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
              std::vector<BoardResult>* results = nullptr);

} // namespace tarvane
