#include "usb/PortFactory.h"

#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"
#include "usb/tcp/TcpReportPort.h"

namespace tarvane {

std::shared_ptr<SimulatedBoard> processSimulatedBoard() {
    static const std::shared_ptr<SimulatedBoard> board = std::make_shared<SimulatedBoard>();
    return board;
}

std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t, std::uint16_t,
                                           std::string& detail) {
    switch (address.kind) {
    case DeviceAddress::Kind::Tcp:
        return openTcpReportPort(address.host, address.port, detail);
    case DeviceAddress::Kind::Sim:
        return openSimReportPort(processSimulatedBoard());
    case DeviceAddress::Kind::Usb:
        detail = "this build has no USB back-end yet; use --device sim or tcp:HOST:PORT";
        return nullptr;
    }
    return nullptr;
}

} // namespace tarvane
