#include "usb/DeviceProbe.h"

#include "usb/PortFactory.h"

#include "usb/UsbBackend.h"

#include <string>
#include <vector>

namespace tarvane {

DevicePresence probeDevice(const DeviceAddress& address, std::uint16_t vendorId, std::uint16_t productId) {
#if TARVANE_HAVE_HIDAPI || TARVANE_HAVE_WIN32_HID
    if (address.kind == DeviceAddress::Kind::Usb) {
        // Listing opens nothing, so a board udev has not yet handed to the
        // user shows up as refused rather than as missing.
        std::vector<UsbBootloader> found;
        std::string error;
        if (!listUsbBootloaders(vendorId, productId, found, error)) return DevicePresence::Absent;
        bool refused = false;
        for (const UsbBootloader& b : found) {
            if (!address.path.empty() && b.info.path != address.path) continue;
            if (!b.accessDenied) return DevicePresence::Present;
            refused = true;
        }
        return refused ? DevicePresence::AccessDenied : DevicePresence::Absent;
    }
#endif
    std::string detail;
    return openReportPort(address, vendorId, productId, detail) ? DevicePresence::Present : DevicePresence::Absent;
}

} // namespace tarvane
