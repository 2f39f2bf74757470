#pragma once

#include "sim/SimulatedBoard.h"
#include "usb/ReportPort.h"

#include <memory>

namespace tarvane {

// The `sim` device address: the board inside this process, reached in real
// time. Opening it connects to the board; the caller keeps its own share of
// the board to inspect the flash after the link has stopped.
//
// The port waits for the bus by sleeping. A sleep may wake a millisecond
// late on a busy or virtual machine, which a real bus never adds; a benchmark
// of the link asks for exact waits, which spin through the last few
// milliseconds of each and so cost a core while they last.
enum class SimWaits { Sleep, Exact };
std::unique_ptr<ReportPort> openSimReportPort(std::shared_ptr<SimulatedBoard> board,
                                              SimWaits waits = SimWaits::Sleep);

} // namespace tarvane
