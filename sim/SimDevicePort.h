#pragma once

#include "sim/SimulatedBoard.h"

#include <memory>

namespace tarvane {

// The board behind the `sim` address: one per process, so that its flash
// survives from one update to the next like a real board's.
std::shared_ptr<SimulatedBoard> processSimulatedBoard();

// Makes the `sim` address open processSimulatedBoard(). Every front end that
// offers `sim` calls this once at start; usb/ does not know the board.
void registerSimulatedBoardPort();
// Makes the `sim` address open `board` instead, such as one with faults.
void registerSimulatedBoardPort(std::shared_ptr<SimulatedBoard> board);

} // namespace tarvane
