#pragma once

#include "usb/DeviceAddress.h"
#include "usb/HidBootDevice.h"
#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

// Opens the back-end a device address names; the PortOpener every front end
// gives its HidBootDevice. Nothing with a plain `detail` when nothing opens.
std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t vendorId,
                                           std::uint16_t productId, std::string& detail);

// Lets a back-end outside usb/ serve one kind of address, replacing what
// served it before (an empty opener serves nothing): the simulated board
// registers `sim` this way (registerSimulatedBoardPort in sim/), so usb/
// need not know it. Until then that address opens nothing, with a plain detail.
void registerPortOpener(DeviceAddress::Kind kind, PortOpener opener);

// Points `device` at an address a user typed (TARVANE_DEVICE; empty means
// usb). An address that does not parse leaves a device that is never found,
// whose search says why. Returns that reason, empty when the address was good.
std::string useDeviceAddress(HidBootDevice& device, const std::string& text);

} // namespace tarvane
