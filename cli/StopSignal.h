#pragma once

#include <atomic>

namespace tarvane {

// Ctrl-C, SIGINT and SIGTERM (on Windows the console's Ctrl-C and Ctrl-Break)
// set the returned flag instead of ending the process, so that a running
// update can stop its links and say so. A hang-up and a closed pipe
// (SIGHUP, SIGPIPE) are ignored. Call once, early in main. The first
// `caught` signals are caught; on POSIX the one after them ends the process
// at once.
const std::atomic<bool>& catchStopSignals(int caught = 1);

// Set by the second stop signal, when catchStopSignals caught two or more.
const std::atomic<bool>& stopRepeated();

} // namespace tarvane
