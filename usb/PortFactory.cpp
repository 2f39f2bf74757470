#include "usb/PortFactory.h"

#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"
#include "usb/HidBootDevice.h"
#include "usb/tcp/TcpReportPort.h"

#include "usb/UsbBackend.h"

namespace tarvane {

DeviceChoice chooseDevice(const std::string& text) {
    DeviceChoice choice;
    std::string error;
    if (const std::optional<DeviceAddress> parsed = parseDeviceAddress(text.empty() ? "usb" : text, error)) {
        choice.address = *parsed;
        choice.opener = openReportPort;
        return choice;
    }
    choice.error = "TARVANE_DEVICE: " + error;
    choice.opener = [reason = choice.error](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string& detail) {
        detail = reason;
        return std::unique_ptr<ReportPort>();
    };
    return choice;
}

std::shared_ptr<SimulatedBoard> processSimulatedBoard() {
    static const std::shared_ptr<SimulatedBoard> board = std::make_shared<SimulatedBoard>();
    return board;
}

std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, [[maybe_unused]] std::uint16_t vendorId,
                                           [[maybe_unused]] std::uint16_t productId, std::string& detail) {
    switch (address.kind) {
    case DeviceAddress::Kind::Tcp:
        return openTcpReportPort(address.host, address.port, detail);
    case DeviceAddress::Kind::Sim:
        return openSimReportPort(processSimulatedBoard());
    case DeviceAddress::Kind::Usb:
#if TARVANE_HAVE_HIDAPI || TARVANE_HAVE_WIN32_HID
        return openUsbReportPort(address.path, vendorId, productId, detail);
#else
        detail = "this build has no USB back-end (hidapi was missing when it was built); "
                 "use --device sim or tcp:HOST:PORT";
        return nullptr;
#endif
    }
    return nullptr;
}

} // namespace tarvane
