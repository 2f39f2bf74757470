#include "usb/PortFactory.h"

#include "usb/UsbBackend.h"
#include "usb/tcp/TcpReportPort.h"

#include <mutex>

namespace tarvane {
namespace {

// The opener of `sim`, locked: the start-up may hand it in while a link
// opens a port on another thread.
class SimulatedBoardOpener {
public:
    void set(PortOpener opener) {
        const std::lock_guard lock(mutex_);
        opener_ = std::move(opener);
    }
    PortOpener get() {
        const std::lock_guard lock(mutex_);
        return opener_;
    }

private:
    std::mutex mutex_;
    PortOpener opener_;
};

SimulatedBoardOpener& simulatedBoard() {
    static SimulatedBoardOpener opener;
    return opener;
}

} // namespace

std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t vendorId,
                                           std::uint16_t productId, std::string& detail) {
    switch (address.kind) {
    case DeviceAddress::Kind::Usb:
        return openUsbReportPort(address.path, vendorId, productId, detail);
    case DeviceAddress::Kind::Tcp:
        return openTcpReportPort(address.host, address.port, detail);
    case DeviceAddress::Kind::Sim:
        if (const PortOpener sim = simulatedBoard().get()) return sim(address, vendorId, productId, detail);
        break;
    }
    detail = "this program offers no device at \"" + address.toString() + "\"";
    return nullptr;
}

void setSimulatedBoardOpener(PortOpener opener) { simulatedBoard().set(std::move(opener)); }

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

} // namespace tarvane
