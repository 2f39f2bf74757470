#include "sim/SimDevicePort.h"

#include "sim/SimReportPort.h"
#include "usb/PortFactory.h"

namespace tarvane {

std::shared_ptr<SimulatedBoard> processSimulatedBoard() {
    static const std::shared_ptr<SimulatedBoard> board = std::make_shared<SimulatedBoard>();
    return board;
}

void registerSimulatedBoardPort() {
    registerSimulatedBoardPort(processSimulatedBoard());
}

void registerSimulatedBoardPort(std::shared_ptr<SimulatedBoard> board) {
    registerPortOpener(DeviceAddress::Kind::Sim,
                       [board = std::move(board)](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
                           return openSimReportPort(board);
                       });
}

} // namespace tarvane
