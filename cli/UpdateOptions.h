#pragma once

#include "front/BoardKind.h"
#include "usb/DeviceAddress.h"
#include "usb/HidBootDevice.h"

#include <string>
#include <vector>

namespace tarvane {

// A board to update and the back-end that reaches it.
struct BoardTarget {
    DeviceAddress address;
    PortOpener opener;
};

// What an update is asked to do: the command line is parsed into it and the
// run reads it as it is.
struct UpdateOptions {
    BoardKind board = BoardKind::Display;
    // The boards to update, all at once; empty with `all`.
    std::vector<BoardTarget> boards;
    // Every USB bootloader --list shows, found when the run starts.
    bool all = false;
    // The HEX file to update with (or, for --inspect, to check).
    std::string file;
    // Only compare each board with the file; no erase, program or start.
    bool verifyOnly = false;
    // Before erasing, compare the board with the file and leave it untouched
    // when it already holds it.
    bool skipCurrent = false;
    // Keep watching the boards' addresses (or USB) and update each board that
    // appears, until stopped or `count` boards have ended (0: no limit).
    bool station = false;
    int count = 0;
    // A support report for each board that fails (station), named by time and address.
    std::string reportDir;
    // JSON objects on standard output instead of plain lines.
    bool json = false;
    // Seconds to wait for a bootloader to appear before the search; 0 = none.
    double waitSeconds = 0;
    // Where every report of the update is written (--trace); empty for none.
    // With several boards (or --all) each board has its own file, numbered
    // in the boards' order: FILE-1.EXT, FILE-2.EXT, ...
    std::string trace;
    // Where a support report of the update is written (--report) once it
    // ends; empty for none. Numbered like the traces.
    std::string report;
    // The command line, for the header of the trace and of the report's trace.
    std::string commandLine;

    // Not on the command line: a progress bar on standard error (plain
    // output on a terminal, one board only), and the system's description
    // for the report.
    bool progressBar = false;
    std::string system;
};

} // namespace tarvane
