#pragma once

#include "sim/BoardModel.h"
#include "usb/tcp/Socket.h"

#include <atomic>
#include <ostream>
#include <string>

namespace tarvane {

// Serves the board over TCP to one client after another until `stop` is set;
// a client that connects while another is served is told in one line of text
// that the board is in use, and closed.
// Each report crosses the stream as exactly 64 bytes. The flash survives from
// one connection to the next, as a real board's does; each connection starts
// with a fresh frame decoder. With a `dumpPath`, the flash is written there
// (raw, 512 KiB) whenever a connection ends. Notes go to `diagnostics`.
void serveBoard(BoardModel& board, Socket& listener, const std::string& dumpPath, const std::atomic<bool>& stop,
                std::ostream& diagnostics);

// Writes the flash to `path` through a temporary file, so a reader never sees half of it.
bool dumpFlash(const BoardModel& board, const std::string& path);

} // namespace tarvane
