#include "cli/ListDevices.h"

#include "cli/ExitStatus.h"
#include "link/Protocol.h"
#include "usb/DeviceProbe.h"
#include "usb/PortFactory.h"
#include "usb/UsbBackend.h"

#include <ostream>
#include <string>
#include <vector>

namespace tarvane {
namespace {

void printNone(const DeviceAddress& address, std::ostream& err) {
    if (address.kind == DeviceAddress::Kind::Usb && address.path.empty()) {
        err << "No bootloader found (USB vendor 0x04D8, product 0x003C).\n";
    } else {
        err << "No bootloader found at " << address.toString() << ".\n";
    }
}

int listUsb(const DeviceAddress& address, std::ostream& out, std::ostream& err) {
    std::vector<UsbBootloader> found;
    std::string error;
    if (!listUsbBootloaders(kBootloaderVendorId, kBootloaderProductId, found, error)) {
        err << "error: " << error << "\n";
        return kExitNoDevice;
    }
    std::string deniedPath;
    int listed = 0;
    for (const UsbBootloader& b : found) {
        if (!address.path.empty() && b.info.path != address.path) continue;
        ++listed;
        // Tabs keep fields apart for scripts even when a product name has spaces.
        out << "usb:" << b.info.path;
        if (!b.info.product.empty()) out << "\tproduct \"" << b.info.product << '"';
        if (!b.info.serial.empty()) out << "\tserial \"" << b.info.serial << '"';
        if (b.accessDenied) {
            out << "\taccess denied";
            if (deniedPath.empty()) deniedPath = b.info.path;
        } else if (b.inUse) {
            // Listed all the same: the user may be waiting for that update to end.
            out << "\tin use";
        }
        out << '\n';
    }
    if (listed == 0) {
        printNone(address, err);
        if (const std::string note = missingUsbBackendNote(); !note.empty()) err << note << '\n';
        return kExitNoDevice;
    }
    if (!deniedPath.empty()) err << accessDeniedDetail(deniedPath) << '\n';
    return kExitUpdated;
}

} // namespace

std::vector<DeviceAddress> usbBootloaderAddresses(std::string& detail) {
    std::vector<DeviceAddress> addresses;
    std::vector<UsbBootloader> found;
    if (!listUsbBootloaders(kBootloaderVendorId, kBootloaderProductId, found, detail)) return addresses;
    for (const UsbBootloader& b : found) {
        DeviceAddress address;
        address.path = b.info.path;
        addresses.push_back(address);
    }
    if (addresses.empty() && detail.empty()) {
        detail = "No bootloader found (USB vendor 0x04D8, product 0x003C).";
        if (const std::string note = missingUsbBackendNote(); !note.empty()) detail += "\n" + note;
    }
    return addresses;
}

int listDevices(const DeviceAddress& address, std::ostream& out, std::ostream& err) {
    if (address.kind == DeviceAddress::Kind::Usb) return listUsb(address, out, err);

    // A simulated board is listed when it can be reached, exactly as an update would reach it.
    std::string detail;
    switch (probeDevice(address, kBootloaderVendorId, kBootloaderProductId, &detail)) {
    case DevicePresence::Present:
        out << address.toString() << '\n';
        return kExitUpdated;
    case DevicePresence::InUse:
        out << address.toString() << "\tin use\n";
        return kExitUpdated;
    case DevicePresence::Absent:
    case DevicePresence::AccessDenied:
        break;
    }
    printNone(address, err);
    if (!detail.empty()) err << detail << '\n';
    return kExitNoDevice;
}

} // namespace tarvane
