#pragma once

#include <atomic>

namespace tarvane {

// Ctrl-C, SIGINT and SIGTERM (on Windows the console's Ctrl-C and Ctrl-Break)
// set the returned flag instead of ending the process, so that a running
// update can stop its links and say so. A hang-up and a closed pipe
// (SIGHUP, SIGPIPE) are ignored. Call once, early in main.
const std::atomic<bool>& catchStopSignals();

} // namespace tarvane
