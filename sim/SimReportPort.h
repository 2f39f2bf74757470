#pragma once

#include "sim/SimulatedBoard.h"
#include "usb/ReportPort.h"

#include <memory>

namespace tarvane {

// The `sim` device address: the board inside this process, reached in real
// time. Opening it connects to the board; the caller keeps its own share of
// the board to inspect the flash after the link has stopped.
std::unique_ptr<ReportPort> openSimReportPort(std::shared_ptr<SimulatedBoard> board);

} // namespace tarvane
