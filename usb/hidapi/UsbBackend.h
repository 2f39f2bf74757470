#pragma once

#include "usb/ReportPort.h"
#include "usb/hidapi/HidSearch.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

// The `usb` and `usb:PATH` addresses on this system's HID library: the
// bootloader at `path`, or the first one found when `path` is empty.
std::unique_ptr<ReportPort> openUsbReportPort(const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail);

// Every connected bootloader; false, with `error`, when the HID library
// cannot start.
bool listUsbBootloaders(std::uint16_t vendorId, std::uint16_t productId, std::vector<UsbBootloader>& found,
                        std::string& error);

} // namespace tarvane
