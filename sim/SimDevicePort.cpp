#include "sim/SimDevicePort.h"

#include "sim/SimReportPort.h"

namespace tarvane {

std::shared_ptr<SimulatedBoard> processSimulatedBoard() {
    static const std::shared_ptr<SimulatedBoard> board = std::make_shared<SimulatedBoard>();
    return board;
}

PortOpener simulatedBoardOpener(std::shared_ptr<SimulatedBoard> board) {
    return [board = std::move(board)](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
        return openSimReportPort(board);
    };
}

} // namespace tarvane
