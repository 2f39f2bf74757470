#pragma once

#include "sim/SimulatedBoard.h"
#include "usb/PortOpener.h"

#include <memory>

namespace tarvane {

// The board behind the `sim` address: one per process, so that its flash
// survives from one update to the next like a real board's.
std::shared_ptr<SimulatedBoard> processSimulatedBoard();

// The opener of the `sim` address: `board`, by default the process's own.
// The start-up hands it to the port factory (setSimulatedBoardOpener), and so
// does a test that serves a board with faults; usb/ does not know the board.
PortOpener simulatedBoardOpener(std::shared_ptr<SimulatedBoard> board = processSimulatedBoard());

} // namespace tarvane
