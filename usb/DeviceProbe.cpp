#include "usb/DeviceProbe.h"

#include "usb/PortFactory.h"
#include "usb/UsbBackend.h"
#include "usb/tcp/TcpReportPort.h"

#include <string>
#include <vector>

namespace tarvane {

DevicePresence probeDevice(const DeviceAddress& address, std::uint16_t vendorId, std::uint16_t productId,
                           std::string* detail) {
    if (address.kind == DeviceAddress::Kind::Usb) {
        // Listing opens nothing, so a board udev has not yet handed to the
        // user shows up as refused rather than as missing.
        std::vector<UsbBootloader> found;
        std::string error;
        if (!listUsbBootloaders(vendorId, productId, found, error)) return DevicePresence::Absent;
        bool refused = false;
        bool inUse = false;
        for (const UsbBootloader& b : found) {
            if (!address.path.empty() && b.info.path != address.path) continue;
            if (!b.accessDenied && !b.inUse) return DevicePresence::Present;
            refused = refused || b.accessDenied;
            inUse = inUse || b.inUse;
        }
        if (inUse) return DevicePresence::InUse;
        return refused ? DevicePresence::AccessDenied : DevicePresence::Absent;
    }
    std::string reason;
    if (address.kind == DeviceAddress::Kind::Tcp) {
        bool inUse = false;
        const bool reached = openTcpReportPort(address.host, address.port, reason, &inUse) != nullptr;
        if (detail) *detail = reason;
        if (reached) return DevicePresence::Present;
        return inUse ? DevicePresence::InUse : DevicePresence::Absent;
    }
    const bool reached = openReportPort(address, vendorId, productId, reason) != nullptr;
    if (detail) *detail = reason;
    return reached ? DevicePresence::Present : DevicePresence::Absent;
}

} // namespace tarvane
