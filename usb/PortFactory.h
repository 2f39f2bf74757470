#pragma once

#include "usb/DeviceAddress.h"
#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

class HidBootDevice;
class SimulatedBoard;

// Opens the back-end a device address names; the PortOpener every front end
// gives its HidBootDevice. Nothing with a plain `detail` when nothing opens.
std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t vendorId,
                                           std::uint16_t productId, std::string& detail);

// Points `device` at an address a user typed (TARVANE_DEVICE; empty means
// usb). An address that does not parse leaves a device that is never found,
// whose search says why. Returns that reason, empty when the address was good.
std::string useDeviceAddress(HidBootDevice& device, const std::string& text);

// The board behind the `sim` address: one per process, so that its flash
// survives from one update to the next like a real board's.
std::shared_ptr<SimulatedBoard> processSimulatedBoard();

} // namespace tarvane
